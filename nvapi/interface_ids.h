// Interface ids by which nvapi_QueryInterface resolves the entry points we use.
#pragma once

#include <cstdint>

namespace nvapi_id {
constexpr uint32_t Initialize = 0x0150E828;
constexpr uint32_t EnumPhysicalGPUs = 0xE5AC921F;
constexpr uint32_t EnumTCCPhysicalGPUs = 0xD9930B07;
constexpr uint32_t GPU_GetFullName = 0xCEEE8E9F;
constexpr uint32_t GPU_GetPCIIdentifiers = 0x2DDFB66E;
constexpr uint32_t GPU_GetAllClockFrequencies = 0xDCB616C3;
constexpr uint32_t GPU_GetThermalSettings = 0xE3640A56;
constexpr uint32_t GPU_GetPstates20 = 0x6FF81213;
constexpr uint32_t GPU_GetCurrentPstate = 0x927DA4F6;
constexpr uint32_t GPU_GetBusId = 0x1BE0B8E5;
constexpr uint32_t GPU_GetBusSlotId = 0x2A0A350F;
// Not wrapped: callers resolve them themselves next to the enumeration.
constexpr uint32_t GPU_GetUsages = 0x189A1FDF;
constexpr uint32_t GPU_GetDynamicPstatesInfoEx = 0x60DED2ED;
// The driver's diagnostic reports around every call; bound as a pair or not at all.
constexpr uint32_t Diag_ReportCallStart = 0x33C7358C;
constexpr uint32_t Diag_ReportCallReturn = 0x593E8644;
} // namespace nvapi_id

struct InterfaceIdName {
    const char* name;
    uint32_t id;
};

constexpr InterfaceIdName interfaceIdNames[] = {
    {"NvAPI_Initialize", nvapi_id::Initialize},
    {"NvAPI_EnumPhysicalGPUs", nvapi_id::EnumPhysicalGPUs},
    {"NvAPI_EnumTCCPhysicalGPUs", nvapi_id::EnumTCCPhysicalGPUs},
    {"NvAPI_GPU_GetFullName", nvapi_id::GPU_GetFullName},
    {"NvAPI_GPU_GetPCIIdentifiers", nvapi_id::GPU_GetPCIIdentifiers},
    {"NvAPI_GPU_GetAllClockFrequencies", nvapi_id::GPU_GetAllClockFrequencies},
    {"NvAPI_GPU_GetThermalSettings", nvapi_id::GPU_GetThermalSettings},
    {"NvAPI_GPU_GetPstates20", nvapi_id::GPU_GetPstates20},
    {"NvAPI_GPU_GetCurrentPstate", nvapi_id::GPU_GetCurrentPstate},
    {"NvAPI_GPU_GetBusId", nvapi_id::GPU_GetBusId},
    {"NvAPI_GPU_GetBusSlotId", nvapi_id::GPU_GetBusSlotId},
    {"NvAPI_GPU_GetUsages", nvapi_id::GPU_GetUsages},
    {"NvAPI_GPU_GetDynamicPstatesInfoEx", nvapi_id::GPU_GetDynamicPstatesInfoEx},
    {"NvAPI_Diag_ReportCallStart", nvapi_id::Diag_ReportCallStart},
    {"NvAPI_Diag_ReportCallReturn", nvapi_id::Diag_ReportCallReturn},
};

constexpr bool interfaceIdsAreUnique() {
    constexpr auto count = sizeof(interfaceIdNames) / sizeof(interfaceIdNames[0]);
    for (unsigned i = 0; i < count; ++i)
        for (unsigned j = i + 1; j < count; ++j)
            if (interfaceIdNames[i].id == interfaceIdNames[j].id)
                return false;
    return true;
}
static_assert(interfaceIdsAreUnique(), "every interface id appears once");
