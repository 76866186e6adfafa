#include "nvapi/binding.h"

#include <cstring>

namespace nvapi {

ImageIdentity readImageIdentity(const void* base) {
    ImageIdentity identity{0, 0};
    if (!base)
        return identity;
    auto bytes = static_cast<const unsigned char*>(base);
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, bytes, sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return identity;
    IMAGE_NT_HEADERS headers;
    std::memcpy(&headers, bytes + dos.e_lfanew, sizeof headers);
    if (headers.Signature != IMAGE_NT_SIGNATURE)
        return identity;
    identity.checksum = headers.OptionalHeader.CheckSum;
    identity.timeStamp = headers.FileHeader.TimeDateStamp;
    return identity;
}

} // namespace nvapi
