#include "nvapi/dll_search.h"

#include <string>

namespace {

FARPROC kernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

// The LOAD_LIBRARY_SEARCH_* flags come with SetDefaultDllDirectories (the
// same update on Vista and 7); a system without it refuses them with
// ERROR_INVALID_PARAMETER.
bool searchFlagsKnown() {
    static const bool known = kernelFunction("SetDefaultDllDirectories") != nullptr;
    return known;
}

DWORD fullPathLoadFlags() {
    return searchFlagsKnown() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                              : LOAD_WITH_ALTERED_SEARCH_PATH;
}

} // namespace

void restrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultFunction)(DWORD);
    typedef BOOL(WINAPI * SetDirectoryFunction)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultFunction>(
        reinterpret_cast<void*>(kernelFunction("SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    auto setDirectory = reinterpret_cast<SetDirectoryFunction>(
        reinterpret_cast<void*>(kernelFunction("SetDllDirectoryA")));
    if (setDirectory)
        setDirectory("");
}

HMODULE loadLibraryByFullPath(const wchar_t* fullPath) {
    return LoadLibraryExW(fullPath, nullptr, fullPathLoadFlags());
}

std::wstring systemFolderFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring()
                                             : std::wstring(folder, length) + L"\\" + name;
}

HMODULE loadLibraryByFullPath(const char* fullPath) {
    const int length = MultiByteToWideChar(CP_ACP, 0, fullPath, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (!MultiByteToWideChar(CP_ACP, 0, fullPath, -1, wide.data(), length))
        return nullptr;
    return loadLibraryByFullPath(wide.c_str());
}
