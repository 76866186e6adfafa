#include "logger/report_format.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::wstring format(const wchar_t* pattern, ...) {
    wchar_t text[256];
    va_list arguments;
    va_start(arguments, pattern);
    std::vswprintf(text, sizeof text / sizeof text[0], pattern, arguments);
    va_end(arguments);
    return text;
}

// kHz to whole MHz, the fraction dropped.
int megahertz(unsigned kilohertz) {
    return static_cast<int>(kilohertz / 1000);
}

} // namespace

std::wstring timeStampLine(int year, int month, int day, int hour, int minute, int second) {
    return format(L"%d/%02d/%02d %02d:%02d:%02d ", year, month, day, hour, minute, second) +
           L"==============================\n";
}

std::wstring formatWatts(unsigned milliwatts) {
    return format(L"%.3f W", milliwatts / 1000.0);
}

std::vector<ReportPiece> formatGpuBlock(const GpuFigures& gpu) {
    std::vector<ReportPiece> pieces;
    pieces.push_back({gpu.name + L":\n", ConsoleColor::name});
    pieces.push_back({format(L"\tCurrent        %d MHz(GRAPHICS), %d MHz(MEMORY)\n",
                             megahertz(gpu.currentGraphicsKHz), megahertz(gpu.currentMemoryKHz)),
                      ConsoleColor::reading});
    pieces.push_back({format(L"\tBase           %d MHz(GRAPHICS), %d MHz(MEMORY)\n",
                             megahertz(gpu.baseGraphicsKHz), megahertz(gpu.baseMemoryKHz)),
                      ConsoleColor::reading});
    if (gpu.boostKnown)
        pieces.push_back({format(L"\tBoost          %d MHz(GRAPHICS), %d MHz(MEMORY)\n",
                                 megahertz(gpu.boostGraphicsKHz), megahertz(gpu.boostMemoryKHz)),
                          ConsoleColor::reading});
    else
        pieces.push_back({L"\tBoost          No Support\n", ConsoleColor::reading});
    pieces.push_back(
        {format(L"\tLoad           %d %%\n", static_cast<int>(gpu.load)), ConsoleColor::reading});
    pieces.push_back({format(L"\tTemperature    %d\n", gpu.temperature), ConsoleColor::reading});
    if (gpu.powerKnown)
        pieces.push_back({L"\tPower(Draw)    " + formatWatts(gpu.powerDrawMilliwatts) +
                              L"\n\tPower(Limit)   " + formatWatts(gpu.powerLimitMilliwatts) +
                              L"\n",
                          ConsoleColor::reading});
    if (gpu.pstateKnown)
        pieces.push_back({format(L"\tP-State        %d\n", static_cast<int>(gpu.pstate)),
                          ConsoleColor::reading});
    return pieces;
}
