#include "files/program_folder.h"

#include <windows.h>

#include <cstring>
#include <vector>

std::wstring programFolder() {
    // On XP a name that does not fit comes back cut and unterminated, with
    // the size as its length; later systems say ERROR_INSUFFICIENT_BUFFER.
    // A length below the size is the whole name on every one.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0)
            return std::wstring();
        if (length < name.size()) {
            std::wstring path(name.data(), length);
            const size_t slash = path.find_last_of(L'\\');
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        }
        if (name.size() >= 32768)
            return std::wstring();
        name.resize(name.size() * 2);
    }
}

void storeFolder(const std::wstring& folder, wchar_t* buffer, size_t size) {
    std::memset(buffer, 0, size * sizeof *buffer);
    if (folder.size() < size)
        std::memcpy(buffer, folder.c_str(), folder.size() * sizeof *buffer);
}

std::wstring longPathForm(const std::wstring& path) {
    // CreateDirectory takes at most MAX_PATH - 12 characters in the classic form.
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}
