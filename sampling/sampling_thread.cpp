#include "sampling/sampling_thread.h"

#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"
#include "sampling/shared_state.h"
#include "gpu/discovery.h"
#include "gpu/load_query.h"

#include <process.h>
#include <shellapi.h>

namespace {

unsigned __stdcall samplingThread(void* parameter) {
    SamplingState& state = *static_cast<SamplingState*>(parameter);
    GpuReadings& gpus = state.gpus;
    while (state.appRunning) {
        if (!state.inTray) {
            // After a driver reset, or while the GPUs are gone.
            if (gpus.rediscoveryPending)
                gpus.rediscoveryPending = !rediscoverGpus(gpus);
            int count = gpus.gpuCount;
            for (int slot = 0; slot < count && state.appRunning; ++slot)
                readSlot(state, slot);
        }
        if (!state.appRunning)
            break;
        runLoggerControl(state);
        WaitForSingleObject(state.stopRequested.get(), 1000);
    }
    return 0;
}

} // namespace

void readSlot(SamplingState& state, int slot) {
    GpuSlotReadings& readings = state.gpus.slots[slot];
    NvPhysicalGpuHandle gpu = state.gpus.handles[slot];

    ClockFrequencies clocks = {};
    clocks.version = readings.clockVersion;
    clocks.clockType = clockTypeCurrent;
    const NvAPI_Status clockStatus = NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks);
    readings.graphicsClock =
        clockStatus == NVAPI_OK ? clocks.domain[clockDomainGraphics].frequencyKHz : 0;
    // Once the program ends, no further call into a slow driver.
    if (!state.appRunning)
        return;

    // A failed temperature keeps the last one read.
    ThermalSettings thermal = {};
    thermal.version = readings.thermalVersion;
    const NvAPI_Status thermalStatus = NvAPI_GPU_GetThermalSettings(gpu, 0, &thermal);
    if (thermalStatus == NVAPI_OK)
        readings.temperature = thermal.sensor[0].currentTemp;
    if (gpusChanged(clockStatus) || gpusChanged(thermalStatus))
        state.gpus.rediscoveryPending = true;
    if (!state.appRunning)
        return;

    // The usage query indexes a fresh enumeration of the ordinary GPUs by the
    // slot number, so a TCC slot finds no handle and reads 0.
    NvU32 load = 0;
    if (queryGpuLoad(static_cast<unsigned>(slot), &load))
        readings.load = load;
}

SamplingSystemCalls realSamplingSystemCalls() {
    return {.createEvent = [] { return CreateEventA(nullptr, TRUE, FALSE, nullptr); },
            .beginThread =
                [](unsigned(__stdcall * routine)(void*), void* argument) {
                    return reinterpret_cast<HANDLE>(
                        _beginthreadex(nullptr, 0, routine, argument, 0, nullptr));
                },
            .shellExecute =
                [](const wchar_t* file, const wchar_t* parameters, const wchar_t* folder) {
                    return reinterpret_cast<INT_PTR>(
                        ShellExecuteW(nullptr, L"open", file, parameters, folder, SW_SHOWNORMAL));
                },
            .showLoggerNotice = nullptr};
}

bool startSamplingThread(SamplingState& state) {
    state.samplingThread.reset();
    if (!state.stopRequested)
        state.stopRequested.reset(state.calls.createEvent());
    if (!state.stopRequested)
        return false;
    ResetEvent(state.stopRequested.get());
    state.samplingThread.reset(state.calls.beginThread(samplingThread, &state));
    return static_cast<bool>(state.samplingThread);
}

bool stopSamplingThread(SamplingState& state, DWORD milliseconds) {
    if (!state.samplingThread)
        return true;
    SetEvent(state.stopRequested.get());
    return WaitForSingleObject(state.samplingThread.get(), milliseconds) == WAIT_OBJECT_0;
}
