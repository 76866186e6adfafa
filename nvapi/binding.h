// Inside of the NVAPI binding: the state of the bound library, the loader that
// each program builds in its own way, and the seam through which every system
// call of the binding passes, so that tests can make any of them fail.
#pragma once

#include "nvapi/nvapi.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace nvapi {

typedef void*(NVAPI_CALL* QueryInterfaceFunction)(NvU32 id);
typedef NvAPI_Status(NVAPI_CALL* DriverInitializeFunction)();
typedef void(NVAPI_CALL* CallStartHook)(NvU32 id, NvU32 words[2]);
typedef void(NVAPI_CALL* CallReturnHook)(NvU32 id, NvU32 word0, NvU32 word1, NvAPI_Status status);

// Returned by the loader when it has just bound the library; never reaches a caller.
constexpr NvAPI_Status justBound = -14;

enum class Lookup { found, notFound, failed };

struct SystemCalls {
    HMODULE (*getModuleHandle)(const char* name);
    HMODULE (*loadLibrary)(const char* fullPath);
    BOOL (*freeLibrary)(HMODULE module);
    void* (*getProcAddress)(HMODULE module, const char* name);
    std::string (*systemDirectory)();
    // Used by the logger's loader only.
    std::string (*windowsDirectory)();
    std::vector<std::string> (*programFilesFolders)();
    bool (*windowsBuildNumber)(unsigned* build);
    Lookup (*displayDriverModules)(std::vector<std::string>* fullPaths);
    Lookup (*fileExists)(const std::string& path);
};

// The real calls; tests overwrite members, and restartBinding puts them back.
// A table of the process, not a member of a state: both programs' states
// stand above the one binding they share.
extern SystemCalls systemCalls;
SystemCalls realSystemCalls();

struct ImageIdentity {
    uint32_t checksum;
    uint32_t timeStamp;
};
// Reads the PE optional-header checksum and the file-header time stamp of a
// module mapped at base; zeros when the headers are not a PE image.
ImageIdentity readImageIdentity(const void* base);

// Holds a critical section from its making to the end of its scope, whichever
// way the scope is left.
class SectionGuard {
  public:
    explicit SectionGuard(CRITICAL_SECTION& held) : section(held) {
        EnterCriticalSection(&section);
    }
    ~SectionGuard() { LeaveCriticalSection(&section); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

  private:
    CRITICAL_SECTION& section;
};

struct BindingState {
    HMODULE library;
    QueryInterfaceFunction queryInterface;
    std::atomic<uint32_t> generation;
    // Counted as the loaders' contract has it; nothing reads it yet.
    std::atomic<int32_t> inUse;
    ImageIdentity identity;
    CallStartHook callStart;
    CallReturnHook callReturn;
    CRITICAL_SECTION section;
    bool sectionCreated;
};
extern BindingState binding;

// Forgets everything the binding knows, for tests. Libraries stay loaded.
void resetBinding();

// The loader, one per program. Raises the in-use count and makes sure the
// library is bound: 0 when it already was, justBound when it was bound now,
// or a failure, in which case the count is already lowered again. Whatever
// it loads, it loads holding the section.
NvAPI_Status acquireBinding();
void releaseBinding();
// NvAPI_Initialize in both programs: the loader alone, with the count lowered
// on success.
NvAPI_Status initializeBinding();

// Looks up nvapi_QueryInterface, starts the driver and resolves the hooks.
NvAPI_Status bindLibrary(HMODULE library);
// Both loaders' last step: loads the library at path (empty: none found) and
// binds it; justBound, with the library bound before released, or on failure
// the status with the in-use count lowered, the new library released and the
// one bound before kept.
NvAPI_Status loadAndBind(const std::string& path);

void ensureSection();

// The system directory, a backslash where needed, and name; empty when name
// is not a plain file name.
std::string systemLibraryPath(const char* name);

// The logger's search for "nvapi64.dll": the full path to load, or empty when
// the library must not be loaded.
std::string locateLoggerLibrary();

} // namespace nvapi
