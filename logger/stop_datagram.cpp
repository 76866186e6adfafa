#include "logger/stop_datagram.h"

#include <cstring>

bool isStopDatagram(const char (&buffer)[stopBufferSize]) {
    std::size_t length = 0;
    while (length < stopBufferSize && buffer[length] != '\0')
        ++length;
    return length == 4 && std::memcmp(buffer, "EXIT", 4) == 0;
}

bool listenerPausesAfter(bool bound, int received, int receiveError) {
    return !bound || (received == SOCKET_ERROR && receiveError != WSAEMSGSIZE);
}
