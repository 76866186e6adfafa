#include "monitor/repaint.h"

#include "monitor/app_state.h"
#include "monitor/face.h"

void requestRepaint() {
    // A face that would come out the same is not painted again.
    if (!parlex.backBuffer.compose(parlex.face.root.get()))
        return;
    InvalidateRect(parlex.mainWindow, nullptr, FALSE);
    UpdateWindow(parlex.mainWindow);
}
