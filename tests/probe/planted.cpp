// What an ordinary user might plant beside an elevated program: built as
// gdiplus.dll and as cmd.exe. Loaded or run, it leaves "<its own path>.ran"
// beside itself, so a test can tell that it was never used.
#include <windows.h>

namespace {

void leaveMark(HMODULE module) {
    wchar_t path[MAX_PATH + 8] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    lstrcatW(path, L".ran");
    CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

} // namespace

#ifdef PLANTED_LIBRARY
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*);
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        leaveMark(module);
    return TRUE;
}
#else
int main() {
    leaveMark(nullptr);
    return 0;
}
#endif
