// The GPU usage query has no wrapper: it is resolved next to the enumeration it
// is paired with, through the query interface of the library already bound.
#pragma once

#include "nvapi/nvapi.h"

// Enumerates the ordinary GPUs afresh and reads the load of the one at position
// index. False when the module, its query interface or one of the entries is
// missing; otherwise *load is the record's load, 0 when a call failed.
bool queryGpuLoad(const char* moduleName, unsigned index, NvU32* load);
