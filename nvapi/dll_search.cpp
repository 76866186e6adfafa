#include "nvapi/dll_search.h"

#include <windows.h>

void restrictDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    typedef BOOL(WINAPI * SetDefaultFunction)(DWORD);
    typedef BOOL(WINAPI * SetDirectoryFunction)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (setDefault && setDefault(0x00000800))
        return;
    auto setDirectory = reinterpret_cast<SetDirectoryFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory)
        setDirectory("");
}
