#include "sampling/gpu_readings.h"
#include "monitor/app_state.h"
#include "monitor/notices.h"
#include "sampling/display_texts.h"

#include <cstring>
#include <cwchar>

GpuReadings gpuReadings;
std::atomic<bool> rediscoveryPending;

namespace {

wchar_t nameBuffers[gpuSlotCount][100];
// Written by the sampling thread before it counts a rediscovery, read by the
// window thread after it sees the count change.
wchar_t rediscoveredNames[gpuSlotCount][100];
std::atomic<int> rediscoveries;

void failDiscovery(const wchar_t* text) {
    showFailure(text, mainWindow);
}

NvU32 probeClockVersion(NvPhysicalGpuHandle gpu) {
    ClockFrequencies clocks = {};
    clocks.version = clockRecordV3;
    clocks.clockType = clockTypeCurrent;
    if (NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks) == NVAPI_OK)
        return clockRecordV3;
    Sleep(1);
    clocks = {};
    clocks.version = clockRecordV2;
    clocks.clockType = clockTypeCurrent;
    return NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks) == NVAPI_OK ? clockRecordV2
                                                                      : clockRecordV1;
}

NvU32 probeThermalVersion(NvPhysicalGpuHandle gpu) {
    ThermalSettings thermal = {};
    thermal.version = thermalRecordV2;
    return NvAPI_GPU_GetThermalSettings(gpu, 0, &thermal) == NVAPI_OK ? thermalRecordV2
                                                                      : thermalRecordV1;
}

} // namespace

void resetGpuReadings() {
    for (GpuSlotReadings& slot : gpuReadings.slots) {
        slot.nameText = defaultNameText;
        slot.graphicsClock = 0;
        slot.temperature = 0;
        slot.load = 0;
        slot.clockVersion = clockRecordV3;
        slot.thermalVersion = thermalRecordV2;
        slot.clockText = defaultClockText;
        slot.temperatureText = defaultTemperatureText;
        slot.loadText = defaultLoadText;
    }
}

void widenGpuName(const char (&name)[64], wchar_t (&out)[100]) {
    std::memset(out, 0, sizeof out);
    int length = static_cast<int>(strnlen(name, sizeof name));
    wchar_t wide[64] = {};
    int converted = MultiByteToWideChar(CP_ACP, 0, name, length, wide, 64);
    for (int i = 0; i < converted && i < 39; ++i)
        out[i] = wide[i];
}

bool enumerateGpus() {
    if (NvAPI_Initialize() != NVAPI_OK)
        return false;
    NvU32 count = 0;
    if (NvAPI_EnumPhysicalGPUs(gpuReadings.handles, &count) != NVAPI_OK)
        return false;
    if (count > NVAPI_MAX_PHYSICAL_GPUS)
        count = NVAPI_MAX_PHYSICAL_GPUS;
    // The TCC GPUs get a table of their own and only what fits after the
    // ordinary ones is kept: together there may be more than 64.
    NvPhysicalGpuHandle tcc[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 tccCount = 0;
    if (NvAPI_EnumTCCPhysicalGPUs(tcc, &tccCount) != NVAPI_OK)
        return false;
    for (NvU32 i = 0;
         i < tccCount && i < NVAPI_MAX_PHYSICAL_GPUS && count < NVAPI_MAX_PHYSICAL_GPUS; ++i)
        gpuReadings.handles[count++] = tcc[i];
    gpuReadings.gpuCount = static_cast<int32_t>(count);
    return count >= 1;
}

int fetchGpuName(int slot) {
    char name[64] = {};
    if (NvAPI_GPU_GetFullName(gpuReadings.handles[slot], name) != NVAPI_OK)
        return 0;
    widenGpuName(name, nameBuffers[slot]);
    gpuReadings.slots[slot].nameText = nameBuffers[slot];
    return 1;
}

bool discoverGpus() {
    if (!enumerateGpus()) {
        failDiscovery(L"NvAPIの初期化に失敗しました");
        return false;
    }
    for (int slot = 0; slot < gpuReadings.gpuCount; ++slot) {
        if (slot == gpuSlotCount) {
            showStartupNotice(
                L"ビデオカードが5枚以上存在します\n認識できるビデオカードは4枚までです\n"
                L"4枚までを認識します");
            gpuReadings.gpuCount = gpuSlotCount;
            break;
        }
        if (!fetchGpuName(slot)) {
            failDiscovery(L"GPU名を取得できません");
            return false;
        }
    }
    for (int slot = 0; slot < gpuReadings.gpuCount; ++slot) {
        NvPhysicalGpuHandle gpu = gpuReadings.handles[slot];
        NvU32 deviceId = 0, subSystemId = 0, revisionId = 0, extDeviceId = 0;
        if (NvAPI_GPU_GetPCIIdentifiers(gpu, &deviceId, &subSystemId, &revisionId, &extDeviceId) !=
            NVAPI_OK) {
            failDiscovery(L"デバイスIDを取得できません");
            return false;
        }
        gpuReadings.slots[slot].clockVersion = probeClockVersion(gpu);
        gpuReadings.slots[slot].thermalVersion = probeThermalVersion(gpu);
    }
    return true;
}

bool rediscoverGpus() {
    int count = enumerateGpus() ? gpuReadings.gpuCount.load() : 0;
    if (count > gpuSlotCount)
        count = gpuSlotCount;
    for (int slot = 0; slot < count; ++slot) {
        NvPhysicalGpuHandle gpu = gpuReadings.handles[slot];
        char name[64] = {};
        if (NvAPI_GPU_GetFullName(gpu, name) == NVAPI_OK)
            widenGpuName(name, rediscoveredNames[slot]);
        else
            std::wcscpy(rediscoveredNames[slot], defaultNameText);
        gpuReadings.slots[slot].clockVersion = probeClockVersion(gpu);
        gpuReadings.slots[slot].thermalVersion = probeThermalVersion(gpu);
    }
    // Slots without a GPU now show their defaults, dimmed.
    for (int slot = count; slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpuReadings.slots[slot];
        readings.graphicsClock = 0;
        readings.temperature = 0;
        readings.load = 0;
    }
    gpuReadings.gpuCount = count;
    rediscoveries.fetch_add(1, std::memory_order_release);
    return count > 0;
}

bool adoptRediscoveredNames() {
    static int adopted;
    const int latest = rediscoveries.load(std::memory_order_acquire);
    if (latest == adopted)
        return false;
    adopted = latest;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        if (slot < gpuReadings.gpuCount) {
            std::memcpy(nameBuffers[slot], rediscoveredNames[slot], sizeof nameBuffers[slot]);
            gpuReadings.slots[slot].nameText = nameBuffers[slot];
        } else {
            gpuReadings.slots[slot].nameText = defaultNameText;
        }
    }
    return true;
}
