#include "nvapi/binding.h"

#include "nvapi/interface_ids.h"

namespace nvapi {

BindingState binding{};

void ensureSection() {
    if (!binding.sectionCreated) {
        InitializeCriticalSection(&binding.section);
        binding.sectionCreated = true;
    }
}

void releaseBinding() {
    binding.inUse.fetch_sub(1, std::memory_order_relaxed);
}

void resetBinding() {
    binding.library = nullptr;
    binding.queryInterface = nullptr;
    // The generation keeps counting, so no cached address survives a reset.
    binding.inUse = 0;
    binding.identity = {0, 0};
    binding.callStart = nullptr;
    binding.callReturn = nullptr;
}

void restartBinding() {
    resetBinding();
    systemCalls = realSystemCalls();
}

std::string systemLibraryPath(const char* name) {
    std::string fileName(name);
    if (fileName.empty() || fileName.find_first_of("\\/") != std::string::npos)
        return std::string();
    std::string path = systemCalls.systemDirectory();
    if (path.empty())
        return std::string();
    if (path.back() != '\\')
        path += '\\';
    return path + fileName;
}

NvAPI_Status bindLibrary(HMODULE library) {
    binding.queryInterface = reinterpret_cast<QueryInterfaceFunction>(
        systemCalls.getProcAddress(library, "nvapi_QueryInterface"));
    if (!binding.queryInterface)
        return NVAPI_ERROR;
    auto driverInitialize =
        reinterpret_cast<DriverInitializeFunction>(binding.queryInterface(nvapi_id::Initialize));
    if (!driverInitialize) {
        binding.queryInterface = nullptr;
        return NVAPI_ERROR;
    }
    NvAPI_Status status = driverInitialize();
    if (status != NVAPI_OK) {
        binding.queryInterface = nullptr;
        // The vendor's NVAPI_INVALID_POINTER is also the loader's private
        // "just bound": from the driver it is a failure like any other.
        return status == justBound ? NVAPI_ERROR : status;
    }
    binding.callStart =
        reinterpret_cast<CallStartHook>(binding.queryInterface(nvapi_id::Diag_ReportCallStart));
    binding.callReturn =
        reinterpret_cast<CallReturnHook>(binding.queryInterface(nvapi_id::Diag_ReportCallReturn));
    if (!binding.callStart || !binding.callReturn) {
        binding.callStart = nullptr;
        binding.callReturn = nullptr;
    }
    binding.generation.fetch_add(1, std::memory_order_relaxed);
    return NVAPI_OK;
}

NvAPI_Status loadAndBind(const std::string& path) {
    HMODULE library = path.empty() ? nullptr : systemCalls.loadLibrary(path.c_str());
    if (!library) {
        releaseBinding();
        return NVAPI_LIBRARY_NOT_FOUND;
    }
    NvAPI_Status status = bindLibrary(library);
    if (status != NVAPI_OK) {
        releaseBinding();
        systemCalls.freeLibrary(library);
        return status;
    }
    // A rebind keeps one reference, to the library now bound: the one it held
    // on the library bound before is given back. Loading a module already
    // loaded only raises its count, and the module goes only when the count
    // reaches zero (Microsoft, FreeLibrary), so this is right also when the
    // load gave the same module back; a different one stayed loaded by our
    // reference until now, so its handle is still its own.
    const HMODULE previous = binding.library;
    binding.library = library;
    if (previous)
        systemCalls.freeLibrary(previous);
    return justBound;
}

NvAPI_Status initializeBinding() {
    NvAPI_Status status = acquireBinding();
    if (status == justBound)
        status = NVAPI_OK;
    if (status == NVAPI_OK)
        releaseBinding();
    return status;
}

namespace {

struct EntryCache {
    void* address;
    uint32_t generation;
};

// Whether the driver's call reports bracket an entry point.
enum class Reports { around, none };

template <NvU32 Id, Reports reports, typename... Args>
NvAPI_Status call(EntryCache& cache, Args... args) {
    NvAPI_Status loaded = acquireBinding();
    if (loaded != NVAPI_OK && loaded != justBound)
        return loaded;
    uint32_t generation = binding.generation.load(std::memory_order_relaxed);
    if (loaded == justBound || cache.generation != generation)
        cache.address = nullptr;
    if (!cache.address && binding.library && binding.queryInterface) {
        cache.address = binding.queryInterface(Id);
        cache.generation = generation;
    }
    if (!cache.address) {
        releaseBinding();
        return NVAPI_NO_IMPLEMENTATION;
    }
    NvU32 words[2] = {0, 0};
    const bool reported = reports == Reports::around;
    if (reported && binding.callStart)
        binding.callStart(Id, words);
    auto entry = reinterpret_cast<NvAPI_Status(NVAPI_CALL*)(Args...)>(cache.address);
    NvAPI_Status status = entry(args...);
    if (reported && binding.callReturn)
        binding.callReturn(Id, words[0], words[1], status);
    releaseBinding();
    return status;
}

template <NvU32 Id, typename... Args> NvAPI_Status forward(EntryCache& cache, Args... args) {
    return call<Id, Reports::around>(cache, args...);
}

// The load has always been read without the reports around its calls; this
// keeps it so. Everything else (binding, cache, in-use count) is forward's.
template <NvU32 Id, typename... Args>
NvAPI_Status forwardUnreported(EntryCache& cache, Args... args) {
    return call<Id, Reports::none>(cache, args...);
}

} // namespace

namespace unreported {

NvAPI_Status NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                    NvU32* count) {
    static EntryCache cache;
    return forwardUnreported<nvapi_id::EnumPhysicalGPUs>(cache, handles, count);
}

NvAPI_Status NvAPI_GPU_GetUsages(NvPhysicalGpuHandle gpu, GpuUsage* usage) {
    static EntryCache cache;
    return forwardUnreported<nvapi_id::GPU_GetUsages>(cache, gpu, usage);
}

NvAPI_Status NvAPI_GPU_GetDynamicPstatesInfoEx(NvPhysicalGpuHandle gpu, DynamicPstatesInfo* info) {
    static EntryCache cache;
    return forwardUnreported<nvapi_id::GPU_GetDynamicPstatesInfoEx>(cache, gpu, info);
}

} // namespace unreported
} // namespace nvapi

