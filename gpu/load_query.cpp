#include "gpu/load_query.h"
#include "nvapi/binding.h"
#include "nvapi/interface_ids.h"

using namespace nvapi;

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
    typedef NvAPI_Status(NVAPI_CALL * DynamicFunction)(NvPhysicalGpuHandle, DynamicPstatesInfo*);
    void* initialize = queryInterface(nvapi_id::Initialize);
    auto enumerate = reinterpret_cast<EnumFunction>(queryInterface(nvapi_id::EnumPhysicalGPUs));
    // The usage query is not published and a driver may drop it; the
    // published utilisation of the graphics domain stands in for it.
    auto usages = reinterpret_cast<UsageFunction>(queryInterface(nvapi_id::GPU_GetUsages));
    auto dynamic =
        reinterpret_cast<DynamicFunction>(queryInterface(nvapi_id::GPU_GetDynamicPstatesInfoEx));
    if (!initialize || !enumerate || (!usages && !dynamic))
        return false;
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    enumerate(handles, &count);
    NvPhysicalGpuHandle gpu = index < NVAPI_MAX_PHYSICAL_GPUS ? handles[index] : nullptr;
    GpuUsage usage = {};
    usage.version = usageRecordV1;
    if (usages && usages(gpu, &usage) == NVAPI_OK) {
        *load = usage.values[2];
        return true;
    }
    DynamicPstatesInfo info = {};
    info.version = dynamicPstatesRecordV1;
    if (dynamic && dynamic(gpu, &info) == NVAPI_OK &&
        (info.utilization[utilizationGraphics].present & 1)) {
        *load = info.utilization[utilizationGraphics].percentage;
        return true;
    }
    *load = 0;
    return true;
}
