// Parlex's loader for "nvapi.dll": always from the system directory by full
// path, bound again whenever the loaded image is not the one it bound before.
#include "nvapi/binding.h"

namespace nvapi {

namespace {

const char libraryName[] = "nvapi.dll";

bool sameImage(const ImageIdentity& a, const ImageIdentity& b) {
    if (a.checksum != 0)
        return a.checksum == b.checksum;
    return a.timeStamp == b.timeStamp;
}

// Loads and binds; on failure the count is lowered and the library released.
NvAPI_Status loadAndBind() {
    std::string path = systemLibraryPath(libraryName);
    HMODULE library = path.empty() ? nullptr : systemCalls.loadLibrary(path.c_str());
    if (!library) {
        releaseBinding();
        return NVAPI_LIBRARY_NOT_FOUND;
    }
    NvAPI_Status status = bindLibrary(library);
    if (status != NVAPI_OK) {
        releaseBinding();
        systemCalls.freeLibrary(library);
        return status;
    }
    binding.library = library;
    binding.identity = readImageIdentity(library);
    return justBound;
}

} // namespace

NvAPI_Status acquireBinding() {
    ensureSection();
    binding.inUse.fetch_add(1, std::memory_order_relaxed);
    HMODULE loaded = systemCalls.getModuleHandle(libraryName);
    if (!loaded) {
        SectionGuard guard(binding.section);
        loaded = systemCalls.getModuleHandle(libraryName);
        if (!loaded)
            return loadAndBind();
    }
    ImageIdentity current = readImageIdentity(loaded);
    if (sameImage(current, binding.identity))
        return NVAPI_OK;
    // Another image sits under the name (or none was bound yet): bind again.
    binding.identity = current;
    return loadAndBind();
}

NvAPI_Status initializeBinding() {
    NvAPI_Status status = acquireBinding();
    if (status == justBound)
        status = NVAPI_OK;
    if (status == NVAPI_OK)
        releaseBinding();
    return status;
}

} // namespace nvapi
