// Tessig's history path against memory that ends where its buffer does
// (the rest of the logger's pure rules are in tests/pure).
#include "logger/startup_rules.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace {

TEST(StartupChecks, HistoryPathFitsOrIsSkipped) {
    EXPECT_EQ("C:\\work/log/history.csv", historyPathFor("C:\\work"));
    std::string longest(244, 'a');
    EXPECT_EQ(longest + "/log/history.csv", historyPathFor(longest.c_str()));
    std::string tooLong(245, 'a');
    EXPECT_EQ("", historyPathFor(tooLong.c_str()));
    // A full buffer without terminator, ending where readable memory ends:
    // reading one byte past it faults.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    char* pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_TRUE(pages);
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &previous));
    char* unterminated = pages + system.dwPageSize - workDirSize;
    std::memset(unterminated, 'b', workDirSize);
    EXPECT_EQ("", historyPathFor(unterminated)) << "never read past the buffer";
    VirtualFree(pages, 0, MEM_RELEASE);
    EXPECT_EQ("", historyPathFor("")) << "no directory captured: not the drive's root";
}

} // namespace
