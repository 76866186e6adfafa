// Simulated "nvapi.dll" / "nvapi64.dll": the one export nvapi_QueryInterface
// and the entry points it hands out, behaving as the scenario says.
#include "gpusim/call_log.h"
#include "gpusim/scenario.h"
#include "gpusim/vendor_nvapi.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

using gpusim::GpuScenario;
using gpusim::logCall;
using gpusim::scenario;

typedef struct NvPhysicalGpuHandle__* NvPhysicalGpuHandle;

namespace {

std::mutex stateLock;
bool initialized = false;
// A handle is the address of one of these bytes; index = GPU's place in the scenario.
// Handles are addresses in this table, one row per driver generation: a
// reset moves on to the next row, and the old row's handles are stale.
char handleTokens[4][256];
int generation = 0;
long long gpuCalls = 0;
bool lastGpuGone = false;

bool present(size_t index) {
    return !lastGpuGone || index + 1 != scenario().gpus.size();
}

NvPhysicalGpuHandle handleOf(size_t index) {
    return reinterpret_cast<NvPhysicalGpuHandle>(&handleTokens[generation % 4][index]);
}

// The GPU of a handle of the current generation; *stale tells a handle of an
// earlier one.
GpuScenario* gpuOf(NvPhysicalGpuHandle handle, int* index, bool* stale = nullptr) {
    auto token = reinterpret_cast<char*>(handle);
    auto first = &handleTokens[0][0];
    if (token < first || token >= first + sizeof handleTokens)
        return nullptr;
    size_t offset = static_cast<size_t>(token - first);
    size_t row = offset / sizeof handleTokens[0];
    size_t position = offset % sizeof handleTokens[0];
    if (position >= scenario().gpus.size() || !present(position))
        return nullptr;
    if (static_cast<int>(row) != generation % 4) {
        if (stale)
            *stale = true;
        return nullptr;
    }
    *index = static_cast<int>(position);
    return &scenario().gpus[position];
}

std::string hex(NvU32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

bool accepts(const std::vector<int>& layouts, NvU32 version, size_t size) {
    return (version & 0xFFFF) == size &&
           std::find(layouts.begin(), layouts.end(), static_cast<int>(version >> 16)) !=
               layouts.end();
}

// Common checks of every GPU entry point; 0 when the call may go on.
NvStatus checkGpuCall(NvPhysicalGpuHandle handle, const void* out, GpuScenario** gpu, int* index) {
    if (!initialized)
        return NVAPI_API_NOT_INITIALIZED;
    if (!out)
        return NVAPI_INVALID_ARGUMENT;
    if (scenario().callDelayMs > 0)
        Sleep(static_cast<DWORD>(scenario().callDelayMs));
    if (++gpuCalls == scenario().resetAtCall) {
        ++generation;
        gpusim::logLine("driver reset: every handle is invalidated");
    }
    if (gpuCalls == scenario().leaveAtCall) {
        lastGpuGone = true;
        gpusim::logLine("gpu left: the last one");
    }
    if (gpuCalls == scenario().returnAtCall) {
        lastGpuGone = false;
        ++generation;
        gpusim::logLine("driver reset: the last gpu is back");
    }
    bool stale = false;
    *gpu = gpuOf(handle, index, &stale);
    if (stale)
        return NVAPI_HANDLE_INVALIDATED;
    return *gpu ? NVAPI_OK : NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE;
}

NvStatus __cdecl Initialize() {
    std::lock_guard<std::mutex> lock(stateLock);
    auto status = static_cast<NvStatus>(scenario().initializeStatus.take(0));
    if (status == NVAPI_OK)
        initialized = true;
    std::string helper;
    if (!scenario().loadByName.empty()) {
        char path[MAX_PATH] = "none";
        if (HMODULE module = LoadLibraryA(scenario().loadByName.c_str()))
            GetModuleFileNameA(module, path, MAX_PATH);
        helper = std::string("helper=") + path;
    }
    logCall("NvAPI_Initialize", helper, status);
    return status;
}

NvStatus enumerate(NvPhysicalGpuHandle* handles, NvU32* count, bool tcc, const char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    NvStatus status = NVAPI_OK;
    if (!initialized)
        status = NVAPI_API_NOT_INITIALIZED;
    else if (!handles || !count)
        status = NVAPI_INVALID_ARGUMENT;
    else
        status = static_cast<NvStatus>(
            (tcc ? scenario().tccStatus : scenario().enumStatus).take(0));
    NvU32 found = 0;
    if (status == NVAPI_OK) {
        // Like the vendor's library, at most NVAPI_MAX_PHYSICAL_GPUS handles are written.
        const size_t total = scenario().gpus.size();
        const bool reversed = generation > 0 && scenario().resetReverses;
        for (size_t n = 0; n < total && found < NVAPI_MAX_PHYSICAL_GPUS; ++n) {
            const size_t i = reversed ? total - 1 - n : n;
            if (scenario().gpus[i].tcc == tcc && present(i))
                handles[found++] = handleOf(i);
        }
        if (found == 0 && lastGpuGone && !tcc)
            status = NVAPI_NVIDIA_DEVICE_NOT_FOUND;
        *count = static_cast<NvU32>((tcc ? scenario().tccCount : scenario().enumCount).take(found));
    }
    logCall(name, "count=" + std::to_string(found), status);
    return status;
}

NvStatus __cdecl EnumPhysicalGPUs(NvPhysicalGpuHandle* handles, NvU32* count) {
    return enumerate(handles, count, false, "NvAPI_EnumPhysicalGPUs");
}

NvStatus __cdecl EnumTCCPhysicalGPUs(NvPhysicalGpuHandle* handles, NvU32* count) {
    return enumerate(handles, count, true, "NvAPI_EnumTCCPhysicalGPUs");
}

NvStatus __cdecl GetFullName(NvPhysicalGpuHandle handle, char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, name, &gpu, &index);
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->nameStatus.take(0));
    if (status == NVAPI_OK) {
        // A name of 64 characters or more fills the buffer without a terminator.
        std::memset(name, 0, NVAPI_SHORT_STRING_MAX);
        std::memcpy(name, gpu->name.data(),
                    std::min<size_t>(gpu->name.size(), NVAPI_SHORT_STRING_MAX));
    }
    logCall("NvAPI_GPU_GetFullName", "gpu=" + std::to_string(index), status);
    return status;
}

