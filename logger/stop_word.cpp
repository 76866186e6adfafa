#include "logger/stop_word.h"

#include <cstring>

bool isStopDatagram(const char (&buffer)[stopBufferSize]) {
    std::size_t length = 0;
    while (length < stopBufferSize && buffer[length] != '\0')
        ++length;
    return length == sizeof stopWord - 1 && std::memcmp(buffer, stopWord, length) == 0;
}

bool listenerPausesAfter(bool bound, bool receiveFailed, bool datagramTooLong) {
    return !bound || (receiveFailed && !datagramTooLong);
}
