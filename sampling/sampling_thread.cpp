#include "sampling/sampling_thread.h"
#include "monitor/app_state.h"
#include "nvapi/usage_query.h"
#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"

#include <process.h>

namespace {

HANDLE samplingThreadHandle;
// Set when the program ends: the pause between passes ends at once.
HANDLE stopRequested;

unsigned __stdcall samplingThread(void*) {
    while (appRunning) {
        if (!inTray) {
            // After a driver reset, or while the GPUs are gone.
            if (rediscoveryPending)
                rediscoveryPending = !rediscoverGpus();
            int count = gpuReadings.gpuCount;
            for (int slot = 0; slot < count && appRunning; ++slot)
                readSlot(slot);
        }
        if (!appRunning)
            break;
        runLoggerControl();
        WaitForSingleObject(stopRequested, 1000);
    }
    return 0;
}

} // namespace

void readSlot(int slot) {
    GpuSlotReadings& readings = gpuReadings.slots[slot];
    NvPhysicalGpuHandle gpu = gpuReadings.handles[slot];

    ClockFrequencies clocks = {};
    clocks.version = readings.clockVersion;
    clocks.clockType = clockTypeCurrent;
    const NvAPI_Status clockStatus = NvAPI_GPU_GetAllClockFrequencies(gpu, &clocks);
    readings.graphicsClock =
        clockStatus == NVAPI_OK ? clocks.domain[clockDomainGraphics].frequencyKHz : 0;
    // Once the program ends, no further call into a slow driver.
    if (!appRunning)
        return;

    // A failed temperature keeps the last one read.
    ThermalSettings thermal = {};
    thermal.version = readings.thermalVersion;
    const NvAPI_Status thermalStatus = NvAPI_GPU_GetThermalSettings(gpu, 0, &thermal);
    if (thermalStatus == NVAPI_OK)
        readings.temperature = thermal.sensor[0].currentTemp;
    if (gpusChanged(clockStatus) || gpusChanged(thermalStatus))
        rediscoveryPending = true;
    if (!appRunning)
        return;

    // The usage query indexes a fresh enumeration of the ordinary GPUs by the
    // slot number, so a TCC slot finds no handle and reads 0.
    NvU32 load = 0;
    if (nvapi::queryGpuLoad("nvapi.dll", static_cast<unsigned>(slot), &load))
        readings.load = load;
}

void startSamplingThread() {
    if (samplingThreadHandle)
        CloseHandle(samplingThreadHandle);
    if (!stopRequested)
        stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(stopRequested);
    samplingThreadHandle =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, samplingThread, nullptr, 0, nullptr));
}

bool stopSamplingThread(DWORD milliseconds) {
    if (!samplingThreadHandle)
        return true;
    SetEvent(stopRequested);
    return WaitForSingleObject(samplingThreadHandle, milliseconds) == WAIT_OBJECT_0;
}