NvStatus __cdecl GetPCIIdentifiers(NvPhysicalGpuHandle handle, NvU32* deviceId, NvU32* subSystemId,
                                   NvU32* revisionId, NvU32* extDeviceId) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, deviceId, &gpu, &index);
    if (status == NVAPI_OK && (!subSystemId || !revisionId || !extDeviceId))
        status = NVAPI_INVALID_ARGUMENT;
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->pciStatus.take(0));
    if (status == NVAPI_OK) {
        *deviceId = 0x1B8010DE + (index << 16);
        *subSystemId = 0x37511458;
        *revisionId = 0xA1;
        *extDeviceId = 0x1B80 + index;
    }
    logCall("NvAPI_GPU_GetPCIIdentifiers", "gpu=" + std::to_string(index), status);
    return status;
}

NvStatus __cdecl GetAllClockFrequencies(NvPhysicalGpuHandle handle,
                                        NV_GPU_CLOCK_FREQUENCIES_V2* clocks) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, clocks, &gpu, &index);
    NvU32 version = clocks ? clocks->version : 0;
    // Layout 1 has no clock type: it always reports the current clocks.
    NvU32 type = clocks && (version >> 16) >= 2 ? clocks->ClockType : 0;
    if (status == NVAPI_OK && !accepts(gpu->clockLayouts, version, sizeof *clocks))
        status = NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    if (status == NVAPI_OK && type > 2)
        status = NVAPI_INVALID_ARGUMENT;
    if (status == NVAPI_OK) {
        gpusim::Sequence* statuses[] = {&gpu->clockStatus, &gpu->baseStatus, &gpu->boostStatus};
        status = static_cast<NvStatus>(statuses[type]->take(0));
    }
    if (status == NVAPI_OK) {
        gpusim::Sequence* graphics[] = {&gpu->graphics, &gpu->baseGraphics, &gpu->boostGraphics};
        gpusim::Sequence* memory[] = {&gpu->memory, &gpu->baseMemory, &gpu->boostMemory};
        clocks->domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].bIsPresent = 1;
        clocks->domain[NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS].frequency =
            static_cast<NvU32>(graphics[type]->take(0));
        clocks->domain[NVAPI_GPU_PUBLIC_CLOCK_MEMORY].bIsPresent = 1;
        clocks->domain[NVAPI_GPU_PUBLIC_CLOCK_MEMORY].frequency =
            static_cast<NvU32>(memory[type]->take(0));
    }
    logCall("NvAPI_GPU_GetAllClockFrequencies",
            "gpu=" + std::to_string(index) + " version=" + hex(version) +
                " type=" + std::to_string(type),
            status);
    return status;
}

