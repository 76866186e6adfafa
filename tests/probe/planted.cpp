// A cmd.exe that an ordinary user might plant beside an elevated program.
// Run, it leaves "cmd.exe.ran" beside itself.
#include <windows.h>

int main() {
    wchar_t path[MAX_PATH + 8] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        CloseHandle(CreateFileW(lstrcatW(path, L".ran"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                0, nullptr));
    return 0;
}
