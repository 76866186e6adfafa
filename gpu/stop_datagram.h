// Where the stop word travels: this machine's loopback address.
#pragma once

#include "gpu/logger_agreement.h"

#include <winsock2.h>

// Where the logger listens and the window program sends: this machine only.
inline sockaddr_in stopAddress() {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(stopPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A datagram socket of its own, Windows Sockets started for it: the socket is
// closed and Windows Sockets cleaned up when the holder goes, whichever way
// its scope is left. Invalid when either could not be had. Each successful
// WSAStartup gets its one WSACleanup and a failed one none (Microsoft's
// WSACleanup documentation: a call for every successful WSAStartup, and
// WSANOTINITIALISED without one).
class StopSocket {
  public:
    StopSocket() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
        if (started)
            handle = socket(AF_INET, SOCK_DGRAM, 0);
    }
    ~StopSocket() {
        if (handle != INVALID_SOCKET)
            closesocket(handle);
        if (started)
            WSACleanup();
    }
    StopSocket(const StopSocket&) = delete;
    StopSocket& operator=(const StopSocket&) = delete;

    bool valid() const { return handle != INVALID_SOCKET; }
    SOCKET get() const { return handle; }

  private:
    bool started = false;
    SOCKET handle = INVALID_SOCKET;
};
