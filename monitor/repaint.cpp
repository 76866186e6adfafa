#include "monitor/repaint.h"
#include "monitor/app_state.h"
#include "monitor/face.h"
#include "skin/painting.h"

void requestRepaint() {
    // A face that would come out the same is not painted again.
    if (!composeFace(rootView))
        return;
    InvalidateRect(mainWindow, nullptr, FALSE);
    UpdateWindow(mainWindow);
}
