#include "monitor/app_state.h"

#include "files/held_folder.h"
#include "nvapi/nvapi.h"
#include "system/loading.h"

#include <new>

ParlexState parlex;

void resetParlexState() {
    parlex.~ParlexState();
    new (&parlex) ParlexState();
    fileSystemCalls = realFileSystemCalls();
    nvapi::restartBinding();
}

ParlexSystemCalls realParlexSystemCalls() {
    return {.showMessageBox =
                [](HWND owner, const wchar_t* text) { MessageBoxW(owner, text, L"Parlex", MB_OK); },
            .resolveUser32 =
                [](const char* name) { return loadedFunction<void*>("user32.dll", name); }};
}

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the record form with balloon and GUID fields");
#endif
