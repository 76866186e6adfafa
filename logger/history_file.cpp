#include "logger/history_file.h"

#include <cwchar>
#include <string>

namespace {

const DWORD readAndWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::wstring finalPath(HANDLE handle) {
    wchar_t path[MAX_PATH + 64] = {};
    DWORD length = GetFinalPathNameByHandleW(handle, path, MAX_PATH + 64, FILE_NAME_NORMALIZED);
    return length == 0 || length >= MAX_PATH + 64 ? std::wstring() : std::wstring(path, length);
}

} // namespace

bool isOwnHistoryFile(HANDLE folder, HANDLE file, const wchar_t* name) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        information.nNumberOfLinks != 1)
        return false;
    const std::wstring folderPath = finalPath(folder), filePath = finalPath(file);
    return !folderPath.empty() && !filePath.empty() &&
           _wcsicmp((folderPath + L"\\" + name).c_str(), filePath.c_str()) == 0;
}

void appendToHistory(HANDLE folder, const char* path, const wchar_t* name, const char* text,
                     DWORD length) {
    HANDLE file =
        CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, readAndWrite, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (isOwnHistoryFile(folder, file, name)) {
        DWORD written = 0;
        WriteFile(file, text, length, &written, nullptr);
    }
    CloseHandle(file);
}
