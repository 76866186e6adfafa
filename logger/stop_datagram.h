// The one word that stops the logger, sent by the window program over UDP.
#pragma once

#include <cstddef>

constexpr unsigned short stopPort = 12345;
constexpr std::size_t stopBufferSize = 10;

// buffer holds what one receive wrote into a zero-filled buffer of
// stopBufferSize bytes. It is the stop datagram when, read as a zero-terminated
// string never past the buffer, it is exactly "EXIT".
bool isStopDatagram(const char (&buffer)[stopBufferSize]);
