#include "gpu/load_query.h"

using namespace nvapi;

bool queryGpuLoad(unsigned index, NvU32* load) {
    // No bound library, no load. Once bound, this asks the driver nothing.
    if (NvAPI_Initialize() != NVAPI_OK)
        return false;
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    // A failed enumeration leaves no handle: the load calls then fail on
    // their own and the load reads 0.
    if (unreported::NvAPI_EnumPhysicalGPUs(handles, &count) == NVAPI_NO_IMPLEMENTATION)
        return false;
    NvPhysicalGpuHandle gpu = index < NVAPI_MAX_PHYSICAL_GPUS ? handles[index] : nullptr;
    GpuUsage usage = {};
    usage.version = usageRecordV1;
    // The usage query is not published and a driver may drop it; the
    // published utilisation of the graphics domain stands in for it.
    const NvAPI_Status used = unreported::NvAPI_GPU_GetUsages(gpu, &usage);
    if (used == NVAPI_OK) {
        *load = usage.values[2];
        return true;
    }
    DynamicPstatesInfo info = {};
    info.version = dynamicPstatesRecordV1;
    const NvAPI_Status dynamic = unreported::NvAPI_GPU_GetDynamicPstatesInfoEx(gpu, &info);
    if (used == NVAPI_NO_IMPLEMENTATION && dynamic == NVAPI_NO_IMPLEMENTATION)
        return false;
    *load = dynamic == NVAPI_OK && (info.utilization[utilizationGraphics].present & 1)
                ? info.utilization[utilizationGraphics].percentage
                : 0;
    return true;
}
