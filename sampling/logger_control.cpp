// Keeps Tessig running while "Monitor History" is ticked and stops it when the
// box is unticked. Runs at the end of every pass of the sampling thread.
#include "sampling/logger_control.h"

#include "sampling/shared_state.h"
#include "gpu/nvml.h"
#include "gpu/stop_datagram.h"
#include "system/loading.h"

#include <winsock2.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <string>

namespace {

// Looks for the logger's mutex without creating it: a probe that created the
// name for an instant could make a logger starting in that instant end.
bool loggerIsRunning() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, loggerMutexName);
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// The logger needs Windows 7 or later, 64-bit.
bool systemRunsTheLogger() {
    const SystemVersion version = systemVersion();
    if (!loggerSystemSupported(version.major, version.minor))
        return false;
#ifdef _WIN64
    // A 64-bit build runs only on 64-bit Windows, and IsWow64Process answers
    // FALSE for a 64-bit process (Microsoft's IsWow64Process documentation).
    return true;
#else
    BOOL wow64 = FALSE;
    typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
    auto isWow64Process = loadedFunction<IsWow64ProcessFunction>("kernel32.dll", "IsWow64Process");
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Where the logger would load it from, in the same order.
bool nvmlInstalled() {
    for (const std::wstring& place : nvmlPlaces())
        if (fileExists(place))
            return true;
    return false;
}

void notice(SamplingState& state, const wchar_t* text) {
    if (!state.noticeAllowed.exchange(0))
        return;
    if (state.calls.showLoggerNotice)
        state.calls.showLoggerNotice(text);
}

// The command interpreter by its full path: a bare "cmd.exe" is looked for in
// the working folder first, where anyone may have put one.
std::wstring commandInterpreter() {
    return systemFolderFile(L"cmd.exe");
}

constexpr wchar_t launchFailure[] = L"Tessigを起動できませんでした";

// The logger runs in the program's folder, whoever started Parlex and
// wherever: its history file lies beside it. The launch is wanted until the
// shell has taken it: ShellExecute succeeds only with a result above 32
// (Microsoft's ShellExecute documentation).
unsigned __stdcall launchLogger(void* argument) {
    SamplingState& state = *static_cast<SamplingState*>(argument);
    const std::wstring interpreter = commandInterpreter(),
                       parameters = loggerParameters(state.workDir);
    if (!interpreter.empty() &&
        state.calls.shellExecute(interpreter.c_str(), parameters.c_str(), state.workDir) > 32)
        state.historyStartPending = 0;
    else
        state.loggerLaunchFailed = true;
    return 0;
}

bool launchUnderWay(const SamplingState& state) {
    HANDLE thread = state.launchThread.load();
    return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

bool startLaunchThread(SamplingState& state) {
    HANDLE thread = state.calls.beginThread(launchLogger, &state);
    if (!thread)
        return false;
    if (HANDLE previous = state.launchThread.exchange(thread))
        CloseHandle(previous);
    return true;
}

// Sent at every pass while the logger runs: one that cannot be sent now is
// sent at the next.
void sendStopDatagram() {
    const StopSocket sender;
    if (!sender.valid())
        return;
    sockaddr_in address = stopAddress();
    sendto(sender.get(), stopWord, sizeof stopWord, 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
}

} // namespace

std::wstring loggerParameters(const wchar_t* directory) {
    // /d: no AutoRun command of the registry runs (HKCU's is the user's own,
    // and would run elevated, and could change the folder). cmd.exe strips the
    // outer quotes of a quoted path that holds any of &<>()@^|; with /s and an
    // extra pair around it, the whole path stays one quoted program name.
    return std::wstring(L"/d /s /c \"\"") + directory + L"/Tessig.exe\" \"";
}

bool waitForLoggerLaunch(SamplingState& state, DWORD milliseconds) {
    HANDLE thread = state.launchThread.load();
    return !thread || WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
}

void runLoggerControl(SamplingState& state) {
    const bool running = loggerIsRunning();
    const bool launchFailed = state.loggerLaunchFailed.exchange(false);
    if (state.historyOn) {
        // A launch that did not go is said, and tried again from this pass on.
        if (launchFailed)
            notice(state, launchFailure);
        if (state.historyStartPending && !running && !launchUnderWay(state)) {
            if (!systemRunsTheLogger()) {
                notice(state,
                       L"この機能は以下のWindows OSのみサポートします\n\n- Windows 8\n- Windows 7\n"
                       L"- Windows Server 2008 R2\n64bit "
                       L"only\n\nお使いのOSはサポートしておりません\n");
            } else if (!nvmlInstalled()) {
                notice(state, L"nvml.dllが見つかりませんでした");
            } else if (state.workDir[0] != L'\0' && !startLaunchThread(state)) {
                notice(state, launchFailure);
            }
        }
    } else if (running) {
        sendStopDatagram();
    }
}
