#include "system/loading.h"

#include <atomic>
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

namespace {

// A REG_SZ value, whether or not it was stored with its terminating zero
// (Microsoft's RegQueryValueEx documentation warns that it may not be).
template <typename Char, typename Open, typename Query>
std::basic_string<Char> registeredFolder(Open open, Query query, const Char* key,
                                         const Char* name) {
    HKEY opened = nullptr;
    // KEY_WOW64_64KEY: the 64-bit view also for a 32-bit program under WOW64;
    // ignored on 32-bit Windows.
    if (open(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS)
        return std::basic_string<Char>();
    Char value[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH * sizeof(Char);
    const LONG error = query(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(opened);
    if (error != ERROR_SUCCESS || type != REG_SZ)
        return std::basic_string<Char>();
    std::basic_string<Char> folder(value, size / sizeof(Char));
    folder.resize(std::char_traits<Char>::length(folder.c_str()));
    while (!folder.empty() && folder.back() == Char('\\'))
        folder.pop_back();
    return folder;
}

} // namespace

std::wstring programFilesFolder(ProgramFiles which) {
    return registeredFolder<wchar_t>(
        RegOpenKeyExW, RegQueryValueExW, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
        which == ProgramFiles::native ? L"ProgramFilesDir" : L"ProgramFilesDir (x86)");
}

std::string programFilesFolderAnsi(ProgramFiles which) {
    return registeredFolder<char>(
        RegOpenKeyExA, RegQueryValueExA, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
        which == ProgramFiles::native ? "ProgramFilesDir" : "ProgramFilesDir (x86)");
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

SystemVersion systemVersion() {
    static const SystemVersion version = [] {
        OSVERSIONINFOA answer = {};
        answer.dwOSVersionInfoSize = sizeof answer;
        if (!GetVersionExA(&answer))
            return SystemVersion{0, 0};
        return SystemVersion{answer.dwMajorVersion, answer.dwMinorVersion};
    }();
    return version;
}

HMODULE systemLibrary(SystemLibrary library) {
    static const wchar_t* const names[] = {L"shell32.dll", L"ws2_32.dll"};
    static std::atomic<HMODULE> loaded[sizeof names / sizeof *names];
    std::atomic<HMODULE>& slot = loaded[static_cast<size_t>(library)];
    HMODULE module = slot.load(std::memory_order_acquire);
    if (module)
        return module;
    const std::wstring path = systemFolderFile(names[static_cast<size_t>(library)]);
    module = path.empty() ? nullptr : loadLibraryByFullPath(path.c_str());
    // Another thread may have loaded it meanwhile: one reference is kept.
    HMODULE first = nullptr;
    if (module && !slot.compare_exchange_strong(first, module, std::memory_order_acq_rel)) {
        FreeLibrary(module);
        module = first;
    }
    return module;
}
