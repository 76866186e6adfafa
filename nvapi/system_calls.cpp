#include "nvapi/binding.h"
#include "system/loading.h"

#include <cstdlib>
#include <cstring>

namespace nvapi {

namespace {

HMODULE getModuleHandle(const char* name) {
    return GetModuleHandleA(name);
}
HMODULE loadLibrary(const char* fullPath) {
    return loadLibraryByFullPath(fullPath);
}
BOOL freeLibrary(HMODULE module) {
    return FreeLibrary(module);
}
void* getProcAddress(HMODULE module, const char* name) {
    return exportedFunction(module, name);
}

std::string systemDirectory() {
    return systemFolderAnsi(SystemFolder::system);
}

std::string windowsDirectory() {
    return systemFolderAnsi(SystemFolder::windows);
}

// As the system registered them: the environment is the parent's.
std::vector<std::string> programFilesFolders() {
    std::vector<std::string> folders;
    for (ProgramFiles which : {ProgramFiles::native, ProgramFiles::x86})
        if (std::string folder = programFilesFolderAnsi(which); !folder.empty())
            folders.push_back(folder);
    return folders;
}

// A string or list value of a subkey, always ending in two zero characters
// however the value was stored. RegGetValue would do this, but Windows XP
// does not have it.
LONG readStringValue(HKEY key, const char* subkey, const char* name, char* buffer, DWORD size) {
    HKEY opened = nullptr;
    LONG error = RegOpenKeyExA(key, subkey, 0, KEY_QUERY_VALUE, &opened);
    if (error != ERROR_SUCCESS)
        return error;
    DWORD type = 0;
    DWORD length = size - 2;
    std::memset(buffer, 0, size);
    error =
        RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length);
    RegCloseKey(opened);
    if (error == ERROR_SUCCESS && type != REG_SZ && type != REG_MULTI_SZ)
        return ERROR_UNSUPPORTED_TYPE;
    return error;
}

bool windowsBuildNumber(unsigned* build) {
    char text[32] = {};
    if (readStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                        "CurrentBuildNumber", text, sizeof text) != ERROR_SUCCESS)
        return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end == text)
        return false;
    *build = static_cast<unsigned>(value);
    return true;
}

Lookup lookupFromError(LONG error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Lookup::notFound
                                                                          : Lookup::failed;
}

// The display adapters' class keys list the user-mode modules each installed
// driver registers, with their full paths in the driver store.
Lookup displayDriverModules(std::vector<std::string>* fullPaths) {
    const char classKey[] =
        "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";
    HKEY adapters = nullptr;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, classKey, 0, KEY_READ, &adapters);
    if (error != ERROR_SUCCESS)
        return lookupFromError(error);
    for (DWORD index = 0;; ++index) {
        char subkey[256];
        DWORD subkeyLength = sizeof subkey;
        error = RegEnumKeyExA(adapters, index, subkey, &subkeyLength, nullptr, nullptr, nullptr,
                              nullptr);
        if (error != ERROR_SUCCESS)
            break;
        char modules[4096];
        if (readStringValue(adapters, subkey, "UserModeDriverName", modules, sizeof modules) !=
            ERROR_SUCCESS)
            continue;
        for (const char* entry = modules; *entry; entry += std::strlen(entry) + 1)
            fullPaths->emplace_back(entry);
    }
    RegCloseKey(adapters);
    return fullPaths->empty() ? Lookup::notFound : Lookup::found;
}

Lookup fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? Lookup::notFound : Lookup::found;
    return lookupFromError(static_cast<LONG>(GetLastError()));
}

} // namespace

SystemCalls realSystemCalls() {
    return {.getModuleHandle = getModuleHandle,
            .loadLibrary = loadLibrary,
            .freeLibrary = freeLibrary,
            .getProcAddress = getProcAddress,
            .systemDirectory = systemDirectory,
            .windowsDirectory = windowsDirectory,
            .programFilesFolders = programFilesFolders,
            .windowsBuildNumber = windowsBuildNumber,
            .displayDriverModules = displayDriverModules,
            .fileExists = fileExists};
}

SystemCalls systemCalls = realSystemCalls();

} // namespace nvapi
