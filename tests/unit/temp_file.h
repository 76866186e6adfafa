// A new empty file of the test's own in the temporary folder, its name
// starting with prefix.
#pragma once

#include <windows.h>

#include <string>

inline std::string tempFile(const char* prefix) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    char path[MAX_PATH] = {};
    GetTempFileNameA(folder, prefix, 0, path);
    return path;
}
