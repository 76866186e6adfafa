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

// From the system directory; the image bound is remembered.
NvAPI_Status loadAndBindSystemLibrary() {
    const NvAPI_Status status = loadAndBind(systemLibraryPath(libraryName));
    if (status == justBound)
        binding.identity = readImageIdentity(binding.library);
    return status;
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
            return loadAndBindSystemLibrary();
    }
    ImageIdentity current = readImageIdentity(loaded);
    if (sameImage(current, binding.identity))
        return NVAPI_OK;
    // Another image sits under the name (or none was bound yet): bind again.
    // Its identity is recorded only once the bind succeeds, so that a failed
    // one is tried again at the next call.
    return loadAndBindSystemLibrary();
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