NvStatus __cdecl GetThermalSettings(NvPhysicalGpuHandle handle, NvU32 sensorIndex,
                                    NV_GPU_THERMAL_SETTINGS_V2* thermal) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, thermal, &gpu, &index);
    NvU32 version = thermal ? thermal->version : 0;
    if (status == NVAPI_OK && !accepts(gpu->thermalLayouts, version, sizeof *thermal))
        status = NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    // Sensor 15 is the vendor's "all sensors"; the simulated GPUs have one.
    if (status == NVAPI_OK && sensorIndex != 0 && sensorIndex != 15)
        status = NVAPI_INVALID_ARGUMENT;
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->thermalStatus.take(0));
    if (status == NVAPI_OK) {
        thermal->count = 1;
        thermal->sensor[0].controller = 1; // GPU-internal
        thermal->sensor[0].defaultMinTemp = 0;
        thermal->sensor[0].defaultMaxTemp = 127;
        thermal->sensor[0].currentTemp = static_cast<NvS32>(gpu->temperature.take(0));
        thermal->sensor[0].target = 1; // GPU
    }
    logCall("NvAPI_GPU_GetThermalSettings",
            "gpu=" + std::to_string(index) + " version=" + hex(version) +
                " sensor=" + std::to_string(sensorIndex),
            status);
    return status;
}

