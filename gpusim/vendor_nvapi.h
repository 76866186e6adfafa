// Record layouts as the vendor's published NVAPI header declares them. The
// simulated driver uses these, never the binding's own declarations, so that a
// wrong offset in the binding shows up as a wrong reading in the tests.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t NvU32;
typedef int32_t NvS32;

#define NVAPI_MAX_PHYSICAL_GPUS 64
#define NVAPI_MAX_GPU_PUBLIC_CLOCKS 32
#define NVAPI_MAX_THERMAL_SENSORS_PER_GPU 3
#define NVAPI_MAX_GPU_PSTATE20_PSTATES 16
#define NVAPI_MAX_GPU_PSTATE20_CLOCKS 8
#define NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES 4
#define NVAPI_SHORT_STRING_MAX 64

#define MAKE_NVAPI_VERSION(typeName, ver) (NvU32)(sizeof(typeName) | ((ver) << 16))

enum NvStatus : int32_t {
    NVAPI_OK = 0,
    NVAPI_ERROR = -1,
    NVAPI_LIBRARY_NOT_FOUND = -2,
    NVAPI_NO_IMPLEMENTATION = -3,
    NVAPI_API_NOT_INITIALIZED = -4,
    NVAPI_INVALID_ARGUMENT = -5,
    NVAPI_NVIDIA_DEVICE_NOT_FOUND = -6,
    NVAPI_INCOMPATIBLE_STRUCT_VERSION = -9,
    NVAPI_HANDLE_INVALIDATED = -10,
    NVAPI_EXPECTED_PHYSICAL_GPU_HANDLE = -101,
    NVAPI_NOT_SUPPORTED = -104,
};

typedef struct {
    NvU32 version;
    NvU32 ClockType : 4; // layouts 2 and 3: 0 current, 1 base, 2 boost
    NvU32 reserved : 20;
    NvU32 reserved1 : 8;
    struct {
        NvU32 bIsPresent : 1;
        NvU32 reserved : 31;
        NvU32 frequency; // kHz
    } domain[NVAPI_MAX_GPU_PUBLIC_CLOCKS];
} NV_GPU_CLOCK_FREQUENCIES_V2;
#define NV_GPU_CLOCK_FREQUENCIES_VER_1 MAKE_NVAPI_VERSION(NV_GPU_CLOCK_FREQUENCIES_V2, 1)
#define NV_GPU_CLOCK_FREQUENCIES_VER_2 MAKE_NVAPI_VERSION(NV_GPU_CLOCK_FREQUENCIES_V2, 2)
#define NV_GPU_CLOCK_FREQUENCIES_VER_3 MAKE_NVAPI_VERSION(NV_GPU_CLOCK_FREQUENCIES_V2, 3)

#define NVAPI_GPU_PUBLIC_CLOCK_GRAPHICS 0
#define NVAPI_GPU_PUBLIC_CLOCK_MEMORY 4

typedef struct {
    NvU32 version;
    NvU32 count;
    struct {
        NvU32 controller;
        NvS32 defaultMinTemp;
        NvS32 defaultMaxTemp;
        NvS32 currentTemp;
        NvU32 target;
    } sensor[NVAPI_MAX_THERMAL_SENSORS_PER_GPU];
} NV_GPU_THERMAL_SETTINGS_V2;
#define NV_GPU_THERMAL_SETTINGS_VER_1 MAKE_NVAPI_VERSION(NV_GPU_THERMAL_SETTINGS_V2, 1)
#define NV_GPU_THERMAL_SETTINGS_VER_2 MAKE_NVAPI_VERSION(NV_GPU_THERMAL_SETTINGS_V2, 2)

typedef struct {
    NvS32 value;
    struct {
        NvS32 min;
        NvS32 max;
    } valueRange;
} NV_GPU_PERF_PSTATES20_PARAM_DELTA;

