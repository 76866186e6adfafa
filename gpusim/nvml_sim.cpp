// Simulated "nvml.dll": the management library's exports by name. Installed
// both at the vendor's fixed path and in the system directory; the scenario's
// nvml_location decides from which of them it agrees to load.
#include "gpusim/call_log.h"
#include "gpusim/scenario.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

using gpusim::GpuScenario;
using gpusim::logCall;
using gpusim::scenario;

typedef struct nvmlDevice_st* nvmlDevice_t;

// The vendor's PCI record of nvmlDeviceGetPciInfo_v3.
struct nvmlPciInfo_t {
    char busIdLegacy[16];
    unsigned domain;
    unsigned bus;
    unsigned device;
    unsigned pciDeviceId;
    unsigned pciSubSystemId;
    char busId[32];
};

enum nvmlReturn_t {
    NVML_SUCCESS = 0,
    NVML_ERROR_UNINITIALIZED = 1,
    NVML_ERROR_INVALID_ARGUMENT = 2,
    NVML_ERROR_NOT_SUPPORTED = 3,
    NVML_ERROR_DRIVER_NOT_LOADED = 9,
};

namespace {

// Set when the library is loaded.
HMODULE thisCopy;
bool locatedAt(HMODULE self, const std::string& where);

std::mutex stateLock;
bool initialized = false;
char deviceTokens[256];

GpuScenario* gpuOf(nvmlDevice_t device, int* index) {
    auto token = reinterpret_cast<char*>(device);
    if (token < deviceTokens || token >= deviceTokens + sizeof deviceTokens)
        return nullptr;
    size_t position = static_cast<size_t>(token - deviceTokens);
    if (position >= scenario().gpus.size())
        return nullptr;
    *index = static_cast<int>(position);
    return &scenario().gpus[position];
}

// NVML numbers the devices in an order of its own, by their place on the PCI
// bus, ordinary and TCC alike; a GPU may be missing from it altogether.
std::vector<size_t> nvmlOrder() {
    std::vector<size_t> order;
    for (size_t i = 0; i < scenario().gpus.size(); ++i)
        if (scenario().gpus[i].inNvml)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [](size_t a, size_t b) {
        const GpuScenario& first = scenario().gpus[a];
        const GpuScenario& second = scenario().gpus[b];
        return first.bus != second.bus ? first.bus < second.bus : first.slot < second.slot;
    });
    return order;
}

nvmlReturn_t init(const char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    auto status = static_cast<nvmlReturn_t>(scenario().nvmlInitStatus.take(0));
    if (locatedAt(thisCopy, scenario().nvmlRefusedAt))
        status = NVML_ERROR_DRIVER_NOT_LOADED;
    if (status == NVML_SUCCESS)
        initialized = true;
    logCall(name, "", status);
    return status;
}

nvmlReturn_t handleByIndex(unsigned index, nvmlDevice_t* device, const char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    nvmlReturn_t status = NVML_SUCCESS;
    std::vector<size_t> order = nvmlOrder();
    if (!initialized)
        status = NVML_ERROR_UNINITIALIZED;
    else if (!device || index >= order.size())
        status = NVML_ERROR_INVALID_ARGUMENT;
    else
        status = static_cast<nvmlReturn_t>(scenario().gpus[order[index]].nvmlHandleStatus.take(0));
    if (status == NVML_SUCCESS)
        *device = reinterpret_cast<nvmlDevice_t>(&deviceTokens[order[index]]);
    logCall(name, "index=" + std::to_string(index), status);
    return status;
}

// Reads one unsigned figure of a device through its status and value lists.
nvmlReturn_t deviceFigure(nvmlDevice_t device, unsigned* value, gpusim::Sequence GpuScenario::*figure,
                          gpusim::Sequence GpuScenario::*statuses, const char* name,
                          const std::string& details = "") {
    std::lock_guard<std::mutex> lock(stateLock);
    int index = -1;
    GpuScenario* gpu = gpuOf(device, &index);
    nvmlReturn_t status = NVML_SUCCESS;
    if (!initialized)
        status = NVML_ERROR_UNINITIALIZED;
    else if (!gpu || !value)
        status = NVML_ERROR_INVALID_ARGUMENT;
    else
        status = static_cast<nvmlReturn_t>((gpu->*statuses).take(0));
    if (status == NVML_SUCCESS)
        *value = static_cast<unsigned>((gpu->*figure).take(0));
    logCall(name, "gpu=" + std::to_string(index) + details, status);
    return status;
}

std::string normalPath(std::string path) {
    std::transform(path.begin(), path.end(), path.begin(), [](unsigned char c) {
        return c == '/' ? '\\' : static_cast<char>(std::tolower(c));
    });
    return path;
}

// Whether this copy is the one at the fixed path or in the system directory.
bool locatedAt(HMODULE self, const std::string& where) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string mine = normalPath(path);
    if (where == "fixed")
        return mine == normalPath("C:/Program Files/NVIDIA Corporation/NVSMI/nvml.dll");
    if (where == "system")
        return mine == normalPath(std::string(system) + "\\nvml.dll");
    return false;
}

