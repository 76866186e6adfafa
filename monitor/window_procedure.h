// The procedure of Parlex's one window.
#pragma once

#include <windows.h>

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The process must not end while the sampling thread is inside the driver or
// a launch thread inside the shell: a lock left held there can hang the
// system's own clean-up of the process (XP). Both are asked to stop and
// waited for, together no longer than about two seconds.
void endThreads();
