// Tessig's start-up checks: the system, NVAPI and the GPU list, NVML, the
// names and the record versions each GPU accepts.
#include "gpu/discovery.h"
#include "gpu/logger_agreement.h"
#include "gpu/nvml.h"
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

    nvml = loadNvml();
    if (!nvml.module)
        exitWithMessage(L"nvml.dllのロードに失敗しました\n");
    if (!nvml.init || nvml.init() != 0)
        exitWithMessage(L"NvMLの初期化に失敗しました\n");

    nameGpus(true);
    probeRecordVersions();
    pairNvmlDevices(nvml, gpuHandles, gpuCount < maxLoggedGpus ? gpuCount : maxLoggedGpus,
                    nvmlIndex);
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
    pairNvmlDevices(nvml, gpuHandles, gpuCount < maxLoggedGpus ? gpuCount : maxLoggedGpus,
                    nvmlIndex);
    return true;
}
