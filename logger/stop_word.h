// The one word that stops the logger, sent by the window program over UDP:
// the port, and the rules of its listener. No system headers: the rules are
// built and fuzzed on the build machine too.
#pragma once

#include "gpu/logger_agreement.h"

#include <cstddef>

constexpr std::size_t stopBufferSize = 10;

// buffer holds what one receive wrote into a zero-filled buffer of
// stopBufferSize bytes. It is the stop datagram when, read as a zero-terminated
// string never past the buffer, it is exactly stopWord.
bool isStopDatagram(const char (&buffer)[stopBufferSize]);

// Whether the listener waits about a second before its next socket: after a
// bind that failed (the port is taken) or a receive that failed for any reason
// but a datagram too long for the buffer, which is simply not the stop word.
// A failure that repeats at once must never make the listener spin.
bool listenerPausesAfter(bool bound, bool receiveFailed, bool datagramTooLong);
