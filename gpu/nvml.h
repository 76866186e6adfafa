// The vendor's management library: where it is loaded from, its entry points
// the programs use, and which of its devices is which GPU of the driver's list.
#pragma once

#include "nvapi/nvapi.h"

#include <windows.h>

#include <string>
#include <vector>

// The management library's entry points, resolved once; any may be null.
struct NvmlLibrary {
    HMODULE module;
    int (*init)();
    int (*deviceGetHandleByIndex)(unsigned index, void** device);
    int (*deviceGetTemperature)(void* device, int sensor, unsigned* temperature);
    int (*deviceGetPowerUsage)(void* device, unsigned* milliwatts);
    int (*deviceGetPowerManagementLimit)(void* device, unsigned* milliwatts);
    int (*deviceGetCount)(unsigned* count);
    int (*deviceGetPciInfo)(void* device, void* pciInfo);
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
