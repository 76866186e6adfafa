#include "monitor/tray.h"

#include "monitor/app_state.h"
#include "monitor/startup_rules.h"
#include "system/loading.h"

#include <shlwapi.h>

namespace {

const UINT openCommand = 100;
const UINT closeCommand = 200;
// A shell that is busy or not started yet (right after log-on) refuses or
// times out: the icon is tried again for this many ticks of trayRetryTimer.
const int trayTries = 8;

// The record size the running shell knows, asked of shell32 (the one load
// that the lazy imports use too) the first time the icon is shown.
DWORD trayRecordSize() {
    static DWORD size = [] {
        auto getVersion = exportedFunction<DLLGETVERSIONPROC>(systemLibrary(SystemLibrary::shell),
                                                              "DllGetVersion");
        DLLVERSIONINFO version = {};
        version.cbSize = sizeof version;
        // A shell that cannot be asked gets the record every shell from
        // Windows 2000 on knows.
        if (!getVersion || getVersion(&version) != S_OK ||
            !shellKnowsVistaRecord(version.dwMajorVersion, version.dwMinorVersion,
                                   version.dwBuildNumber))
            return DWORD(NOTIFYICONDATAA_V2_SIZE);
        return DWORD(sizeof(NOTIFYICONDATAA));
    }();
    return size;
}

// True once the shell has the icon. An add that timed out may still have
// gone through, which the change that follows it finds.
bool addIcon() {
    parlex.trayIconData.cbSize = trayRecordSize();
    parlex.trayIconData.uFlags |= NIF_INFO;
    const BOOL added = Shell_NotifyIconA(NIM_ADD, &parlex.trayIconData);
    parlex.trayIconData.uFlags &= ~NIF_INFO;
    return Shell_NotifyIconA(NIM_MODIFY, &parlex.trayIconData) || added;
}

ControlActions showMenu() {
    SetActiveWindow(parlex.mainWindow);
    // A menu of a window that is not in the foreground never learns of a click
    // elsewhere and stays open.
    SetForegroundWindow(parlex.mainWindow);
    POINT cursor;
    GetCursorPos(&cursor);
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, openCommand, "open");
    AppendMenuA(menu, MF_STRING, closeCommand, "close");
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, parlex.mainWindow, nullptr);
    // Without a message after it, a menu opened right after this one would not
    // track properly. It comes after the choice in the queue.
    PostMessageA(parlex.mainWindow, WM_NULL, 0, 0);
    // The choice arrives as a WM_COMMAND posted to the window; it is taken
    // from the queue here, since the window procedure has no WM_COMMAND.
    ControlActions actions;
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        const bool chosen = message.message == WM_COMMAND;
        if (chosen && LOWORD(message.wParam) == openCommand) {
            restoreFromTray();
        } else if (chosen && LOWORD(message.wParam) == closeCommand) {
            Shell_NotifyIconA(NIM_DELETE, &parlex.trayIconData);
            actions.close = true;
        }
        DispatchMessageA(&message);
    }
    DestroyMenu(menu);
    return actions;
}

} // namespace

void hideToTray() {
    // Readings stop with the window going, not only once hiding it and handing
    // the icon to the shell have returned, which can take a while.
    parlex.shared.inTray = 1;
    ShowWindow(parlex.mainWindow, SW_HIDE);
    if (addIcon())
        return;
    parlex.trayTriesLeft = trayTries;
    SetTimer(parlex.mainWindow, trayRetryTimer, 500, nullptr);
}

void retryTrayIcon() {
    if (!parlex.shared.inTray || addIcon()) {
        KillTimer(parlex.mainWindow, trayRetryTimer);
        return;
    }
    if (--parlex.trayTriesLeft > 0)
        return;
    // Hidden without an icon, the window could only be ended from the task
    // manager: it comes back instead.
    restoreFromTray();
}

void restoreFromTray() {
    KillTimer(parlex.mainWindow, trayRetryTimer);
    ShowWindow(parlex.mainWindow, SW_SHOWNORMAL);
    SetForegroundWindow(parlex.mainWindow);
    Shell_NotifyIconA(NIM_DELETE, &parlex.trayIconData);
    parlex.shared.inTray = 0;
}

ControlActions trayIconMessage(LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDOWN:
        restoreFromTray();
        return {};
    case WM_RBUTTONDOWN:
        return showMenu();
    default:
        return {};
    }
}

UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

namespace {

void* resolveUser32(const char* name) {
    return parlex.calls.resolveUser32(name);
}

} // namespace

void allowTaskbarCreated(HWND window) {
    const UINT message = taskbarCreatedMessage();
    if (!message)
        return;
    // Vista and later drop registered messages that a process of lower
    // integrity sends, and the shell runs below this elevated program. Neither
    // function exists on XP, which has no such isolation.
    typedef BOOL(WINAPI * FilterForWindow)(HWND, UINT, DWORD, void*);
    typedef BOOL(WINAPI * FilterForProcess)(UINT, DWORD);
    const DWORD allow = 1; // MSGFLT_ALLOW, and MSGFLT_ADD for the older call
    if (auto forWindow =
            reinterpret_cast<FilterForWindow>(resolveUser32("ChangeWindowMessageFilterEx"))) {
        forWindow(window, message, allow, nullptr);
        return;
    }
    if (auto forProcess =
            reinterpret_cast<FilterForProcess>(resolveUser32("ChangeWindowMessageFilter")))
        forProcess(message, allow);
}

void trayRecreated() {
    if (parlex.shared.inTray)
        addIcon();
}
