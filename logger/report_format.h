// The text of one readings report, apart from the calls that gather it.
#pragma once

#include <string>
#include <vector>

// What one GPU block shows; a reading that is not known leaves its line out.
struct GpuFigures {
    std::wstring name;
    unsigned currentGraphicsKHz = 0, currentMemoryKHz = 0;
    unsigned baseGraphicsKHz = 0, baseMemoryKHz = 0;
    bool boostKnown = false;
    unsigned boostGraphicsKHz = 0, boostMemoryKHz = 0;
    unsigned load = 0;
    int temperature = 0;
    bool powerKnown = false;
    unsigned powerDrawMilliwatts = 0, powerLimitMilliwatts = 0;
    bool pstateKnown = false;
    unsigned pstate = 0;
};

// Console attributes of the report and of the logger's messages.
enum class ConsoleColor : unsigned short {
    reading = 5,
    normal = 7,
    name = 11,
    failure = 12,
    warning = 14,
};

// A piece of text printed in one color; after a colored piece the color is
// set back to ConsoleColor::normal.
struct ReportPiece {
    std::wstring text;
    ConsoleColor color;
};

std::wstring timeStampLine(int year, int month, int day, int hour, int minute, int second);
inline constexpr wchar_t closingLine[] = L"==================================================\n";
std::vector<ReportPiece> formatGpuBlock(const GpuFigures& gpu);
std::wstring formatWatts(unsigned milliwatts);
