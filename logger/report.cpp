// One readings report: every figure of every GPU fetched afresh, printed in
// the report's colors. No failure is reported; a failed figure shows its default.
#include "logger/logger.h"
#include "gpu/discovery.h"
#include "gpu/load_query.h"

namespace {

NvAPI_Status noted(NvAPI_Status status) {
    if (gpusChanged(status))
        tessig.handlesInvalidated = true;
    return status;
}

// NVML's word for a GPU that is gone, noted; true on success.
bool nvmlDone(NvmlReturn result) {
    if (result == NvmlReturn::gpuIsLost)
        tessig.handlesInvalidated = true;
    return result == NvmlReturn::success;
}

bool readClocks(int gpu, NvU32 type, unsigned* graphicsKHz, unsigned* memoryKHz) {
    ClockFrequencies clocks = {};
    clocks.version = tessig.clockVersion[gpu];
    clocks.clockType = type;
    if (noted(NvAPI_GPU_GetAllClockFrequencies(tessig.gpuHandles[gpu], &clocks)) != NVAPI_OK)
        return false;
    *graphicsKHz = clocks.domain[clockDomainGraphics].frequencyKHz;
    *memoryKHz = clocks.domain[clockDomainMemory].frequencyKHz;
    return true;
}

// The frequency of a domain in the entries of P0; 0 when the record has no P0
// or P0 no such entry. A driver lists every P-state it has, whatever the
// query asked for, and not every GPU has P0 first or at all.
NvU32 p0Frequency(const Pstates20Info& info, NvU32 domain) {
    const NvU32 states = info.numPstates < 16 ? info.numPstates : 16;
    const NvU32 clocks = info.numClocks < 8 ? info.numClocks : 8;
    for (NvU32 p = 0; p < states; ++p) {
        if (info.pstates[p].pstateId != 0)
            continue;
        for (NvU32 c = 0; c < clocks; ++c)
            if (info.pstates[p].clocks[c].domainId == domain)
                return info.pstates[p].clocks[c].data[0];
    }
    return 0;
}

// Base clocks from the P0 entries of the P-states 2.0 record, for drivers
// without the base clock type.
void readBaseFromPstates(int gpu, GpuFigures& figures) {
    static Pstates20Info info;
    info = {};
    setP0Query(info, tessig.pstatesVersion[gpu]);
    if (noted(NvAPI_GPU_GetPstates20(tessig.gpuHandles[gpu], &info)) != NVAPI_OK)
        return;
    figures.baseGraphicsKHz = p0Frequency(info, clockDomainGraphics);
    info = {};
    setP0Query(info, tessig.pstatesVersion[gpu]);
    info.pstates[0].clocks[1].domainId = clockDomainMemory;
    if (NvAPI_GPU_GetPstates20(tessig.gpuHandles[gpu], &info) == NVAPI_OK)
        figures.baseMemoryKHz = p0Frequency(info, clockDomainMemory);
}

int readTemperature(int gpu) {
    ThermalSettings thermal = {};
    thermal.version = tessig.thermalVersion[gpu];
    if (noted(NvAPI_GPU_GetThermalSettings(tessig.gpuHandles[gpu], 0, &thermal)) == NVAPI_OK)
        return thermal.sensor[0].currentTemp;
    NvmlDevice device = nullptr;
    unsigned temperature = 0;
    if (tessig.nvmlIndex[gpu] >= 0 && tessig.nvml.deviceGetHandleByIndex &&
        tessig.nvml.deviceGetTemperature &&
        nvmlDone(tessig.nvml.deviceGetHandleByIndex(static_cast<unsigned>(tessig.nvmlIndex[gpu]),
                                                    &device)) &&
        nvmlDone(
            tessig.nvml.deviceGetTemperature(device, NvmlTemperatureSensor::gpu, &temperature)))
        return static_cast<int>(temperature);
    return 0;
}

void readPower(int gpu, GpuFigures& figures) {
    NvmlDevice device = nullptr;
    if (tessig.nvmlIndex[gpu] < 0 || !tessig.nvml.deviceGetHandleByIndex ||
        !tessig.nvml.deviceGetPowerUsage || !tessig.nvml.deviceGetPowerManagementLimit ||
        !nvmlDone(tessig.nvml.deviceGetHandleByIndex(static_cast<unsigned>(tessig.nvmlIndex[gpu]),
                                                     &device)))
        return;
    figures.powerKnown =
        nvmlDone(tessig.nvml.deviceGetPowerUsage(device, &figures.powerDrawMilliwatts)) &&
        nvmlDone(tessig.nvml.deviceGetPowerManagementLimit(device, &figures.powerLimitMilliwatts));
}

GpuFigures gatherFigures(int gpu) {
    GpuFigures figures;
    figures.name = tessig.gpuNames[gpu];
    if (!readClocks(gpu, clockTypeCurrent, &figures.currentGraphicsKHz, &figures.currentMemoryKHz))
        figures.currentGraphicsKHz = figures.currentMemoryKHz = 0;
    if (!readClocks(gpu, clockTypeBase, &figures.baseGraphicsKHz, &figures.baseMemoryKHz)) {
        figures.baseGraphicsKHz = figures.baseMemoryKHz = 0;
        readBaseFromPstates(gpu, figures);
    }
    figures.boostKnown =
        readClocks(gpu, clockTypeBoost, &figures.boostGraphicsKHz, &figures.boostMemoryKHz);
    NvU32 load = 0;
    if (queryGpuLoad(static_cast<unsigned>(gpu), &load))
        figures.load = load;
    figures.temperature = readTemperature(gpu);
    readPower(gpu, figures);
    figures.pstateKnown =
        noted(NvAPI_GPU_GetCurrentPstate(tessig.gpuHandles[gpu], &figures.pstate)) == NVAPI_OK;
    return figures;
}

} // namespace

void printReport() {
    // A driver reset (or GPUs gone) found by an earlier report.
    if (tessig.handlesInvalidated || tessig.gpuCount == 0)
        tessig.handlesInvalidated = !rediscoverGpus();
    SYSTEMTIME now;
    GetLocalTime(&now);
    writeText(timeStampLine(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond));
    for (int gpu = 0; gpu < tessig.gpuCount; ++gpu)
        for (const ReportPiece& piece : formatGpuBlock(gatherFigures(gpu)))
            writeColored(piece.text, piece.color);
    writeText(closingLine);
}
