#include "system/loading.h"

#include <string>

namespace {

// The LOAD_LIBRARY_SEARCH_* flags come with SetDefaultDllDirectories (the
// same update on Vista and 7); a system without it refuses them with
// ERROR_INVALID_PARAMETER.
bool searchFlagsKnown() {
    static const bool known =
        loadedFunction<void*>("kernel32.dll", "SetDefaultDllDirectories") != nullptr;
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
    auto setDefault =
        loadedFunction<SetDefaultFunction>("kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    auto setDirectory = loadedFunction<SetDirectoryFunction>("kernel32.dll", "SetDllDirectoryA");
    if (setDirectory)
        setDirectory("");
}

HMODULE loadLibraryByFullPath(const wchar_t* fullPath) {
    return LoadLibraryExW(fullPath, nullptr, fullPathLoadFlags());
}

void* exportedFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

namespace {

// Both folder calls answer the path's length when it fits, and otherwise the
// size it needs with the terminating zero, leaving the buffer as it was: so
// an answer of the buffer's size or more is a path that did not fit (Wine's
// kernel32 directory tests record this of Windows, and that the answer fits
// in MAX_PATH). 0 is a failure.
template <typename Char, typename Call>
std::basic_string<Char> folderPath(Call system, Call windows, SystemFolder folder) {
    Char path[MAX_PATH] = {};
    const UINT length =
        folder == SystemFolder::system ? system(path, MAX_PATH) : windows(path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::basic_string<Char>()
                                             : std::basic_string<Char>(path, length);
}

} // namespace

std::wstring systemFolder(SystemFolder folder) {
    return folderPath<wchar_t>(GetSystemDirectoryW, GetSystemWindowsDirectoryW, folder);
}

std::string systemFolderAnsi(SystemFolder folder) {
    return folderPath<char>(GetSystemDirectoryA, GetSystemWindowsDirectoryA, folder);
}

std::wstring systemFolderFile(const wchar_t* name) {
    const std::wstring folder = systemFolder(SystemFolder::system);
    return folder.empty() ? folder : folder + L"\\" + name;
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
