#include "sampling/gpu_readings.h"
#include "gpu/discovery.h"
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

bool enumerateGpus() {
    if (NvAPI_Initialize() != NVAPI_OK)
        return false;
    int count = 0;
    const GpuListing listing = listGpus(gpuReadings.handles, &count);
    if (listing.ordinary != NVAPI_OK || listing.tcc != NVAPI_OK)
        return false;
    gpuReadings.gpuCount = count;
    return count >= 1;
}

int fetchGpuName(int slot) {
    if (readGpuName(gpuReadings.handles[slot], nameBuffers[slot]) != NVAPI_OK)
        return 0;
    gpuReadings.slots[slot].nameText = nameBuffers[slot];
    return 1;
}

DiscoveryOutcome discoverGpus() {
    DiscoveryOutcome outcome = {};
    if (!enumerateGpus()) {
        outcome.failure = L"NvAPIの初期化に失敗しました";
        return outcome;
    }
    for (int slot = 0; slot < gpuReadings.gpuCount; ++slot) {
        if (slot == gpuSlotCount) {
            outcome.moreThanFour = true;
            gpuReadings.gpuCount = gpuSlotCount;
            break;
        }
        if (!fetchGpuName(slot)) {
            outcome.failure = L"GPU名を取得できません";
            return outcome;
        }
    }
    for (int slot = 0; slot < gpuReadings.gpuCount; ++slot) {
        NvPhysicalGpuHandle gpu = gpuReadings.handles[slot];
        NvU32 deviceId = 0, subSystemId = 0, revisionId = 0, extDeviceId = 0;
        if (NvAPI_GPU_GetPCIIdentifiers(gpu, &deviceId, &subSystemId, &revisionId, &extDeviceId) !=
            NVAPI_OK) {
            outcome.failure = L"デバイスIDを取得できません";
            return outcome;
        }
        gpuReadings.slots[slot].clockVersion = probeClockVersion(gpu);
        gpuReadings.slots[slot].thermalVersion = probeThermalVersion(gpu);
    }
    return outcome;
}

bool rediscoverGpus() {
    int count = enumerateGpus() ? gpuReadings.gpuCount.load() : 0;
    if (count > gpuSlotCount)
        count = gpuSlotCount;
    for (int slot = 0; slot < count; ++slot) {
        NvPhysicalGpuHandle gpu = gpuReadings.handles[slot];
        if (readGpuName(gpu, rediscoveredNames[slot]) != NVAPI_OK)
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
