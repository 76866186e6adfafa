#include "monitor/notices.h"
#include "monitor/app_state.h"

void showFailure(const wchar_t* text, HWND owner) {
    procEnabled = 0;
    MessageBoxW(owner, text, L"Parlex", MB_OK);
}

void showStartupNotice(const wchar_t* text) { MessageBoxW(mainWindow, text, L"Parlex", MB_OK); }

void showRunningNotice(const wchar_t* text) {
    procEnabled = 0;
    MessageBoxW(mainWindow, text, L"Parlex", MB_OK);
    procEnabled = 1;
}
