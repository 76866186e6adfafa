// Interface ids by which nvapi_QueryInterface resolves the entry points we use.
#pragma once

#include <cstdint>

// The one list: each entry point's name after "NvAPI_" and its id. It
// yields the constants, the names and the uniqueness check below.
// GPU_GetUsages and GPU_GetDynamicPstatesInfoEx are wrapped without the
// call reports (nvapi::unreported). Diag_ReportCallStart and
// Diag_ReportCallReturn, the driver's diagnostic reports around every call,
// are bound as a pair or not at all.
#define NVAPI_INTERFACE_IDS(X)                                                                     \
    X(Initialize, 0x0150E828)                                                                      \
    X(EnumPhysicalGPUs, 0xE5AC921F)                                                                \
    X(EnumTCCPhysicalGPUs, 0xD9930B07)                                                             \
    X(GPU_GetFullName, 0xCEEE8E9F)                                                                 \
    X(GPU_GetPCIIdentifiers, 0x2DDFB66E)                                                           \
    X(GPU_GetAllClockFrequencies, 0xDCB616C3)                                                      \
    X(GPU_GetThermalSettings, 0xE3640A56)                                                          \
    X(GPU_GetPstates20, 0x6FF81213)                                                                \
    X(GPU_GetCurrentPstate, 0x927DA4F6)                                                            \
    X(GPU_GetBusId, 0x1BE0B8E5)                                                                    \
    X(GPU_GetBusSlotId, 0x2A0A350F)                                                                \
    X(GPU_GetUsages, 0x189A1FDF)                                                                   \
    X(GPU_GetDynamicPstatesInfoEx, 0x60DED2ED)                                                     \
    X(Diag_ReportCallStart, 0x33C7358C)                                                            \
    X(Diag_ReportCallReturn, 0x593E8644)

namespace nvapi_id {
#define NVAPI_ID_CONSTANT(name, id) constexpr uint32_t name = id;
NVAPI_INTERFACE_IDS(NVAPI_ID_CONSTANT)
#undef NVAPI_ID_CONSTANT
} // namespace nvapi_id

struct InterfaceIdName {
    const char* name;
    uint32_t id;
};

constexpr InterfaceIdName interfaceIdNames[] = {
#define NVAPI_ID_NAME(name, id) {"NvAPI_" #name, id},
    NVAPI_INTERFACE_IDS(NVAPI_ID_NAME)
#undef NVAPI_ID_NAME
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
