#include "gpu/discovery.h"

#include <windows.h>

#include <cstring>

GpuListing listGpus(NvPhysicalGpuHandle (&handles)[NVAPI_MAX_PHYSICAL_GPUS], int* count) {
    GpuListing listing = {};
    NvU32 found = 0;
    listing.ordinary = NvAPI_EnumPhysicalGPUs(handles, &found);
    // A faulty driver may report more than the table holds.
    *count = listing.ordinary != NVAPI_OK      ? 0
             : found > NVAPI_MAX_PHYSICAL_GPUS ? NVAPI_MAX_PHYSICAL_GPUS
                                               : static_cast<int>(found);
    // The TCC GPUs get a table of their own and only what fits after the
    // ordinary ones is kept: together there may be more than the table holds.
    NvPhysicalGpuHandle tcc[NVAPI_MAX_PHYSICAL_GPUS] = {};
    found = 0;
    listing.tcc = NvAPI_EnumTCCPhysicalGPUs(tcc, &found);
    if (listing.tcc == NVAPI_OK)
        for (NvU32 i = 0;
             i < found && i < NVAPI_MAX_PHYSICAL_GPUS && *count < NVAPI_MAX_PHYSICAL_GPUS; ++i)
            handles[(*count)++] = tcc[i];
    return listing;
}

void widenGpuName(const char (&name)[driverNameSize], GpuName& out) {
    std::memset(out, 0, sizeof out);
    int length = static_cast<int>(strnlen(name, sizeof name));
    wchar_t wide[driverNameSize] = {};
    int converted = MultiByteToWideChar(CP_ACP, 0, name, length, wide, int(driverNameSize));
    for (size_t i = 0; i < size_t(converted) && i < gpuNameLength; ++i)
        out[i] = wide[i];
}

NvAPI_Status readGpuName(NvPhysicalGpuHandle gpu, GpuName& out) {
    char name[driverNameSize] = {};
    const NvAPI_Status status = NvAPI_GPU_GetFullName(gpu, name);
    if (status == NVAPI_OK)
        widenGpuName(name, out);
    return status;
}

GpuNaming nameGpus(const NvPhysicalGpuHandle* handles, int* count, int keep, GpuName* names) {
    for (int i = 0; i < *count; ++i) {
        if (i == keep) {
            *count = keep;
            return GpuNaming::cut;
        }
        if (readGpuName(handles[i], names[i]) != NVAPI_OK)
            return GpuNaming::failed;
    }
    return GpuNaming::named;
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

NvU32 probePstatesVersion(NvPhysicalGpuHandle gpu) {
    // Large: kept off the stack of the thread that probes.
    static Pstates20Info pstates;
    pstates = {};
    setP0Query(pstates, pstatesRecordV3);
    if (NvAPI_GPU_GetPstates20(gpu, &pstates) == NVAPI_OK)
        return pstatesRecordV3;
    setP0Query(pstates, pstatesRecordV2);
    return NvAPI_GPU_GetPstates20(gpu, &pstates) == NVAPI_OK ? pstatesRecordV2 : pstatesRecordV1;
}

void setP0Query(Pstates20Info& info, NvU32 version) {
    info.version = version;
    info.numPstates = 1;
    info.numClocks = 1;
    info.numBaseVoltages = 0;
    info.pstates[0].pstateId = 0;
    info.pstates[0].clocks[0].domainId = clockDomainGraphics;
}
