// The procedure of Parlex's one window.
#pragma once

#include <windows.h>

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Invalidates the whole window without erasing and paints it at once.
void requestRepaint();
