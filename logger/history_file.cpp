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

HANDLE holdHistoryFolder(const char* path) {
    // Some file systems tell a link only to a look-up by its name; the handle's
    // own answer below is the one that holds while the folder is held.
    const DWORD named = GetFileAttributesA(path);
    if (named == INVALID_FILE_ATTRIBUTES || (named & FILE_ATTRIBUTE_REPARSE_POINT))
        return INVALID_HANDLE_VALUE;
    HANDLE folder = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                readAndWrite, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(folder, &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(folder);
        return INVALID_HANDLE_VALUE;
    }
    return folder;
}

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
