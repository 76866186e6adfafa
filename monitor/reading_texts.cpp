#include "monitor/reading_texts.h"

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

ValueLook clockLook(uint32_t kilohertz, bool slotHasGpu) {
    if (!slotHasGpu)
        return {defaultClockText, dimColor};
    // The decimal point is always ".", whatever the user's locale.
    char number[64];
    std::snprintf(number, sizeof number, "%.1f", kilohertz / 1000.0);
    return {withUnit(number, L"MHz\n"), valueColors.of(kilohertz != 0)};
}

ValueLook temperatureLook(int32_t celsius, bool slotHasGpu) {
    if (!slotHasGpu)
        return {defaultTemperatureText, dimColor};
    char number[32];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(celsius));
    return {withUnit(number, L"\u2103\n"), valueColors.of(celsius != 0)};
}

ValueLook loadLook(uint32_t percent, bool slotHasGpu) {
    if (!slotHasGpu)
        return {defaultLoadText, dimColor};
    char number[32];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(percent));
    return {withUnit(number, L"\uFF05\n"), presentColor};
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