using nvapi::EntryCache;
using nvapi::forward;

extern "C" {

NvAPI_Status NVAPI_CALL NvAPI_Initialize() {
    return nvapi::initializeBinding();
}

NvAPI_Status NVAPI_CALL NvAPI_EnumPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS],
                                               NvU32* count) {
    static EntryCache cache;
    return forward<nvapi_id::EnumPhysicalGPUs>(cache, handles, count);
}

NvAPI_Status NVAPI_CALL
NvAPI_EnumTCCPhysicalGPUs(NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS], NvU32* count) {
    static EntryCache cache;
    return forward<nvapi_id::EnumTCCPhysicalGPUs>(cache, handles, count);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetFullName(NvPhysicalGpuHandle gpu, char name[64]) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetFullName>(cache, gpu, name);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetPCIIdentifiers(NvPhysicalGpuHandle gpu, NvU32* deviceId,
                                                    NvU32* subSystemId, NvU32* revisionId,
                                                    NvU32* extDeviceId) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetPCIIdentifiers>(cache, gpu, deviceId, subSystemId, revisionId,
                                                    extDeviceId);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetAllClockFrequencies(NvPhysicalGpuHandle gpu,
                                                         ClockFrequencies* clocks) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetAllClockFrequencies>(cache, gpu, clocks);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetThermalSettings(NvPhysicalGpuHandle gpu, NvU32 sensorIndex,
                                                     ThermalSettings* thermal) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetThermalSettings>(cache, gpu, sensorIndex, thermal);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetPstates20(NvPhysicalGpuHandle gpu, Pstates20Info* pstates) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetPstates20>(cache, gpu, pstates);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetCurrentPstate(NvPhysicalGpuHandle gpu, NvU32* pstate) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetCurrentPstate>(cache, gpu, pstate);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetBusId(NvPhysicalGpuHandle gpu, NvU32* busId) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetBusId>(cache, gpu, busId);
}

NvAPI_Status NVAPI_CALL NvAPI_GPU_GetBusSlotId(NvPhysicalGpuHandle gpu, NvU32* busSlotId) {
    static EntryCache cache;
    return forward<nvapi_id::GPU_GetBusSlotId>(cache, gpu, busSlotId);
}

} // extern "C"
