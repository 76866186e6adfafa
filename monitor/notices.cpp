#include "monitor/notices.h"
#include "monitor/app_state.h"

namespace {

void messageBox(HWND owner, const wchar_t* text) {
    MessageBoxW(owner, text, L"Parlex", MB_OK);
}

} // namespace

void (*showMessageBox)(HWND owner, const wchar_t* text) = messageBox;

void showFailure(const wchar_t* text, HWND owner) {
    procEnabled = 0;
    showMessageBox(owner, text);
}

void showStartupNotice(const wchar_t* text) {
    showMessageBox(mainWindow, text);
}

void showRunningNotice(const wchar_t* text) {
    procEnabled = 0;
    showMessageBox(mainWindow, text);
    procEnabled = 1;
}
