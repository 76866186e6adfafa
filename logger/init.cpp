// Tessig's start-up checks: the system, NVAPI and the GPU list, NVML, the
// names and the record versions each GPU accepts.
#include "logger/logger.h"
#include "gpu/discovery.h"
#include "gpu/logger_agreement.h"
#include "gpu/nvml.h"
#include "files/held_folder.h"
#include "files/program_folder.h"
#include "system/loading.h"

#include <cstring>
#include <new>

TessigState tessig;

void resetTessigState() {
    tessig.~TessigState();
    new (&tessig) TessigState();
    fileSystemCalls = realFileSystemCalls();
    nvapi::restartBinding();
}

namespace {

void startRecordVersions() {
    for (int i = 0; i < maxLoggedGpus; ++i) {
        tessig.clockVersion[i] = clockRecordV3;
        tessig.pstatesVersion[i] = pstatesRecordV3;
        tessig.thermalVersion[i] = thermalRecordV2;
    }
}

} // namespace

void exitWithMessage(const wchar_t* message) {
    writeColored(message, ConsoleColor::failure);
    // Whether the runtime runs our destructors after ExitProcess is its own
    // affair: the mutex goes now.
    tessig.instanceMutex.reset();
    ExitProcess(1);
}

void probeRecordVersions() {
    for (int i = 0; i < tessig.gpuCount; ++i) {
        tessig.clockVersion[i] = probeClockVersion(tessig.gpuHandles[i]);
        tessig.pstatesVersion[i] = probePstatesVersion(tessig.gpuHandles[i]);
        tessig.thermalVersion[i] = probeThermalVersion(tessig.gpuHandles[i]);
    }
}

const wchar_t* startLogger() {
    const SystemVersion version = systemVersion();
    if (!loggerSystemSupported(version.major, version.minor))
        return L"7以降のOSが必要です\n";

    storeFolder(programFolder(), tessig.workDir, workDirSize);
    OutputDebugStringW(tessig.workDir);

    startRecordVersions();

    if (NvAPI_Initialize() != NVAPI_OK)
        return L"NvAPIの初期化に失敗しました\n";
    listGpus(tessig.gpuHandles, &tessig.gpuCount);
    if (tessig.gpuCount == 0)
        return L"NvAPIの初期化に失敗しました\n";

    tessig.nvml = loadNvml();
    if (!tessig.nvml.module)
        return L"nvml.dllのロードに失敗しました\n";
    if (!tessig.nvml.init || tessig.nvml.init() != NvmlReturn::success)
        return L"NvMLの初期化に失敗しました\n";

    switch (nameGpus(tessig.gpuHandles, &tessig.gpuCount, maxLoggedGpus, tessig.gpuNames)) {
    case GpuNaming::failed:
        return L"GPU名を取得できません\n";
    case GpuNaming::cut:
        writeColored(L"ビデオカードが9枚以上存在します\n認識できるビデオカードは8枚までです\n"
                     L"8枚までを認識します\n",
                     ConsoleColor::warning);
        break;
    case GpuNaming::named:
        break;
    }
    probeRecordVersions();
    pairNvmlDevices(tessig.nvml, tessig.gpuHandles,
                    tessig.gpuCount < maxLoggedGpus ? tessig.gpuCount : maxLoggedGpus,
                    tessig.nvmlIndex);
    return nullptr;
}

void initLogger() {
    if (const wchar_t* failure = startLogger())
        exitWithMessage(failure);
}

bool rediscoverGpus() {
    tessig.gpuCount = 0;
    listGpus(tessig.gpuHandles, &tessig.gpuCount);
    if (tessig.gpuCount == 0 || nameGpus(tessig.gpuHandles, &tessig.gpuCount, maxLoggedGpus,
                                         tessig.gpuNames) == GpuNaming::failed) {
        tessig.gpuCount = 0;
        return false;
    }
    startRecordVersions();
    probeRecordVersions();
    pairNvmlDevices(tessig.nvml, tessig.gpuHandles,
                    tessig.gpuCount < maxLoggedGpus ? tessig.gpuCount : maxLoggedGpus,
                    tessig.nvmlIndex);
    return true;
}
