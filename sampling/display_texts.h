// How readings become the texts of the window's value views.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

constexpr uint32_t presentColor = 0xFFFFFFFF;
constexpr uint32_t dimColor = 0x1EFFFFFF; // a missing value: white at alpha 30

// Texts of a slot that has no GPU, or has not been formatted yet.
inline constexpr wchar_t defaultNameText[] = L"- empty -";
inline constexpr wchar_t defaultClockText[] = L"0.0MHz";
inline constexpr wchar_t defaultTemperatureText[] = L"0.0\u2103";
inline constexpr wchar_t defaultLoadText[] = L"0\uFF05";

// The longest text a value view gets, in characters, and the buffer that
// holds one with its end.
constexpr size_t maxValueTextLength = 39;
constexpr size_t valueTextSize = 100;
using ValueText = wchar_t[valueTextSize];

// 1,234,567 kHz -> "1234.6MHz\n"; -5 -> "-5℃\n"; 37 -> "37％\n".
std::wstring formatClockText(uint32_t kilohertz);
std::wstring formatTemperatureText(int32_t celsius);
std::wstring formatLoadText(uint32_t percent);

// Color of a clock or temperature view: present when the reading is not 0
// and the slot holds a GPU (slot 0 always counts as holding one).
uint32_t valueColor(bool hasReading, int slot, int gpuCount);
// Color of a load view: the load itself is not looked at.
uint32_t loadColor(int slot, int gpuCount);

// A GPU name as it fits in room pixels, width telling how wide a text is
// drawn: the name itself when it fits; else without its leading "NVIDIA ",
// which says nothing in a window that only shows NVIDIA GPUs; else cut where
// it fits and ended with "…".
std::wstring fitGpuName(const std::wstring& name, float room,
                        const std::function<float(const std::wstring&)>& width);