bool loadAllowedHere(HMODULE self) {
    const std::string& where = scenario().nvmlLocation;
    return where == "both" || locatedAt(self, where);
}

// Newer vendor builds lack the unversioned names. The export stays in the
// table but its name is changed in a way that keeps the table sorted, so that
// GetProcAddress no longer finds it by name.
void hideExport(HMODULE self, const char* name) {
    auto base = reinterpret_cast<unsigned char*>(self);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        auto exported = reinterpret_cast<char*>(base + names[i]);
        if (std::strcmp(exported, name) != 0)
            continue;
        size_t length = std::strlen(exported);
        DWORD old = 0;
        VirtualProtect(exported, length, PAGE_READWRITE, &old);
        exported[length - 1] = '\x01';
        VirtualProtect(exported, length, old, &old);
    }
}

} // namespace

extern "C" {

__declspec(dllexport) nvmlReturn_t nvmlInit_v2() { return init("nvmlInit_v2"); }
__declspec(dllexport) nvmlReturn_t nvmlInit() { return init("nvmlInit"); }

__declspec(dllexport) nvmlReturn_t nvmlShutdown() {
    logCall("nvmlShutdown", "", NVML_SUCCESS);
    return NVML_SUCCESS;
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetHandleByIndex_v2(unsigned index,
                                                                 nvmlDevice_t* device) {
    return handleByIndex(index, device, "nvmlDeviceGetHandleByIndex_v2");
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetHandleByIndex(unsigned index,
                                                              nvmlDevice_t* device) {
    return handleByIndex(index, device, "nvmlDeviceGetHandleByIndex");
}

nvmlReturn_t deviceCount(unsigned* count, const char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    nvmlReturn_t status = NVML_SUCCESS;
    if (!initialized)
        status = NVML_ERROR_UNINITIALIZED;
    else if (!count)
        status = NVML_ERROR_INVALID_ARGUMENT;
    else
        *count = static_cast<unsigned>(nvmlOrder().size());
    logCall(name, "", status);
    return status;
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetCount_v2(unsigned* count) {
    return deviceCount(count, "nvmlDeviceGetCount_v2");
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetCount(unsigned* count) {
    return deviceCount(count, "nvmlDeviceGetCount");
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetPciInfo_v3(nvmlDevice_t device,
                                                            nvmlPciInfo_t* pci) {
    std::lock_guard<std::mutex> lock(stateLock);
    int index = -1;
    GpuScenario* gpu = gpuOf(device, &index);
    nvmlReturn_t status = NVML_SUCCESS;
    if (!initialized)
        status = NVML_ERROR_UNINITIALIZED;
    else if (!gpu || !pci)
        status = NVML_ERROR_INVALID_ARGUMENT;
    else
        status = static_cast<nvmlReturn_t>(gpu->nvmlPciStatus.take(0));
    if (status == NVML_SUCCESS) {
        std::memset(pci, 0, sizeof *pci);
        pci->bus = static_cast<unsigned>(gpu->bus);
        pci->device = static_cast<unsigned>(gpu->slot);
        pci->pciDeviceId = 0x1B8010DE;
        std::snprintf(pci->busId, sizeof pci->busId, "00000000:%02X:%02X.0", pci->bus, pci->device);
        std::snprintf(pci->busIdLegacy, sizeof pci->busIdLegacy, "0000:%02X:%02X.0", pci->bus,
                      pci->device);
    }
    logCall("nvmlDeviceGetPciInfo_v3", "gpu=" + std::to_string(index), status);
    return status;
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetTemperature(nvmlDevice_t device, int sensor,
                                                            unsigned* temperature) {
    if (sensor != 0) {
        logCall("nvmlDeviceGetTemperature", "sensor=" + std::to_string(sensor),
                NVML_ERROR_INVALID_ARGUMENT);
        return NVML_ERROR_INVALID_ARGUMENT;
    }
    return deviceFigure(device, temperature, &GpuScenario::nvmlTemperature,
                        &GpuScenario::nvmlTemperatureStatus, "nvmlDeviceGetTemperature",
                        " sensor=0");
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetPowerUsage(nvmlDevice_t device, unsigned* power) {
    return deviceFigure(device, power, &GpuScenario::power, &GpuScenario::powerStatus,
                        "nvmlDeviceGetPowerUsage");
}

__declspec(dllexport) nvmlReturn_t nvmlDeviceGetPowerManagementLimit(nvmlDevice_t device,
                                                                     unsigned* limit) {
    return deviceFigure(device, limit, &GpuScenario::powerLimit, &GpuScenario::powerLimitStatus,
                        "nvmlDeviceGetPowerManagementLimit");
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisCopy = self;
        for (const std::string& error : scenario().errors)
            gpusim::logLine("scenario error: " + error);
        if (!loadAllowedHere(self))
            return FALSE;
        if (!scenario().nvmlUnversioned) {
            hideExport(self, "nvmlInit");
            hideExport(self, "nvmlDeviceGetHandleByIndex");
            hideExport(self, "nvmlDeviceGetCount");
        }
    }
    return TRUE;
}
