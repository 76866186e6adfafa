// Tessig's start-up checks: the system, NVAPI and the GPU list, NVML, the
// names and the record versions each GPU accepts.
#include "gpu/discovery.h"
#include "gpu/logger_agreement.h"
#include "logger/logger.h"

#include <cstring>

char workDir[workDirSize];
NvPhysicalGpuHandle gpuHandles[NVAPI_MAX_PHYSICAL_GPUS];
int gpuCount;
wchar_t gpuNames[maxLoggedGpus][100];
NvU32 clockVersion[maxLoggedGpus];
NvU32 pstatesVersion[maxLoggedGpus];
NvU32 thermalVersion[maxLoggedGpus];
NvmlLibrary nvml;
int nvmlIndex[maxLoggedGpus];

namespace {

template <typename Function> Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The first of two exported names that exists.
template <typename Function>
Function eitherProcedure(HMODULE module, const char* newer, const char* older) {
    Function found = procedure<Function>(module, newer);
    return found ? found : procedure<Function>(module, older);
}

// Current drivers install nvml.dll in the system directory only; older ones at
// the fixed path. Never through the search path.
HMODULE loadNvml() {
    HMODULE module = LoadLibraryA(nvmlFixedPath);
    if (module)
        return module;
    char path[MAX_PATH + 16] = {};
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::strcat(path, "\\nvml.dll");
    return LoadLibraryA(path);
}

// At start a ninth GPU is announced and a name that cannot be had ends the
// program; on a rediscovery both pass quietly (false: try again later).
bool nameGpus(bool atStart) {
    for (int i = 0; i < gpuCount; ++i) {
        if (i == maxLoggedGpus) {
            gpuCount = maxLoggedGpus;
            if (atStart)
                writeColoured(
                    L"ビデオカードが9枚以上存在します\n認識できるビデオカードは8枚までです\n"
                    L"8枚までを認識します\n",
                    colourWarning);
            return true;
        }
        if (readGpuName(gpuHandles[i], gpuNames[i]) != NVAPI_OK) {
            if (atStart)
                exitWithMessage(L"GPU名を取得できません\n");
            return false;
        }
    }
    return true;
}

void startRecordVersions() {
    for (int i = 0; i < maxLoggedGpus; ++i) {
        clockVersion[i] = clockRecordV3;
        pstatesVersion[i] = pstatesRecordV3;
        thermalVersion[i] = thermalRecordV2;
    }
}

} // namespace

// The vendor's PCI record of nvmlDeviceGetPciInfo_v3.
struct NvmlPciInfo {
    char busIdLegacy[16];
    unsigned domain;
    unsigned bus;
    unsigned device;
    unsigned pciDeviceId;
    unsigned pciSubSystemId;
    char busId[32];
};

void pairNvmlDevices() {
    for (int gpu = 0; gpu < maxLoggedGpus; ++gpu)
        nvmlIndex[gpu] = gpu;
    unsigned count = 0;
    if (!nvml.deviceGetCount || !nvml.deviceGetPciInfo || !nvml.deviceGetHandleByIndex ||
        nvml.deviceGetCount(&count) != 0)
        return;
    // NVML numbers its devices in its own order, which need not be the
    // driver's nor ours: each device's place on the bus says which GPU it is.
    struct Place {
        unsigned bus, device;
        bool known;
    };
    Place places[NVAPI_MAX_PHYSICAL_GPUS] = {};
    if (count > NVAPI_MAX_PHYSICAL_GPUS)
        count = NVAPI_MAX_PHYSICAL_GPUS;
    bool allKnown = true;
    for (unsigned index = 0; index < count; ++index) {
        void* device = nullptr;
        NvmlPciInfo pci = {};
        places[index].known = nvml.deviceGetHandleByIndex(index, &device) == 0 &&
                              nvml.deviceGetPciInfo(device, &pci) == 0;
        places[index].bus = pci.bus;
        places[index].device = pci.device;
        allKnown = allKnown && places[index].known;
    }
    for (int gpu = 0; gpu < gpuCount && gpu < maxLoggedGpus; ++gpu) {
        NvU32 bus = 0, slot = 0;
        if (NvAPI_GPU_GetBusId(gpuHandles[gpu], &bus) != NVAPI_OK ||
            NvAPI_GPU_GetBusSlotId(gpuHandles[gpu], &slot) != NVAPI_OK)
            continue;
        int found = -1;
        for (unsigned index = 0; index < count && found < 0; ++index)
            if (places[index].known && places[index].bus == bus && places[index].device == slot)
                found = static_cast<int>(index);
        // Not among the devices whose place is known: NVML does not list the
        // GPU, unless it is one of those whose place NVML could not tell.
        if (found >= 0 || allKnown)
            nvmlIndex[gpu] = found;
    }
}

