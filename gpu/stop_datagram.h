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
