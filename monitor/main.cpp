// Parlex's entry: one instance, the window, start-up in order, the message loop.
#include "monitor/app_state.h"
#include "monitor/buttons.h"
#include "monitor/face.h"
#include "monitor/gdiplus_library.h"
#include "monitor/notices.h"
#include "monitor/reading_views.h"
#include "monitor/startup_rules.h"
#include "monitor/tray.h"
#include "monitor/window_procedure.h"
#include "skin/back_buffer.h"
#include "skin/skin_pack.h"
#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"
#include "sampling/sampling_thread.h"
#include "files/program_folder.h"
#include "system/loading.h"

#include <cstring>

namespace {

void fillTrayIconData(HINSTANCE instance) {
    std::memset(&parlex.trayIconData, 0, sizeof parlex.trayIconData);
    parlex.trayIconData.cbSize = sizeof parlex.trayIconData;
    parlex.trayIconData.hWnd = parlex.mainWindow;
    parlex.trayIconData.uID = 32770;
    parlex.trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    parlex.trayIconData.uCallbackMessage = WM_TRAYICON;
    parlex.trayIconData.hIcon = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(trayIconId), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    std::strcpy(parlex.trayIconData.szTip, "TAVO Parlex");
}

bool systemVersionPasses() {
    const SystemVersion version = systemVersion();
    return monitorSystemSupported(version.major, version.minor);
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

bool registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    // LoadIcon takes the 32 px image only; the small icon is the file's own
    // image of the size the system draws it at.
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(smallIconId),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = parlex.windowClassName;
    return RegisterClassExA(&windowClass) != 0;
}

// Start-up in order, up to a window ready to show; every step that fails
// says why here, and WinMain ends every failed start alike.
StartFailure startMonitor(HINSTANCE instance) {
    if (!registerWindowClass(instance))
        return {.text = L"ウィンドウクラスを登録できません"};
    HWND window = CreateWindowExA(0, parlex.windowClassName, parlex.windowTitle, WS_POPUP,
                                  GetSystemMetrics(SM_CXSCREEN) / 2 - 135,
                                  GetSystemMetrics(SM_CYSCREEN) / 2 - 70, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return {.text = L"ウィンドウを作成できません"};
    parlex.mainWindow = window;
    parlex.shared.calls.showLoggerNotice = showRunningNotice;
    fillTrayIconData(instance);
    allowTaskbarCreated(window);

    if (!systemVersionPasses())
        return {.text = L"XP以降のOSが必要です"};

    // The program's own folder, never the current directory of whoever
    // started it. A folder longer than the buffer leaves it all zero; the
    // skin still goes beside the program.
    const std::wstring folder = programFolder();
    storeFolder(folder, parlex.shared.workDir, workDirSize);
    OutputDebugStringW(parlex.shared.workDir);

    sizeWindow(window);
    // Without GDI+ the window would stay blank.
    if (!loadGdiplus() || !startGdiplus())
        return {.text = L"GDI+を初期化できません"};
    if (!parlex.backBuffer.create(window))
        return {.text = L"画面のバッファを作成できません"};

    // The archive stays open, for this process alone, until the window goes.
    const SkinExtraction skin =
        extractSkin(parlex.skin, instance, skinResourceId,
                    folder.empty() ? L"" : longPathForm(folder + L"\\skin").c_str());
    if (!skin.archive)
        return {.text = skin.failure};
    const DiscoveryOutcome discovery = discoverGpus(parlex.shared.gpus);
    if (discovery.moreThanFour)
        showStartupNotice(L"ビデオカードが5枚以上存在します\n認識できるビデオカードは4枚までです\n"
                          L"4枚までを認識します");
    if (discovery.failure)
        return {.text = discovery.failure};
    // The face: its fixed views, then the sampling thread, then the views of
    // the slots.
    if (const StartFailure failure = buildFace(parlex.face, parlex.skin))
        return failure;
    if (!startSamplingThread(parlex.shared))
        return {.text = L"スレッドを作成できません"};
    buildReadingViews(parlex.face, parlex.shared.gpus, parlex.backBuffer.graphics);
    return {};
}

// A start that failed: no face, the word that says why, then no window. The
// back buffer gives the window's device context back while the window is
// there: a common DC goes back to the system with the window, and a later
// release could give back one that someone else holds (Wine's user32 DC
// tests record this of Windows).
void endFailedStart(const StartFailure& failure) {
    destroyFace(parlex.face);
    parlex.backBuffer.destroy();
    showFailure(failure, parlex.mainWindow);
    if (parlex.mainWindow)
        DestroyWindow(parlex.mainWindow);
}

int runMessageLoop() {
    parlex.phase = WindowPhase::opening;
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
        if (!IsWindow(parlex.mainWindow))
            return 0;
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    restrictDllSearch();
    parlex.shared.appRunning = 1;
    // The last error is read before anything else can set it.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Parlex_SS.exe");
    const bool anotherInstance = GetLastError() == ERROR_ALREADY_EXISTS;
    parlex.instanceMutex.reset(mutex);
    if (!mutex || anotherInstance)
        return 0;
    parlex.procedureEnabled = true;
    LoadStringA(instance, titleStringId, parlex.windowTitle, sizeof parlex.windowTitle);
    LoadStringA(instance, classNameStringId, parlex.windowClassName, sizeof parlex.windowClassName);
    int exitCode = 0;
    if (const StartFailure failure = startMonitor(instance)) {
        endFailedStart(failure);
    } else {
        ShowWindow(parlex.mainWindow, showCommand);
        UpdateWindow(parlex.mainWindow);
        exitCode = runMessageLoop();
    }
    endThreads();
    // Every way out leaves nothing beside the program, also a start that
    // failed after the skin was extracted.
    removeSkinFiles(parlex.skin);
    return exitCode;
}
