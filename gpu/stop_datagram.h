// Where the stop word travels: this machine's loopback address.
#pragma once

#include "gpu/logger_agreement.h"
#include "system/owned.h"

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
inline SOCKET invalidSocket() {
    return INVALID_SOCKET;
}

class StopSocket {
  public:
    StopSocket() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
        if (started)
            handle.reset(socket(AF_INET, SOCK_DGRAM, 0));
    }
    // The socket goes before Windows Sockets is cleaned up.
    ~StopSocket() {
        handle.reset();
        if (started)
            WSACleanup();
    }
    StopSocket(const StopSocket&) = delete;
    StopSocket& operator=(const StopSocket&) = delete;

    bool valid() const { return bool(handle); }
    SOCKET get() const { return handle.get(); }

  private:
    bool started = false;
    Owned<SOCKET, closesocket, invalidSocket> handle;
};
