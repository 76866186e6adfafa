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

// Whether the image under the name is the one bound.
bool boundImageLoaded() {
    const HMODULE loaded = systemCalls.getModuleHandle(libraryName);
    return loaded && binding.library && sameImage(readImageIdentity(loaded), binding.identity);
}

} // namespace

NvAPI_Status acquireBinding() {
    ensureSection();
    binding.inUse.fetch_add(1, std::memory_order_relaxed);
    if (boundImageLoaded())
        return NVAPI_OK;
    // Nothing under the name, or another image (or none was bound yet): bind
    // again, once, whichever thread gets here first. Its identity is recorded
    // only once the bind succeeds, so that a failed one is tried again at the
    // next call.
    SectionGuard guard(binding.section);
    if (boundImageLoaded())
        return NVAPI_OK;
    return loadAndBindSystemLibrary();
}

} // namespace nvapi
