// The part of the GPU vendor's driver interface (NVAPI) that Parlex and Tessig use:
// statuses, handles, the records with their version words, and one wrapper per
// entry point under the vendor's published name.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define NVAPI_CALL __cdecl
#else
#define NVAPI_CALL
#endif

typedef int32_t NvAPI_Status;
typedef uint32_t NvU32;
typedef int32_t NvS32;
typedef struct NvPhysicalGpuHandle__* NvPhysicalGpuHandle;

constexpr int NVAPI_MAX_PHYSICAL_GPUS = 64;

constexpr NvAPI_Status NVAPI_OK = 0;
constexpr NvAPI_Status NVAPI_ERROR = -1;
constexpr NvAPI_Status NVAPI_LIBRARY_NOT_FOUND = -2;
constexpr NvAPI_Status NVAPI_NO_IMPLEMENTATION = -3;
// The driver was reset (updated, or recovered from a hang): every handle is
// stale, and enumerating again gives new ones.
constexpr NvAPI_Status NVAPI_HANDLE_INVALIDATED = -10;
// No NVIDIA GPU any more, and a handle the driver no longer knows: the GPU
// left (unplugged, or fallen off the bus).
constexpr NvAPI_Status NVAPI_NVIDIA_DEVICE_NOT_FOUND = -6;
constexpr NvAPI_Status NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE = -101;

// A version word is the record's size in its low 16 bits and its layout number above.
constexpr NvU32 recordVersion(std::size_t size, NvU32 layout) {
    return static_cast<NvU32>(size) | (layout << 16);
}
constexpr std::size_t recordSize(NvU32 version) {
    return version & 0xFFFF;
}

// Clock types, kept in the low 4 bits of the clock record's second word.
constexpr NvU32 clockTypeCurrent = 0;
constexpr NvU32 clockTypeBase = 1;
constexpr NvU32 clockTypeBoost = 2;

constexpr NvU32 clockDomainGraphics = 0;
constexpr NvU32 clockDomainMemory = 4;

struct ClockFrequencies {
    NvU32 version;
    NvU32 clockType; // low 4 bits; the rest of the word stays zero
    struct Domain {
        NvU32 present; // bit 0
        NvU32 frequencyKHz;
    } domain[32];
};
static_assert(sizeof(ClockFrequencies) == 264, "clock record size");
static_assert(offsetof(ClockFrequencies, domain[clockDomainGraphics].frequencyKHz) == 12, "");
static_assert(offsetof(ClockFrequencies, domain[clockDomainMemory].frequencyKHz) == 44, "");

constexpr NvU32 clockRecordV3 = 0x30108;
constexpr NvU32 clockRecordV2 = 0x20108;
constexpr NvU32 clockRecordV1 = 0x10108;
static_assert(clockRecordV3 == recordVersion(sizeof(ClockFrequencies), 3), "");
static_assert(clockRecordV2 == recordVersion(sizeof(ClockFrequencies), 2), "");
static_assert(clockRecordV1 == recordVersion(sizeof(ClockFrequencies), 1), "");

struct ThermalSettings {
    NvU32 version;
    NvU32 count;
    struct Sensor {
        NvU32 controller;
        NvS32 defaultMinTemp;
        NvS32 defaultMaxTemp;
        NvS32 currentTemp; // signed in layout 2
        NvU32 target;
    } sensor[3];
};
static_assert(sizeof(ThermalSettings) == 68, "thermal record size");
static_assert(offsetof(ThermalSettings, sensor[0].currentTemp) == 20, "");

constexpr NvU32 thermalRecordV2 = 0x20044;
constexpr NvU32 thermalRecordV1 = 0x10044;
static_assert(thermalRecordV2 == recordVersion(sizeof(ThermalSettings), 2), "");
static_assert(thermalRecordV1 == recordVersion(sizeof(ThermalSettings), 1), "");

struct Pstates20ClockEntry {
    NvU32 domainId;
    NvU32 typeId;
    NvU32 editable;
    NvS32 frequencyDelta[3]; // value, minimum, maximum
    NvU32 data[5];           // data[0]: the single frequency in kHz
};
static_assert(sizeof(Pstates20ClockEntry) == 44, "");

struct Pstates20BaseVoltage {
    NvU32 domainId;
    NvU32 editable;
    NvU32 voltageMicrovolts;
    NvS32 voltageDelta[3];
};
static_assert(sizeof(Pstates20BaseVoltage) == 24, "");

struct Pstates20Pstate {
    NvU32 pstateId;
    NvU32 editable;
    Pstates20ClockEntry clocks[8];
    Pstates20BaseVoltage baseVoltages[4];
};
static_assert(sizeof(Pstates20Pstate) == 456, "");

