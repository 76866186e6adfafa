#include "sampling/gpu_readings.h"

#include "gpu/discovery.h"

#include <atomic>
#include <cstring>
#include <cwchar>

bool enumerateGpus(GpuReadings& gpus) {
    if (NvAPI_Initialize() != NVAPI_OK)
        return false;
    int count = 0;
    const GpuListing listing = listGpus(gpus.handles, &count);
    if (listing.ordinary != NVAPI_OK || listing.tcc != NVAPI_OK)
        return false;
    gpus.gpuCount = count;
    return count >= 1;
}

DiscoveryOutcome discoverGpus(GpuReadings& gpus) {
    DiscoveryOutcome outcome = {};
    if (!enumerateGpus(gpus)) {
        outcome.failure = L"NvAPIの初期化に失敗しました";
        return outcome;
    }
    int count = gpus.gpuCount;
    const GpuNaming naming = nameGpus(gpus.handles, &count, gpuSlotCount, gpus.names);
    gpus.gpuCount = count;
    outcome.moreThanFour = naming == GpuNaming::cut;
    if (naming == GpuNaming::failed) {
        outcome.failure = L"GPU名を取得できません";
        return outcome;
    }
    for (int slot = 0; slot < count; ++slot)
        gpus.slots[slot].nameText = gpus.names[slot];
    for (int slot = 0; slot < gpus.gpuCount; ++slot) {
        NvPhysicalGpuHandle gpu = gpus.handles[slot];
        NvU32 deviceId = 0, subSystemId = 0, revisionId = 0, extDeviceId = 0;
        if (NvAPI_GPU_GetPCIIdentifiers(gpu, &deviceId, &subSystemId, &revisionId, &extDeviceId) !=
            NVAPI_OK) {
            outcome.failure = L"デバイスIDを取得できません";
            return outcome;
        }
        gpus.slots[slot].clockVersion = probeClockVersion(gpu);
        gpus.slots[slot].thermalVersion = probeThermalVersion(gpu);
    }
    return outcome;
}

bool rediscoverGpus(GpuReadings& gpus) {
    int count = enumerateGpus(gpus) ? gpus.gpuCount.load() : 0;
    if (count > gpuSlotCount)
        count = gpuSlotCount;
    GpuName names[gpuSlotCount] = {};
    for (int slot = 0; slot < count; ++slot) {
        NvPhysicalGpuHandle gpu = gpus.handles[slot];
        if (readGpuName(gpu, names[slot]) != NVAPI_OK)
            std::wcscpy(names[slot], defaultNameText);
        gpus.slots[slot].clockVersion = probeClockVersion(gpu);
        gpus.slots[slot].thermalVersion = probeThermalVersion(gpu);
    }
    // Slots without a GPU now show their defaults, dimmed.
    for (int slot = count; slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        readings.graphicsClock = 0;
        readings.temperature = 0;
        readings.load = 0;
    }
    publishRediscoveredNames(gpus, names, count);
    return count > 0;
}

// A sequence count around the names: odd while they are written.
void publishRediscoveredNames(GpuReadings& gpus, const GpuName* names, int count) {
    gpus.rediscoveries.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (int slot = 0; slot < count; ++slot)
        std::memcpy(gpus.slots[slot].rediscoveredName, names[slot],
                    sizeof gpus.slots[slot].rediscoveredName);
    gpus.rediscoveredCount = count;
    gpus.gpuCount = count;
    gpus.rediscoveries.fetch_add(1, std::memory_order_release);
}

bool adoptRediscoveredNames(GpuReadings& gpus) {
    const int latest = gpus.rediscoveries.load(std::memory_order_acquire);
    if (latest == gpus.adoptedRediscoveries || latest % 2 != 0)
        return false;
    const int count = gpus.rediscoveredCount;
    GpuName copies[gpuSlotCount];
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot)
        std::memcpy(copies[slot], gpus.slots[slot].rediscoveredName, sizeof copies[slot]);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (gpus.rediscoveries.load(std::memory_order_relaxed) != latest)
        return false;
    gpus.adoptedRediscoveries = latest;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        if (slot < count) {
            std::memcpy(gpus.names[slot], copies[slot], sizeof gpus.names[slot]);
            readings.nameText = gpus.names[slot];
        } else {
            readings.nameText = defaultNameText;
        }
    }
    return true;
}
