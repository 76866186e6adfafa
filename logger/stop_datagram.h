// The one word that stops the logger, sent by the window program over UDP.
#pragma once

#include <winsock2.h>

#include <cstddef>

constexpr unsigned short stopPort = 12345;
constexpr std::size_t stopBufferSize = 10;

// Where the logger listens and the window program sends: this machine only.
inline sockaddr_in stopAddress() {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(stopPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// buffer holds what one receive wrote into a zero-filled buffer of
// stopBufferSize bytes. It is the stop datagram when, read as a zero-terminated
// string never past the buffer, it is exactly "EXIT".
bool isStopDatagram(const char (&buffer)[stopBufferSize]);

// Whether the listener waits about a second before its next socket: after a
// bind that failed (the port is taken) or a receive that failed for any reason
// but a datagram too long for the buffer, which is simply not the stop word.
// A failure that repeats at once must never make the listener spin.
bool listenerPausesAfter(bool bound, int received, int receiveError);
