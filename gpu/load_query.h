// The GPU's load, read next to an enumeration of its own each time, through
// the binding's load entry points (nvapi::unreported).
#pragma once

#include "nvapi/nvapi.h"

// Enumerates the ordinary GPUs afresh and reads the load of the one at position
// index. False when the library cannot be bound or lacks the enumeration or
// both load entry points; otherwise *load is the record's load, 0 when a call
// failed.
bool queryGpuLoad(unsigned index, NvU32* load);
