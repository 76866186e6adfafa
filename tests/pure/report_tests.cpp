// Tessig's pure rules: the stop word and its listener, the report's text and
// colors, the systems it runs on. Built for Windows and, under sanitizers,
// for the build machine.
#include "logger/report_format.h"
#include "logger/startup_rules.h"
#include "logger/stop_word.h"
#include "gpu/logger_agreement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool stops(const char* bytes, size_t length) {
    // As the listener does: a zero-filled buffer, at most its size received.
    char buffer[stopBufferSize] = {};
    std::memcpy(buffer, bytes, length < stopBufferSize ? length : stopBufferSize);
    return isStopDatagram(buffer);
}

TEST(StopDatagram, MatchesTheWordWithOrWithoutTerminator) {
    EXPECT_TRUE(stops("EXIT", 4));
    EXPECT_TRUE(stops("EXIT\0", 5));
    EXPECT_TRUE(stops("EXIT\0abc", 8));
    EXPECT_TRUE(stops("EXIT\0abcdefghijkl", 17)) << "judged by its first 10 bytes";
}

TEST(StopDatagram, IgnoresEverythingElse) {
    EXPECT_FALSE(stops("exit", 4));
    EXPECT_FALSE(stops("EXIT\r\n", 6));
    EXPECT_FALSE(stops("EXITS", 5));
    EXPECT_FALSE(stops("", 0));
    EXPECT_FALSE(stops("EXI", 3));
    EXPECT_FALSE(stops(" EXIT", 5));
    EXPECT_FALSE(stops("EXITEXITEX", 10)) << "ten letters and no terminator";
}

TEST(StopDatagram, TheListenerPausesAfterAFailedBindOrReceive) {
    EXPECT_FALSE(listenerPausesAfter(true, false, false)) << "a datagram came";
    EXPECT_TRUE(listenerPausesAfter(false, false, false)) << "the port is taken";
    EXPECT_TRUE(listenerPausesAfter(true, true, false)) << "the receive failed";
    EXPECT_FALSE(listenerPausesAfter(true, true, true)) << "only too long";
}

TEST(ReportText, TimeStampLine) {
    EXPECT_EQ(L"2019/01/09 03:07:05 ==============================\n",
              timeStampLine(2019, 1, 9, 3, 7, 5));
    EXPECT_EQ(L"2026/12/31 23:59:59 ==============================\n",
              timeStampLine(2026, 12, 31, 23, 59, 59));
    EXPECT_EQ(50u, std::wstring(closingLine).size() - 1);
}

GpuFigures fullFigures() {
    GpuFigures gpu;
    gpu.name = L"NVIDIA GeForce RTX 3090";
    gpu.currentGraphicsKHz = 1695999;
    gpu.currentMemoryKHz = 9751000;
    gpu.baseGraphicsKHz = 1395000;
    gpu.baseMemoryKHz = 9751000;
    gpu.boostKnown = true;
    gpu.boostGraphicsKHz = 1860000;
    gpu.boostMemoryKHz = 9752000;
    gpu.load = 37;
    gpu.temperature = -5;
    gpu.powerKnown = true;
    gpu.powerDrawMilliwatts = 123456;
    gpu.powerLimitMilliwatts = 350000;
    gpu.pstateKnown = true;
    gpu.pstate = 8;
    return gpu;
}

std::wstring joined(const std::vector<ReportPiece>& pieces) {
    std::wstring text;
    for (const ReportPiece& piece : pieces)
        text += piece.text;
    return text;
}

TEST(ReportText, FullBlockLayout) {
    EXPECT_EQ(L"NVIDIA GeForce RTX 3090:\n"
              L"\tCurrent        1695 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
              L"\tBase           1395 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
              L"\tBoost          1860 MHz(GRAPHICS), 9752 MHz(MEMORY)\n"
              L"\tLoad           37 %\n"
              L"\tTemperature    -5\n"
              L"\tPower(Draw)    123.456 W\n"
              L"\tPower(Limit)   350.000 W\n"
              L"\tP-State        8\n",
              joined(formatGpuBlock(fullFigures())));
}

TEST(ReportText, UnknownReadingsLeaveTheirLinesOutOrSayNoSupport) {
    GpuFigures gpu = fullFigures();
    gpu.boostKnown = false;
    gpu.powerKnown = false;
    gpu.pstateKnown = false;
    EXPECT_EQ(L"NVIDIA GeForce RTX 3090:\n"
              L"\tCurrent        1695 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
              L"\tBase           1395 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
              L"\tBoost          No Support\n"
              L"\tLoad           37 %\n"
              L"\tTemperature    -5\n",
              joined(formatGpuBlock(gpu)));
}

TEST(ReportText, NameInCyanReadingsInMagentaPowerLinesUnderOneChange) {
    std::vector<ReportPiece> pieces = formatGpuBlock(fullFigures());
    ASSERT_EQ(8u, pieces.size()) << "name, current, base, boost, load, temperature, power, P-state";
    // The console's attribute values: bright cyan is blue | green | intensity,
    // magenta is blue | red.
    EXPECT_EQ(0x1 | 0x2 | 0x8, int(pieces[0].color));
    for (size_t i = 1; i < pieces.size(); ++i) {
        EXPECT_EQ(0x1 | 0x4, int(pieces[i].color)) << i;
        EXPECT_EQ(L'\n', pieces[i].text.back()) << i;
    }
    EXPECT_EQ(L"\tPower(Draw)    123.456 W\n\tPower(Limit)   350.000 W\n", pieces[6].text);
}

TEST(ReportText, WattsKeepThreeDecimals) {
    EXPECT_EQ(L"123.456 W", formatWatts(123456));
    EXPECT_EQ(L"0.000 W", formatWatts(0));
    EXPECT_EQ(L"0.001 W", formatWatts(1));
    EXPECT_EQ(L"4294967.295 W", formatWatts(4294967295u));
}

TEST(StartupChecks, SystemsFromSevenOn) {
    EXPECT_FALSE(loggerSystemSupported(5, 1));
    EXPECT_FALSE(loggerSystemSupported(6, 0));
    EXPECT_TRUE(loggerSystemSupported(6, 1));
    EXPECT_TRUE(loggerSystemSupported(6, 2));
    EXPECT_TRUE(loggerSystemSupported(10, 0));
}

} // namespace
