#include "gpu/nvml.h"

#include "gpu/logger_agreement.h"
#include "system/loading.h"

#include <cstring>

namespace {

// The first of two exported names that exists.
template <typename Function>
Function eitherProcedure(HMODULE module, const char* newer, const char* older) {
    Function found = exportedFunction<Function>(module, newer);
    return found ? found : exportedFunction<Function>(module, older);
}

// The system's folders, not the caller's: on a session host each user may
// have a private Windows folder.
std::wstring systemPlace() {
#ifdef _WIN64
    return systemFolderFile(L"nvml.dll");
#else
    const std::wstring folder = systemFolder(SystemFolder::windows);
    return folder.empty() ? folder : folder + L"\\Sysnative\\nvml.dll";
#endif
}

// The registered 64-bit Program Files folder, for 32-bit and 64-bit programs
// alike, and never an inherited %ProgramW6432% that a parent could have set.
std::wstring vendorPlace() {
    const std::wstring folder = programFilesFolder(ProgramFiles::native);
    return folder.empty() ? std::wstring() : folder + nvmlVendorFolderPath;
}

} // namespace

std::vector<std::wstring> nvmlPlaces() {
    std::vector<std::wstring> places;
    for (std::wstring place : {systemPlace(), vendorPlace()})
        if (!place.empty())
            places.push_back(place);
    return places;
}

NvmlLibrary loadNvml() {
    NvmlLibrary nvml = {};
    for (const std::wstring& place : nvmlPlaces())
        if ((nvml.module = loadLibraryByFullPath(place.c_str())))
            break;
    if (!nvml.module)
        return nvml;
    nvml.init = eitherProcedure<decltype(nvml.init)>(nvml.module, "nvmlInit_v2", "nvmlInit");
    nvml.deviceGetHandleByIndex = eitherProcedure<decltype(nvml.deviceGetHandleByIndex)>(
        nvml.module, "nvmlDeviceGetHandleByIndex_v2", "nvmlDeviceGetHandleByIndex");
    nvml.deviceGetTemperature = exportedFunction<decltype(nvml.deviceGetTemperature)>(
        nvml.module, "nvmlDeviceGetTemperature");
    nvml.deviceGetPowerUsage = exportedFunction<decltype(nvml.deviceGetPowerUsage)>(
        nvml.module, "nvmlDeviceGetPowerUsage");
    nvml.deviceGetPowerManagementLimit =
        exportedFunction<decltype(nvml.deviceGetPowerManagementLimit)>(
            nvml.module, "nvmlDeviceGetPowerManagementLimit");
    nvml.deviceGetCount = eitherProcedure<decltype(nvml.deviceGetCount)>(
        nvml.module, "nvmlDeviceGetCount_v2", "nvmlDeviceGetCount");
    nvml.deviceGetPciInfo =
        exportedFunction<decltype(nvml.deviceGetPciInfo)>(nvml.module, "nvmlDeviceGetPciInfo_v3");
    return nvml;
}

void pairNvmlDevices(const NvmlLibrary& nvml, const NvPhysicalGpuHandle* gpus, int count,
                     int* index) {
    for (int gpu = 0; gpu < count; ++gpu)
        index[gpu] = gpu;
    unsigned devices = 0;
    if (!nvml.deviceGetCount || !nvml.deviceGetPciInfo || !nvml.deviceGetHandleByIndex ||
        nvml.deviceGetCount(&devices) != NvmlReturn::success)
        return;
    // NVML numbers its devices in its own order, which need not be the
    // driver's nor ours: each device's place on the bus says which GPU it is.
    struct Place {
        unsigned bus, device;
        bool known;
    };
    Place places[NVAPI_MAX_PHYSICAL_GPUS] = {};
    if (devices > NVAPI_MAX_PHYSICAL_GPUS)
        devices = NVAPI_MAX_PHYSICAL_GPUS;
    bool allKnown = true;
    for (unsigned device = 0; device < devices; ++device) {
        NvmlDevice handle = nullptr;
        NvmlPciInfo pci = {};
        places[device].known =
            nvml.deviceGetHandleByIndex(device, &handle) == NvmlReturn::success &&
            nvml.deviceGetPciInfo(handle, &pci) == NvmlReturn::success;
        places[device].bus = pci.bus;
        places[device].device = pci.device;
        allKnown = allKnown && places[device].known;
    }
    for (int gpu = 0; gpu < count; ++gpu) {
        NvU32 bus = 0, slot = 0;
        if (NvAPI_GPU_GetBusId(gpus[gpu], &bus) != NVAPI_OK ||
            NvAPI_GPU_GetBusSlotId(gpus[gpu], &slot) != NVAPI_OK)
            continue;
        int found = -1;
        for (unsigned device = 0; device < devices && found < 0; ++device)
            if (places[device].known && places[device].bus == bus && places[device].device == slot)
                found = static_cast<int>(device);
        // Not among the devices whose place is known: NVML does not list the
        // GPU, unless it is one of those whose place NVML could not tell.
        if (found >= 0 || allKnown)
            index[gpu] = found;
    }
}