NvStatus __cdecl GetPstates20(NvPhysicalGpuHandle handle, NV_GPU_PERF_PSTATES20_INFO_V2* info) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, info, &gpu, &index);
    NvU32 version = info ? info->version : 0;
    size_t size = (version >> 16) == 1 ? sizeof(NV_GPU_PERF_PSTATES20_INFO_V1) : sizeof *info;
    if (status == NVAPI_OK && !accepts(gpu->pstatesLayouts, version, size))
        status = NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    bool asksMemory = info && info->pstates[0].clocks[1].domainId == NVAPI_GPU_PUBLIC_CLOCK_MEMORY;
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(
            asksMemory && !gpu->pstatesMemoryStatus.empty() ? gpu->pstatesMemoryStatus.take(0)
                                                            : gpu->pstatesStatus.take(0));
    if (status == NVAPI_OK) {
        // Like a real driver: every P-state the GPU has, ascending, each with
        // its graphics and memory entries, whatever the caller wrote. Only P0
        // takes the scenario's figures.
        const NvU32 p0Graphics = static_cast<NvU32>(gpu->p0Graphics.take(0));
        const NvU32 p0Memory = static_cast<NvU32>(gpu->p0Memory.take(0));
        std::vector<int> states = gpu->pstates;
        std::sort(states.begin(), states.end());
        std::memset(info->pstates, 0, sizeof info->pstates);
        info->numPstates = static_cast<NvU32>(states.size());
        info->numClocks = 2;
        info->numBaseVoltages = 0;
        for (size_t n = 0; n < states.size(); ++n) {
            auto& entry = info->pstates[n];
            const NvU32 id = static_cast<NvU32>(states[n]);
            entry.pstateId = id;
            entry.clocks[0].domainId = NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS;
            entry.clocks[0].typeId = 0; // single frequency
            entry.clocks[0].data.single.freq_kHz = id == 0 ? p0Graphics : 1500000 / (id + 1);
            entry.clocks[1].domainId = NVAPI_GPU_PUBLIC_CLOCK_MEMORY;
            entry.clocks[1].typeId = 0;
            entry.clocks[1].data.single.freq_kHz = id == 0 ? p0Memory : 4000000 / (id + 1);
        }
    }
    logCall("NvAPI_GPU_GetPstates20",
            "gpu=" + std::to_string(index) + " version=" + hex(version) +
                " memory=" + (asksMemory ? "1" : "0"),
            status);
    return status;
}

NvStatus __cdecl GetCurrentPstate(NvPhysicalGpuHandle handle, NvU32* pstate) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, pstate, &gpu, &index);
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->pstateStatus.take(0));
    if (status == NVAPI_OK)
        *pstate = static_cast<NvU32>(gpu->pstate.take(0));
    logCall("NvAPI_GPU_GetCurrentPstate", "gpu=" + std::to_string(index), status);
    return status;
}

// The GPU's place on the PCI bus: its bus number, and its device ("slot")
// number on that bus.
NvStatus busFigure(NvPhysicalGpuHandle handle, NvU32* out, bool slot, const char* name) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, out, &gpu, &index);
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>((slot ? gpu->slotStatus : gpu->busStatus).take(0));
    if (status == NVAPI_OK)
        *out = static_cast<NvU32>(slot ? gpu->slot : gpu->bus);
    logCall(name, "gpu=" + std::to_string(index), status);
    return status;
}

NvStatus __cdecl GetBusId(NvPhysicalGpuHandle handle, NvU32* bus) {
    return busFigure(handle, bus, false, "NvAPI_GPU_GetBusId");
}

NvStatus __cdecl GetBusSlotId(NvPhysicalGpuHandle handle, NvU32* slot) {
    return busFigure(handle, slot, true, "NvAPI_GPU_GetBusSlotId");
}

NvStatus __cdecl GetUsages(NvPhysicalGpuHandle handle, NV_GPU_USAGES_INFO* usages) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, usages, &gpu, &index);
    NvU32 version = usages ? usages->version : 0;
    if (status == NVAPI_OK && version != NV_GPU_USAGES_INFO_VER1)
        status = NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->usageStatus.take(0));
    if (status == NVAPI_OK) {
        usages->usages[0] = 1; // the GPU's usage counters are enabled
        usages->usages[2] = static_cast<NvU32>(gpu->load.take(0));
    }
    logCall("NvAPI_GPU_GetUsages", "gpu=" + std::to_string(index) + " version=" + hex(version),
            status);
    return status;
}

