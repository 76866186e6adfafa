#include "monitor/notices.h"

#include "monitor/app_state.h"

namespace {

void showMessageBox(HWND owner, const wchar_t* text) {
    parlex.calls.showMessageBox(owner, text);
}

} // namespace

void showFailure(const StartFailure& failure, HWND owner) {
    parlex.procedureEnabled = false;
    if (failure.quiet)
        OutputDebugStringW(failure.text);
    else
        showMessageBox(owner, failure.text);
}

void showStartupNotice(const wchar_t* text) {
    showMessageBox(parlex.mainWindow, text);
}

void showRunningNotice(const wchar_t* text) {
    parlex.procedureEnabled = false;
    showMessageBox(parlex.mainWindow, text);
    parlex.procedureEnabled = true;
    // While the procedure was off, what the box uncovered was painted with
    // the class brush and validated: the whole face is painted again.
    InvalidateRect(parlex.mainWindow, nullptr, FALSE);
}
