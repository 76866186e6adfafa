#include "monitor/window_procedure.h"
#include "monitor/app_state.h"

namespace {

void setArrow() { SetCursor(LoadCursor(nullptr, IDC_ARROW)); }

void refresh() {}

// Window destruction: everything in order, then the quit message.
void shutdown() {
    appRunning = 0;
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    PostQuitMessage(0);
}

} // namespace

void requestRepaint() {
    InvalidateRect(mainWindow, nullptr, FALSE);
    UpdateWindow(mainWindow);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!procEnabled)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        SetTimer(window, fastTimer, 1, nullptr);
        SetTimer(window, refreshTimer, 1000, nullptr);
        ++readyStage;
        return 0;
    case WM_DESTROY:
        shutdown();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        setArrow();
        return 0;
    }
    case WM_SETCURSOR:
    case WM_EXITSIZEMOVE:
        setArrow();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            appRunning = 0;
            DestroyWindow(window);
            return 0;
        }
        setArrow();
        return 0;
    case WM_TIMER:
        if (!appRunning)
            return 0;
        if (wParam == fastTimer) {
            if (readyStage == 1)
                readyStage = 2;
            return 0;
        }
        if (wParam == refreshTimer) {
            if (readyStage == 2)
                refresh();
            return 0;
        }
        setArrow();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
