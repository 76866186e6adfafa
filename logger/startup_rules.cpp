#include "logger/startup_rules.h"

#include <cstring>

std::string historyPathFor(const char* directory) {
    const char suffix[] = "/log/history.csv";
    std::string path(directory, strnlen(directory, workDirSize));
    // No directory captured (it did not fit): "/log/..." would name the root
    // of the drive, so there is no history path at all.
    if (path.empty() || path.size() + sizeof suffix - 1 > workDirSize - 1)
        return std::string();
    return path + suffix;
}
