#include "gpusim/call_log.h"

#include <windows.h>

#include <cstdio>

namespace gpusim {

namespace {

unsigned long long unixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return ticks.QuadPart / 10000 - 11644473600000ULL;
}

} // namespace

void logLine(const std::string& text) {
    char path[MAX_PATH * 2] = {};
    DWORD length = GetEnvironmentVariableA("GPUSIM_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    // Opened for appending on every line, so that lines from several processes
    // and threads never tear each other.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%llu pid=%lu tid=%lu ", unixMilliseconds(),
                  GetCurrentProcessId(), GetCurrentThreadId());
    std::string line = prefix + text + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void logCall(const char* function, const std::string& details, long status) {
    std::string text = function;
    if (!details.empty())
        text += " " + details;
    text += " status=" + std::to_string(status);
    logLine(text);
}

} // namespace gpusim
