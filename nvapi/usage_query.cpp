#include "nvapi/usage_query.h"
#include "nvapi/binding.h"
#include "nvapi/interface_ids.h"

namespace nvapi {

bool queryGpuLoad(const char* moduleName, unsigned index, NvU32* load) {
    // Only a module that is already loaded is used: asking by name must never
    // load a library from the search path.
    HMODULE module = systemCalls.getModuleHandle(moduleName);
    if (!module)
        return false;
    auto queryInterface = reinterpret_cast<QueryInterfaceFunction>(
        systemCalls.getProcAddress(module, "nvapi_QueryInterface"));
    if (!queryInterface)
        return false;
    typedef NvAPI_Status(NVAPI_CALL * EnumFunction)(NvPhysicalGpuHandle*, NvU32*);
    typedef NvAPI_Status(NVAPI_CALL * UsageFunction)(NvPhysicalGpuHandle, GpuUsage*);
    void* initialize = queryInterface(nvapi_id::Initialize);
    auto enumerate = reinterpret_cast<EnumFunction>(queryInterface(nvapi_id::EnumPhysicalGPUs));
    auto usages = reinterpret_cast<UsageFunction>(queryInterface(nvapi_id::GPU_GetUsages));
    if (!initialize || !enumerate || !usages)
        return false;
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    enumerate(handles, &count);
    GpuUsage usage = {};
    usage.version = usageRecordV1;
    usages(index < NVAPI_MAX_PHYSICAL_GPUS ? handles[index] : nullptr, &usage);
    *load = usage.values[2];
    return true;
}

} // namespace nvapi
