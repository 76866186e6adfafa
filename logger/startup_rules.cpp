#include "logger/startup_rules.h"

#include <cwchar>
#include <iterator>

std::wstring historyPathFor(const wchar_t* directory) {
    const wchar_t suffix[] = L"/log/history.csv";
    std::wstring path(directory, wcsnlen(directory, workDirSize));
    // No directory captured (it did not fit): "/log/..." would name the root
    // of the drive, so there is no history path at all.
    if (path.empty() || path.size() + std::size(suffix) - 1 > workDirSize - 1)
        return std::wstring();
    return path + suffix;
}
