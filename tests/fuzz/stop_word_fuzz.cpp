// Any datagram: the matcher reads no byte past its buffer and says "stop"
// exactly for "EXIT", with or without what follows a terminating zero.
#include "logger/stop_word.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // What one receive writes into the listener's zero-filled buffer.
    char buffer[stopBufferSize] = {};
    std::memcpy(buffer, data, size < stopBufferSize ? size : stopBufferSize);
    size_t length = 0;
    while (length < stopBufferSize && buffer[length])
        ++length;
    const bool expected = length == 4 && std::memcmp(buffer, "EXIT", 4) == 0;
    if (isStopDatagram(buffer) != expected)
        __builtin_trap();
    return 0;
}
