// The GPU rules both programs follow: which GPUs there are and in what order,
// their names, and the newest record layout each accepts. These functions
// call the driver and return what they found; what a program shows or ends
// on, and how many GPUs it keeps, is its own.
#pragma once

#include "nvapi/nvapi.h"

// A reading failed because the GPUs are not those of the last discovery (a
// driver reset, or a GPU that left): both programs discover them again.
constexpr bool gpusChanged(NvAPI_Status status) {
    return status == NVAPI_HANDLE_INVALIDATED || status == NVAPI_NVIDIA_DEVICE_NOT_FOUND ||
           status == NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE;
}

// How the two enumerations went.
struct GpuListing {
    NvAPI_Status ordinary;
    NvAPI_Status tcc;
};

// The ordinary GPUs, then those in TCC mode, into handles; *count never more
// than the table holds, however many the driver claims. TCC GPUs are listed
// even when the ordinary enumeration failed.
GpuListing listGpus(NvPhysicalGpuHandle (&handles)[NVAPI_MAX_PHYSICAL_GPUS], int* count);

// The driver's name of a GPU: 64 bytes, not always ended (NvAPI_ShortString).
constexpr size_t driverNameSize = 64;
// A GPU's name as the programs keep, show and print it: at most
// gpuNameLength characters in a buffer of gpuNameSize.
constexpr size_t gpuNameLength = 39;
constexpr size_t gpuNameSize = 100;
using GpuName = wchar_t[gpuNameSize];

// A name as the driver gives it, in the system's ANSI code page, made wide:
// at most gpuNameLength characters, never read past the driver's 64 bytes
// even without a terminator.
void widenGpuName(const char (&name)[driverNameSize], GpuName& out);
// The GPU's name through widenGpuName; out is left alone on failure.
NvAPI_Status readGpuName(NvPhysicalGpuHandle gpu, GpuName& out);

// How naming a listing went: every GPU named; the list cut at what the
// program keeps, those before the cut named; or a name that could not be had.
enum class GpuNaming { named, cut, failed };
// Names the *count GPUs of a listing, in order, into names (room for keep);
// a list longer than keep is cut there, *count lowered to keep, before any
// further name is asked for. Stops at the first name that cannot be had.
GpuNaming nameGpus(const NvPhysicalGpuHandle* handles, int* count, int keep, GpuName* names);

// The newest layout of each record that the GPU accepts, oldest as the last
// resort.
NvU32 probeClockVersion(NvPhysicalGpuHandle gpu);
NvU32 probeThermalVersion(NvPhysicalGpuHandle gpu);
NvU32 probePstatesVersion(NvPhysicalGpuHandle gpu);

// Asks a P-states 2.0 record for P0's first clock, graphics; the rest of the
// record is left as it is.
void setP0Query(Pstates20Info& info, NvU32 version);
