// The vendor's management library: where it is loaded from, its entry points
// the programs use, and which of its devices is which GPU of the driver's list.
#pragma once

#include "nvapi/nvapi.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The vendor's return codes that the programs tell apart (nvmlReturn_t).
enum class NvmlReturn : int {
    success = 0,
    gpuIsLost = 15, // the GPU fell off the bus or is otherwise gone
};

// The vendor's sensor numbers (nvmlTemperatureSensors_t).
enum class NvmlTemperatureSensor : int { gpu = 0 };

// A device of the library (nvmlDevice_t): an opaque handle.
using NvmlDevice = struct NvmlDeviceRecord*;

// The vendor's PCI record of nvmlDeviceGetPciInfo_v3 (nvmlPciInfo_t).
struct NvmlPciInfo {
    char busIdLegacy[16];
    unsigned domain;
    unsigned bus;
    unsigned device;
    unsigned pciDeviceId;
    unsigned pciSubSystemId;
    char busId[32];
};
static_assert(sizeof(NvmlPciInfo) == 68, "nvmlPciInfo_t is 68 bytes");
static_assert(offsetof(NvmlPciInfo, bus) == 20 && offsetof(NvmlPciInfo, device) == 24 &&
                  offsetof(NvmlPciInfo, busId) == 36,
              "nvmlPciInfo_t's fields where the vendor puts them");

// The management library's entry points, with the vendor's prototypes,
// resolved once; any may be null.
struct NvmlLibrary {
    HMODULE module;
    NvmlReturn (*init)();
    NvmlReturn (*deviceGetHandleByIndex)(unsigned index, NvmlDevice* device);
    NvmlReturn (*deviceGetTemperature)(NvmlDevice device, NvmlTemperatureSensor sensor,
                                       unsigned* temperature);
    NvmlReturn (*deviceGetPowerUsage)(NvmlDevice device, unsigned* milliwatts);
    NvmlReturn (*deviceGetPowerManagementLimit)(NvmlDevice device, unsigned* milliwatts);
    NvmlReturn (*deviceGetCount)(unsigned* count);
    NvmlReturn (*deviceGetPciInfo)(NvmlDevice device, NvmlPciInfo* pci);
};

// Where nvml.dll may be, by full path, in the order to try: the 64-bit system
// folder of current drivers first (a copy that an older driver left in NVSMI
// refuses the running driver), then the NVSMI folder under the 64-bit Program
// Files folder. A 32-bit program sees the system folder as Sysnative.
std::vector<std::wstring> nvmlPlaces();

// Loads nvml.dll from the first of nvmlPlaces that has it, never through the
// search path, and resolves its entry points, the newer of two names where
// both exist. Null module when no place has it.
NvmlLibrary loadNvml();

// Pairs count GPUs of the driver's list with NVML's devices by their place on
// the PCI bus, into index (one per GPU: NVML's index, or -1 where NVML does
// not list the GPU). Where either side cannot tell a GPU's place, the GPU
// keeps the NVML index of its own place in the list.
void pairNvmlDevices(const NvmlLibrary& nvml, const NvPhysicalGpuHandle* gpus, int count,
                     int* index);
