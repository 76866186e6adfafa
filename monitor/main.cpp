// Parlex's entry: one instance, the window, start-up in order, the message loop.
#include "monitor/app_state.h"
#include "monitor/buttons.h"
#include "monitor/notices.h"
#include "monitor/startup_rules.h"
#include "monitor/tray.h"
#include "monitor/window_procedure.h"
#include "nvapi/dll_search.h"
#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"
#include "sampling/sampling_thread.h"
#include "skin/back_buffer.h"
#include "monitor/face.h"
#include "skin/skin_pack.h"

#include <cstring>

namespace {

char windowTitle[100];
char windowClassName[100];

void fillTrayIconData(HINSTANCE instance) {
    std::memset(&trayIconData, 0, sizeof trayIconData);
    trayIconData.cbSize = sizeof trayIconData;
    trayIconData.hWnd = mainWindow;
    trayIconData.uID = 32770;
    trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData.uCallbackMessage = WM_TRAYICON;
    trayIconData.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(trayIconId),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
    std::strcpy(trayIconData.szTip, "TAVO Parlex");
}

bool systemVersionPasses() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return monitorSystemSupported(version.dwMajorVersion, version.dwMinorVersion);
}

void sizeWindow(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    rect.right = rect.left + windowWidth;
    rect.bottom = rect.top + windowHeight;
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER);
}

void setStartValues() {
    resetGpuReadings();
    resetButtons();
    historyOn = 0;
    historyStartPending = 0;
    inTray = 0;
}

void registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(smallIconId));
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = windowClassName;
    RegisterClassExA(&windowClass);
}

int startMonitor(HINSTANCE instance, int showCommand) {
    HWND window = CreateWindowExA(
        0, windowClassName, windowTitle, WS_POPUP, GetSystemMetrics(SM_CXSCREEN) / 2 - 135,
        GetSystemMetrics(SM_CYSCREEN) / 2 - 70, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!window) {
        showFailure(L"ウィンドウを作成できません", nullptr);
        return 0;
    }
    mainWindow = window;
    showLoggerNotice = showRunningNotice;
    fillTrayIconData(instance);
    allowTaskbarCreated(window);

    if (!systemVersionPasses()) {
        showFailure(L"XP以降のOSが必要です", window);
        DestroyWindow(window);
        return 0;
    }

    // A directory longer than the buffer leaves it empty: GetCurrentDirectory
    // then writes nothing.
    std::memset(workDir, 0, sizeof workDir);
    GetCurrentDirectoryA(workDirSize, workDir);
    OutputDebugStringA(workDir);

    sizeWindow(window);
    createBackBuffer(window);
    setStartValues();

    // The archive stays open, for this process alone, until the window goes.
    const SkinExtraction skin = extractSkin(instance, skinResourceId);
    if (!skin.archive) {
        showFailure(skin.failure, window);
        return 0;
    }
    const DiscoveryOutcome discovery = discoverGpus();
    if (discovery.moreThanFour)
        showStartupNotice(L"ビデオカードが5枚以上存在します\n認識できるビデオカードは4枚までです\n"
                          L"4枚までを認識します");
    if (discovery.failure) {
        showFailure(discovery.failure, window);
        return 0;
    }
    // Starts the sampling thread and formats the texts once on the way.
    if (const wchar_t* failure = buildLayout(skin.archive)) {
        showFailure(failure, window);
        return 0;
    }

    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

// The process must not end while the sampling thread is inside the driver or
// a launch thread inside the shell: a lock left held there can hang the
// system's own clean-up of the process (XP). Both are asked to stop and
// waited for, together no longer than about two seconds.
void endThreads() {
    appRunning = 0;
    const DWORD started = GetTickCount(), allowed = 2000;
    stopSamplingThread(allowed);
    const DWORD spent = GetTickCount() - started;
    waitForLoggerLaunch(spent < allowed ? allowed - spent : 0);
}

int runMessageLoop() {
    loopStarted = 1;
    MSG message = {};
    for (;;) {
        BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0)
            break;
        if (result == -1)
            return 0;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        // The pause bounds how fast a burst of messages is handled. A timer
        // cannot come faster than its period, and after each of the 1 ms
        // ticks the pause would only double the cost of an idle window.
        if (message.message != WM_TIMER)
            Sleep(1);
        // A window destroyed while a notice had the procedure switched off
        // never posted its quit message: end here all the same.
        if (!IsWindow(mainWindow))
            return 0;
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    restrictDllSearch();
    appRunning = 1;
    instanceMutex = CreateMutexA(nullptr, TRUE, "Parlex_SS.exe");
    if (!instanceMutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    procEnabled = 1;
    loopStarted = 0;
    LoadStringA(instance, titleStringId, windowTitle, sizeof windowTitle);
    LoadStringA(instance, classNameStringId, windowClassName, sizeof windowClassName);
    registerWindowClass(instance);
    const int exitCode = startMonitor(instance, showCommand) ? runMessageLoop() : 0;
    endThreads();
    return exitCode;
}