NvStatus __cdecl GetDynamicPstatesInfoEx(NvPhysicalGpuHandle handle,
                                         NV_GPU_DYNAMIC_PSTATES_INFO_EX* info) {
    std::lock_guard<std::mutex> lock(stateLock);
    GpuScenario* gpu = nullptr;
    int index = -1;
    NvStatus status = checkGpuCall(handle, info, &gpu, &index);
    NvU32 version = info ? info->version : 0;
    if (status == NVAPI_OK && version != NV_GPU_DYNAMIC_PSTATES_INFO_EX_VER)
        status = NVAPI_INCOMPATIBLE_STRUCT_VERSION;
    if (status == NVAPI_OK)
        status = static_cast<NvStatus>(gpu->dynamicStatus.take(0));
    if (status == NVAPI_OK) {
        // The driver fills the whole record: graphics, frame buffer, video, bus.
        std::memset(info->utilization, 0, sizeof info->utilization);
        info->flags = 1;
        for (int domain = 0; domain < 4; ++domain)
            info->utilization[domain].bIsPresent = domain != 0 || gpu->graphicsDomain;
        info->utilization[0].percentage =
            gpu->graphicsDomain ? static_cast<NvU32>(gpu->load.take(0)) : 0;
        info->utilization[1].percentage = 3;
    }
    logCall("NvAPI_GPU_GetDynamicPstatesInfoEx",
            "gpu=" + std::to_string(index) + " version=" + hex(version), status);
    return status;
}

void __cdecl ReportCallStart(NvU32 id, NvU32* words) {
    logCall("NvAPI_Diag_ReportCallStart",
            "id=" + hex(id) + " words=" + std::to_string(words[0]) + "," + std::to_string(words[1]),
            0);
}

void __cdecl ReportCallReturn(NvU32 id, NvU32 word0, NvU32 word1, NvS32 status) {
    logCall("NvAPI_Diag_ReportCallReturn",
            "id=" + hex(id) + " words=" + std::to_string(word0) + "," + std::to_string(word1) +
                " result=" + std::to_string(status),
            0);
}

void* entryPoint(NvU32 id) {
    switch (id) {
    case 0x0150E828: return reinterpret_cast<void*>(Initialize);
    case 0xE5AC921F: return reinterpret_cast<void*>(EnumPhysicalGPUs);
    case 0xD9930B07: return reinterpret_cast<void*>(EnumTCCPhysicalGPUs);
    case 0xCEEE8E9F: return reinterpret_cast<void*>(GetFullName);
    case 0x2DDFB66E: return reinterpret_cast<void*>(GetPCIIdentifiers);
    case 0xDCB616C3: return reinterpret_cast<void*>(GetAllClockFrequencies);
    case 0xE3640A56: return reinterpret_cast<void*>(GetThermalSettings);
    case 0x6FF81213: return reinterpret_cast<void*>(GetPstates20);
    case 0x927DA4F6: return reinterpret_cast<void*>(GetCurrentPstate);
    case 0x189A1FDF: return reinterpret_cast<void*>(GetUsages);
    case 0x1BE0B8E5: return reinterpret_cast<void*>(GetBusId);
    case 0x60DED2ED: return reinterpret_cast<void*>(GetDynamicPstatesInfoEx);
    case 0x2A0A350F: return reinterpret_cast<void*>(GetBusSlotId);
    case 0x33C7358C:
        return scenario().hookStart ? reinterpret_cast<void*>(ReportCallStart) : nullptr;
    case 0x593E8644:
        return scenario().hookReturn ? reinterpret_cast<void*>(ReportCallReturn) : nullptr;
    default: return nullptr;
    }
}

} // namespace

extern "C" __declspec(dllexport) void* __cdecl nvapi_QueryInterface(NvU32 id) {
    void* address = scenario().missing.count(id) ? nullptr : entryPoint(id);
    logCall("nvapi_QueryInterface", "id=" + hex(id) + (address ? " found" : " missing"), 0);
    return address;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // A thread that returns is seen leaving; one that the end of its process
    // cuts off, wherever it was, is not.
    if (reason == DLL_THREAD_DETACH)
        gpusim::logLine("thread left");
    if (reason == DLL_PROCESS_ATTACH) {
        for (const std::string& error : scenario().errors)
            gpusim::logLine("scenario error: " + error);
        // "nvapi = no" plays a machine without the vendor's library.
        if (!scenario().nvapiPresent)
            return FALSE;
    }
    return TRUE;
}
