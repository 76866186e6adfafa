#include "logger/history_file.h"

#include "files/held_folder.h"

#include <cwchar>
#include <string>

namespace {

std::wstring finalPath(HANDLE handle) {
    wchar_t path[MAX_PATH + 64] = {};
    DWORD length = GetFinalPathNameByHandleW(handle, path, MAX_PATH + 64, FILE_NAME_NORMALIZED);
    return length == 0 || length >= MAX_PATH + 64 ? std::wstring() : std::wstring(path, length);
}

} // namespace

// The second line of defence, behind the relative open: a plain file, no
// link, one name, and that name where it was meant to be.
bool isOwnHistoryFile(HANDLE folder, HANDLE file, const wchar_t* name) {
    BY_HANDLE_FILE_INFORMATION information = {};
    HandleAttributes answer = {};
    if (!GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        information.nNumberOfLinks != 1 || !queryHandleAttributes(file, &answer) || isLink(answer))
        return false;
    const std::wstring folderPath = finalPath(folder), filePath = finalPath(file);
    return !folderPath.empty() && !filePath.empty() &&
           _wcsicmp((folderPath + L"\\" + name).c_str(), filePath.c_str()) == 0;
}

void appendToHistory(HANDLE folder, const wchar_t* name, const char* text, DWORD length) {
    HANDLE file = appendFileInHeld(folder, name);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (isOwnHistoryFile(folder, file, name)) {
        DWORD written = 0;
        WriteFile(file, text, length, &written, nullptr);
    }
    CloseHandle(file);
}
