// GpuReadings: the GPUs Parlex found at start-up and their latest readings.
// Discovery fills the handles, count, names and record versions on the
// window's thread before the sampling thread starts; afterwards the sampling
// thread writes the readings and the window's thread shows them.
#pragma once

#include "gpu/discovery.h"
#include "nvapi/nvapi.h"

#include <atomic>

constexpr int gpuSlotCount = 4;

// The name of a slot that has no GPU, or whose GPU gave none.
inline constexpr wchar_t defaultNameText[] = L"- empty -";

// The start values are those of a slot before discovery: the default name,
// no readings, and the newest record layouts, which the probe may step down.
struct GpuSlotReadings {
    const wchar_t* nameText = defaultNameText;
    std::atomic<uint32_t> graphicsClock = 0; // kHz, 0 = no reading
    std::atomic<int32_t> temperature = 0;    // degrees Celsius
    std::atomic<uint32_t> load = 0;          // percent
    NvU32 clockVersion = clockRecordV3;
    NvU32 thermalVersion = thermalRecordV2;
    // Written by the sampling thread while the rediscovery count is odd, read
    // by the window's thread when the count is even and the same before and
    // after the copy (publishRediscoveredNames).
    GpuName rediscoveredName;
};

struct GpuReadings {
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS];
    std::atomic<int32_t> gpuCount;
    GpuSlotReadings slots[gpuSlotCount];
    // The slots' names as the driver gave them; nameText points here.
    GpuName names[gpuSlotCount];
    // Set by a reading that finds the handles stale after a driver reset (an
    // update, a recovery from a hang) or a GPU that left; the sampling thread
    // then discovers the GPUs again at its next pass.
    std::atomic<bool> rediscoveryPending;
    // Counted up twice by each rediscovery of the sampling thread: odd while
    // it writes the names.
    std::atomic<int> rediscoveries;
    std::atomic<int> rediscoveredCount; // the names' count, written with them
    int adoptedRediscoveries;           // the last the window's thread took
};

bool enumerateGpus(GpuReadings& gpus);
// What a discovery found: the text of its failure, or null; and whether
// there were more GPUs than slots, the first four kept.
struct DiscoveryOutcome {
    const wchar_t* failure;
    bool moreThanFour;
};
// Finds, names and probes the GPUs.
DiscoveryOutcome discoverGpus(GpuReadings& gpus);
// The sampling thread's discovery after a reset: the start-up rules (ordinary
// GPUs first, then TCC; at most four; record layouts probed again), no box.
// The names wait for the window thread. False while no GPU is found.
bool rediscoverGpus(GpuReadings& gpus);
// Sampling thread: hands count names of a rediscovery to the window's thread,
// lock-free, so that it never takes a name half written.
void publishRediscoveredNames(GpuReadings& gpus, const GpuName* names, int count);
// Window thread: points the slots' names at those of the latest rediscovery;
// true when there was one since the last call. A rediscovery still writing,
// or one that wrote during the copy, is taken at a later call.
bool adoptRediscoveredNames(GpuReadings& gpus);