typedef struct {
    NvU32 domainId;
    NvU32 typeId;
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NV_GPU_PERF_PSTATES20_PARAM_DELTA freqDelta_kHz;
    union {
        struct {
            NvU32 freq_kHz;
        } single;
        struct {
            NvU32 minFreq_kHz;
            NvU32 maxFreq_kHz;
            NvU32 domainId;
            NvU32 minVoltage_uV;
            NvU32 maxVoltage_uV;
        } range;
    } data;
} NV_GPU_PSTATE20_CLOCK_ENTRY_V1;

typedef struct {
    NvU32 domainId;
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NvU32 volt_uV;
    NV_GPU_PERF_PSTATES20_PARAM_DELTA voltDelta_uV;
} NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY_V1;

typedef struct {
    NvU32 version;
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NvU32 numPstates;
    NvU32 numClocks;
    NvU32 numBaseVoltages;
    struct {
        NvU32 pstateId;
        NvU32 bIsEditable : 1;
        NvU32 reserved : 31;
        NV_GPU_PSTATE20_CLOCK_ENTRY_V1 clocks[NVAPI_MAX_GPU_PSTATE20_CLOCKS];
        NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY_V1 baseVoltages[NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES];
    } pstates[NVAPI_MAX_GPU_PSTATE20_PSTATES];
} NV_GPU_PERF_PSTATES20_INFO_V1;

typedef struct {
    NvU32 version;
    NvU32 bIsEditable : 1;
    NvU32 reserved : 31;
    NvU32 numPstates;
    NvU32 numClocks;
    NvU32 numBaseVoltages;
    struct {
        NvU32 pstateId;
        NvU32 bIsEditable : 1;
        NvU32 reserved : 31;
        NV_GPU_PSTATE20_CLOCK_ENTRY_V1 clocks[NVAPI_MAX_GPU_PSTATE20_CLOCKS];
        NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY_V1 baseVoltages[NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES];
    } pstates[NVAPI_MAX_GPU_PSTATE20_PSTATES];
    struct {
        NvU32 numVoltages;
        NV_GPU_PSTATE20_BASE_VOLTAGE_ENTRY_V1 voltages[NVAPI_MAX_GPU_PSTATE20_BASE_VOLTAGES];
    } ov;
} NV_GPU_PERF_PSTATES20_INFO_V2;
#define NV_GPU_PERF_PSTATES20_INFO_VER1 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO_V1, 1)
#define NV_GPU_PERF_PSTATES20_INFO_VER2 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO_V2, 2)
#define NV_GPU_PERF_PSTATES20_INFO_VER3 MAKE_NVAPI_VERSION(NV_GPU_PERF_PSTATES20_INFO_V2, 3)

// The usage query is not in the public header; its record is the version word
// and 33 words, the third of which is the GPU load in percent.
typedef struct {
    NvU32 version;
    NvU32 usages[33];
} NV_GPU_USAGES_INFO;
#define NV_GPU_USAGES_INFO_VER1 MAKE_NVAPI_VERSION(NV_GPU_USAGES_INFO, 1)

#define NVAPI_MAX_GPU_UTILIZATIONS 8
typedef struct {
    NvU32 version;
    NvU32 flags;
    struct {
        NvU32 bIsPresent : 1;
        NvU32 percentage;
    } utilization[NVAPI_MAX_GPU_UTILIZATIONS];
} NV_GPU_DYNAMIC_PSTATES_INFO_EX;
#define NV_GPU_DYNAMIC_PSTATES_INFO_EX_VER MAKE_NVAPI_VERSION(NV_GPU_DYNAMIC_PSTATES_INFO_EX, 1)

// The vendor's published sizes; a mismatch here means these declarations are wrong.
static_assert(NV_GPU_CLOCK_FREQUENCIES_VER_3 == 0x30108, "");
static_assert(NV_GPU_THERMAL_SETTINGS_VER_2 == 0x20044, "");
static_assert(NV_GPU_PERF_PSTATES20_INFO_VER1 == 0x11C94, "");
static_assert(NV_GPU_PERF_PSTATES20_INFO_VER3 == 0x31CF8, "");
static_assert(NV_GPU_USAGES_INFO_VER1 == 0x10088, "");
static_assert(NV_GPU_DYNAMIC_PSTATES_INFO_EX_VER == 0x10048, "");
