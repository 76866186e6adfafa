// Keeps Tessig running while "Monitor History" is ticked and stops it when the
// box is unticked. Runs at the end of every pass of the sampling thread.
#include "sampling/logger_control.h"
#include "gpu/stop_datagram.h"
#include "sampling/shared_state.h"

#include <winsock2.h>
#include <shellapi.h>

#include <process.h>

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
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (!loggerSystemSupported(version.dwMajorVersion, version.dwMinorVersion))
        return false;
    BOOL wow64 = FALSE;
    typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Current drivers put nvml.dll in the 64-bit system directory only; this
// 32-bit program sees that folder as Sysnative. The system's Windows folder,
// not the caller's: on a session host each user may have a private one.
bool nvmlInstalled() {
    if (fileExists(nvmlFixedPath))
        return true;
    char windows[MAX_PATH] = {};
    UINT length = GetSystemWindowsDirectoryA(windows, MAX_PATH);
    return length > 0 && length < MAX_PATH &&
           fileExists(std::string(windows) + "\\Sysnative\\nvml.dll");
}

void notice(SamplingState& state, const wchar_t* text) {
    if (!state.noticeAllowed.exchange(0))
        return;
    if (state.showLoggerNotice)
        state.showLoggerNotice(text);
}

// The command interpreter by its full path: a bare "cmd.exe" is looked for in
// the working folder first, where anyone may have put one.
std::string commandInterpreter() {
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string()
                                             : std::string(folder, length) + "\\cmd.exe";
}

unsigned __stdcall launchLogger(void* workDir) {
    std::string interpreter = commandInterpreter(),
                parameters = loggerParameters(static_cast<const char*>(workDir));
    if (!interpreter.empty())
        ShellExecuteA(nullptr, "open", interpreter.c_str(), parameters.c_str(), nullptr,
                      SW_SHOWNORMAL);
    return 0;
}

void startLaunchThread(SamplingState& state) {
    HANDLE thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, launchLogger, state.workDir, 0, nullptr));
    if (HANDLE previous = state.launchThread.exchange(thread))
        CloseHandle(previous);
}

void sendStopDatagram() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = stopAddress();
    sendto(sender, stopWord, sizeof stopWord, 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
    closesocket(sender);
    WSACleanup();
}

} // namespace

std::string loggerParameters(const char* directory) {
    // cmd.exe strips the outer quotes of a quoted path that holds any of
    // &<>()@^|; with /s and an extra pair around it, the whole path stays one
    // quoted program name.
    return std::string("/s /c \"\"") + directory + "/Tessig.exe\" \"";
}

bool waitForLoggerLaunch(SamplingState& state, DWORD milliseconds) {
    HANDLE thread = state.launchThread.load();
    return !thread || WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
}

void runLoggerControl(SamplingState& state) {
    const bool running = loggerIsRunning();
    if (state.historyOn) {
        if (state.historyStartPending && !running) {
            if (!systemRunsTheLogger()) {
                notice(state,
                       L"この機能は以下のWindows OSのみサポートします\n\n- Windows 8\n- Windows 7\n"
                       L"- Windows Server 2008 R2\n64bit "
                       L"only\n\nお使いのOSはサポートしておりません\n");
            } else if (!nvmlInstalled()) {
                notice(state, L"nvml.dllが見つかりませんでした");
            } else if (state.workDir[0] != '\0') {
                startLaunchThread(state);
                state.historyStartPending = 0;
            }
        }
    } else if (running) {
        sendStopDatagram();
    }
}
