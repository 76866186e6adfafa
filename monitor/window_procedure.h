// The procedure of Parlex's one window.
#pragma once

#include <windows.h>

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
