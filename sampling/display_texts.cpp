#include "sampling/display_texts.h"

#include <cstdio>

namespace {

// ASCII digits widened, then the unit; cut as the views' buffers require.
std::wstring withUnit(const char* number, const wchar_t* unit) {
    std::wstring text;
    for (const char* c = number; *c; ++c)
        text += static_cast<wchar_t>(*c);
    text += unit;
    if (text.size() > maxValueTextLength)
        text.resize(maxValueTextLength);
    return text;
}

} // namespace

std::wstring formatClockText(uint32_t kilohertz) {
    // The decimal point is always ".", whatever the user's locale.
    char number[64];
    std::snprintf(number, sizeof number, "%.1f", kilohertz / 1000.0);
    return withUnit(number, L"MHz\n");
}

std::wstring formatTemperatureText(int32_t celsius) {
    char number[32];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(celsius));
    return withUnit(number, L"\u2103\n");
}

std::wstring formatLoadText(uint32_t percent) {
    char number[32];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(percent));
    return withUnit(number, L"\uFF05\n");
}

uint32_t valueColor(bool hasReading, int slot, int gpuCount) {
    return hasReading && gpuCount > slot ? presentColor : dimColor;
}

uint32_t loadColor(int slot, int gpuCount) {
    return gpuCount > slot ? presentColor : dimColor;
}

std::wstring fitGpuName(const std::wstring& name, float room,
                        const std::function<float(const std::wstring&)>& width) {
    if (width(name) <= room)
        return name;
    const std::wstring vendor = L"NVIDIA ";
    std::wstring shorter =
        name.compare(0, vendor.size(), vendor) == 0 ? name.substr(vendor.size()) : name;
    if (width(shorter) <= room)
        return shorter;
    // The longest beginning that fits with the ellipsis, found by halving.
    size_t fits = 0, tooLong = shorter.size();
    auto cut = [&](size_t length) {
        std::wstring text = shorter.substr(0, length);
        while (!text.empty() && text.back() == L' ')
            text.pop_back();
        return text + L"\u2026";
    };
    while (tooLong - fits > 1) {
        const size_t middle = (fits + tooLong) / 2;
        if (width(cut(middle)) <= room)
            fits = middle;
        else
            tooLong = middle;
    }
    return cut(fits);
}