void exitWithMessage(const wchar_t* message) {
    writeColoured(message, colourFailure);
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    ExitProcess(1);
}

void probeRecordVersions() {
    for (int i = 0; i < gpuCount; ++i) {
        clockVersion[i] = probeClockVersion(gpuHandles[i]);
        pstatesVersion[i] = probePstatesVersion(gpuHandles[i]);
        thermalVersion[i] = probeThermalVersion(gpuHandles[i]);
    }
}

void initLogger() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (!loggerSystemSupported(version.dwMajorVersion, version.dwMinorVersion))
        exitWithMessage(L"7以降のOSが必要です\n");

    std::memset(workDir, 0, sizeof workDir);
    GetCurrentDirectoryA(workDirSize, workDir);
    OutputDebugStringA(workDir);

    startRecordVersions();

    if (NvAPI_Initialize() != NVAPI_OK)
        exitWithMessage(L"NvAPIの初期化に失敗しました\n");
    listGpus(gpuHandles, &gpuCount);
    if (gpuCount == 0)
        exitWithMessage(L"NvAPIの初期化に失敗しました\n");

    nvml.module = loadNvml();
    if (!nvml.module)
        exitWithMessage(L"nvml.dllのロードに失敗しました\n");
    auto nvmlInit = eitherProcedure<int (*)()>(nvml.module, "nvmlInit_v2", "nvmlInit");
    if (!nvmlInit || nvmlInit() != 0)
        exitWithMessage(L"NvMLの初期化に失敗しました\n");
    nvml.deviceGetHandleByIndex = eitherProcedure<decltype(nvml.deviceGetHandleByIndex)>(
        nvml.module, "nvmlDeviceGetHandleByIndex_v2", "nvmlDeviceGetHandleByIndex");
    nvml.deviceGetTemperature =
        procedure<decltype(nvml.deviceGetTemperature)>(nvml.module, "nvmlDeviceGetTemperature");
    nvml.deviceGetPowerUsage =
        procedure<decltype(nvml.deviceGetPowerUsage)>(nvml.module, "nvmlDeviceGetPowerUsage");
    nvml.deviceGetPowerManagementLimit = procedure<decltype(nvml.deviceGetPowerManagementLimit)>(
        nvml.module, "nvmlDeviceGetPowerManagementLimit");
    nvml.deviceGetCount = eitherProcedure<decltype(nvml.deviceGetCount)>(
        nvml.module, "nvmlDeviceGetCount_v2", "nvmlDeviceGetCount");
    nvml.deviceGetPciInfo =
        procedure<decltype(nvml.deviceGetPciInfo)>(nvml.module, "nvmlDeviceGetPciInfo_v3");

    nameGpus(true);
    probeRecordVersions();
    pairNvmlDevices();
}

bool rediscoverGpus() {
    gpuCount = 0;
    listGpus(gpuHandles, &gpuCount);
    if (gpuCount == 0 || !nameGpus(false)) {
        gpuCount = 0;
        return false;
    }
    startRecordVersions();
    probeRecordVersions();
    pairNvmlDevices();
    return true;
}
