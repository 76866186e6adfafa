// How a slot's readings look in the window: the texts of its value views,
// their colours and those of its name. A value's text and its colour are made
// from the one value given, so that a sample written in between can never
// pair the text of one reading with the colour of another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

constexpr uint32_t presentColor = 0xFFFFFFFF;
constexpr uint32_t dimColor = 0x1EFFFFFF; // a missing value: white at alpha 30
constexpr uint32_t nameColor = 0xBEFFFFFF;
constexpr uint32_t emptyNameColor = 0x40FFFFFF;

// The colours of a column of the slots' views: lit where the slot holds a
// GPU, dim where it does not.
struct SlotColors {
    uint32_t lit;
    uint32_t dim;
    constexpr uint32_t of(bool slotHasGpu) const { return slotHasGpu ? lit : dim; }
};
constexpr SlotColors nameColors = {nameColor, emptyNameColor};
constexpr SlotColors valueColors = {presentColor, dimColor};

// Texts of a value in a slot that has no GPU.
inline constexpr wchar_t defaultClockText[] = L"0.0MHz";
inline constexpr wchar_t defaultTemperatureText[] = L"0.0\u2103";
inline constexpr wchar_t defaultLoadText[] = L"0\uFF05";

// The longest text a value view gets, in characters, and a buffer that holds
// one with its end.
constexpr size_t maxValueTextLength = 39;
using ValueText = wchar_t[maxValueTextLength + 1];

struct ValueLook {
    std::wstring text;
    uint32_t color;
};

// A value of a slot with a GPU, formatted: 1,234,567 kHz -> "1234.6MHz\n";
// -5 -> "-5℃\n"; 37 -> "37％\n". A clock or temperature of 0 is no reading
// and is dim; a load is lit whatever it is. A slot without a GPU shows its
// default text, dim.
ValueLook clockLook(uint32_t kilohertz, bool slotHasGpu);
ValueLook temperatureLook(int32_t celsius, bool slotHasGpu);
ValueLook loadLook(uint32_t percent, bool slotHasGpu);

// A GPU name as it fits in room pixels, width telling how wide a text is
// drawn: the name itself when it fits; else without its leading "NVIDIA ",
// which says nothing in a window that only shows NVIDIA GPUs; else cut where
// it fits and ended with "…".
std::wstring fitGpuName(const std::wstring& name, float room,
                        const std::function<float(const std::wstring&)>& width);
