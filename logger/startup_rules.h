// Start-up rules of the logger that need no system call.
#pragma once

#include <string>

constexpr int workDirSize = 261;

// directory + "/log/history.csv", or empty when directory is empty or the path
// would not fit in workDirSize - 1 characters; directory is read no further
// than workDirSize characters.
std::wstring historyPathFor(const wchar_t* directory);