struct Pstates20Info {
    NvU32 version;
    NvU32 flags;
    NvU32 numPstates;
    NvU32 numClocks;
    NvU32 numBaseVoltages;
    Pstates20Pstate pstates[16];
    NvU32 overVoltage[25]; // layouts 2 and 3 only
};
static_assert(sizeof(Pstates20Info) == 7416, "P-states record size");
static_assert(offsetof(Pstates20Info, numPstates) == 8, "");
static_assert(offsetof(Pstates20Info, numClocks) == 12, "");
static_assert(offsetof(Pstates20Info, numBaseVoltages) == 16, "");
static_assert(offsetof(Pstates20Info, pstates[0].pstateId) == 20, "");
static_assert(offsetof(Pstates20Info, pstates[0].clocks[0].domainId) == 28, "");
static_assert(offsetof(Pstates20Info, pstates[0].clocks[0].data[0]) == 52, "");
static_assert(offsetof(Pstates20Info, pstates[0].clocks[1].domainId) == 72, "");
static_assert(offsetof(Pstates20Info, pstates[0].clocks[1].data[0]) == 96, "");

constexpr NvU32 pstatesRecordV3 = 0x31CF8;
constexpr NvU32 pstatesRecordV2 = 0x21CF8;
constexpr NvU32 pstatesRecordV1 = 0x11C94;
static_assert(pstatesRecordV3 == recordVersion(sizeof(Pstates20Info), 3), "");
static_assert(pstatesRecordV2 == recordVersion(sizeof(Pstates20Info), 2), "");
static_assert(pstatesRecordV1 == recordVersion(offsetof(Pstates20Info, overVoltage), 1), "");

struct GpuUsage {
    NvU32 version;
    NvU32 values[33]; // values[2] (byte 12) is the load in percent
};
static_assert(sizeof(GpuUsage) == 136, "usage record size");
static_assert(offsetof(GpuUsage, values[2]) == 12, "");

constexpr NvU32 usageRecordV1 = 0x10088;
static_assert(usageRecordV1 == recordVersion(sizeof(GpuUsage), 1), "");

// NvAPI_GPU_GetDynamicPstatesInfoEx: the utilisation of each domain in percent.
constexpr int utilizationGraphics = 0;
struct DynamicPstatesInfo {
    NvU32 version;
    NvU32 flags;
    struct {
        NvU32 present; // bit 0: the domain is there
        NvU32 percentage;
    } utilization[8];
};
static_assert(sizeof(DynamicPstatesInfo) == 72, "dynamic P-states record size");
constexpr NvU32 dynamicPstatesRecordV1 = 0x10048;
static_assert(dynamicPstatesRecordV1 == recordVersion(sizeof(DynamicPstatesInfo), 1), "");

// Entry points under the vendor's names. Each binds the library when needed and
// returns the entry point's status, or -1, -2 or -3 from the binding itself.
extern "C" {
NvAPI_Status NVAPI_CALL NvAPI_Initialize();
NvAPI_Status NVAPI_CALL NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                               NvU32* count);
NvAPI_Status NVAPI_CALL
NvAPI_EnumTCCPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS], NvU32* count);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetFullName(NvPhysicalGpuHandle gpu, char name[64]);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetPCIIdentifiers(NvPhysicalGpuHandle gpu, NvU32* deviceId,
                                                    NvU32* subSystemId, NvU32* revisionId,
                                                    NvU32* extDeviceId);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetAllClockFrequencies(NvPhysicalGpuHandle gpu,
                                                         ClockFrequencies* clocks);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetThermalSettings(NvPhysicalGpuHandle gpu, NvU32 sensorIndex,
                                                     ThermalSettings* thermal);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetPstates20(NvPhysicalGpuHandle gpu, Pstates20Info* pstates);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetCurrentPstate(NvPhysicalGpuHandle gpu, NvU32* pstate);
// The GPU's PCI bus number, and its device number on that bus.
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetBusId(NvPhysicalGpuHandle gpu, NvU32* busId);
NvAPI_Status NVAPI_CALL NvAPI_GPU_GetBusSlotId(NvPhysicalGpuHandle gpu, NvU32* busSlotId);
}

// The load's entry points (the usage query, which the vendor does not publish,
// and the published utilisation that stands in for it) with an enumeration
// of their own. Like the wrappers above they bind the library when needed and
// return -1, -2 or -3 from the binding, but they skip the driver's call
// reports: the load has always been read without them.
namespace nvapi::unreported {
NvAPI_Status NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                    NvU32* count);
NvAPI_Status NvAPI_GPU_GetUsages(NvPhysicalGpuHandle gpu, GpuUsage* usage);
NvAPI_Status NvAPI_GPU_GetDynamicPstatesInfoEx(NvPhysicalGpuHandle gpu, DynamicPstatesInfo* info);
} // namespace nvapi::unreported

namespace nvapi {
// Back to the binding of a process that has not called the driver: nothing
// bound, the real system calls. The programs' state resets call it; the
// libraries loaded stay loaded.
void restartBinding();
} // namespace nvapi
