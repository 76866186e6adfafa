// The display texts of Parlex and the fitting of long GPU names: pure rules,
// built for Windows and, under sanitizers, for the build machine.
#include "sampling/display_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DisplayTexts, Formats) {
    EXPECT_EQ(L"1234.6MHz\n", formatClockText(1234567));
    EXPECT_EQ(L"0.0MHz\n", formatClockText(0));
    EXPECT_EQ(L"1607.0MHz\n", formatClockText(1607000));
    EXPECT_EQ(L"4294967.3MHz\n", formatClockText(4294967295u));
    EXPECT_EQ(L"-5\u2103\n", formatTemperatureText(-5));
    EXPECT_EQ(L"0\u2103\n", formatTemperatureText(0));
    EXPECT_EQ(L"37\uFF05\n", formatLoadText(37));
}

TEST(DisplayTexts, NeverLongerThan39Characters) {
    for (uint32_t value : {0u, 1u, 999999u, 4294967295u}) {
        EXPECT_LE(formatClockText(value).size(), maxValueTextLength);
        EXPECT_LE(formatLoadText(value).size(), maxValueTextLength);
    }
    EXPECT_LE(formatTemperatureText(-2147483647 - 1).size(), maxValueTextLength);
}

TEST(DisplayTexts, DefaultsOfAnEmptySlot) {
    EXPECT_STREQ(L"- empty -", defaultNameText);
    EXPECT_STREQ(L"0.0MHz", defaultClockText);
    EXPECT_STREQ(L"0.0\u2103", defaultTemperatureText);
    EXPECT_STREQ(L"0\uFF05", defaultLoadText);
}

TEST(DisplayTexts, ColorsFollowReadingAndSlot) {
    EXPECT_EQ(presentColor, valueColor(true, 0, 1));
    EXPECT_EQ(dimColor, valueColor(false, 0, 1)) << "no reading: dim, even in slot 0";
    EXPECT_EQ(dimColor, valueColor(true, 0, 0)) << "slot 0 that every GPU has left";
    EXPECT_EQ(dimColor, valueColor(true, 1, 1)) << "a slot without GPU";
    EXPECT_EQ(presentColor, valueColor(true, 3, 4));
    EXPECT_EQ(presentColor, loadColor(0, 1)) << "an idle GPU's 0 stays white";
    EXPECT_EQ(presentColor, loadColor(2, 3));
    EXPECT_EQ(dimColor, loadColor(3, 3));
    EXPECT_EQ(0x1EFFFFFFu, dimColor);
}

// The color comes from whether a value was read; a temperature below zero
// is a reading like any other.

// Seven pixels a character: a stand-in for the font that keeps the rules plain.
float sevenPerCharacter(const std::wstring& text) { return 7.0f * static_cast<float>(text.size()); }

TEST(GpuNameFitting, FullNameThenWithoutVendorThenCutWithAnEllipsis) {
    EXPECT_EQ(L"NVIDIA RTX A2000", fitGpuName(L"NVIDIA RTX A2000", 7 * 16, sevenPerCharacter))
        << "a name that fits is left as it is";
    EXPECT_EQ(L"GeForce RTX 4070 Ti SUPER",
              fitGpuName(L"NVIDIA GeForce RTX 4070 Ti SUPER", 7 * 25, sevenPerCharacter));
    const std::wstring cut = fitGpuName(L"NVIDIA RTX PRO 6000 Blackwell Workstation Edition",
                                        7 * 20, sevenPerCharacter);
    EXPECT_EQ(L"RTX PRO 6000 Blackw\u2026", cut) << "the longest beginning that fits";
    EXPECT_EQ(L"GeForce RTX\u2026", fitGpuName(L"NVIDIA GeForce RTX 4090", 7 * 12 + 3,
                                               sevenPerCharacter))
        << "no blank before the ellipsis";
    EXPECT_EQ(L"RTX\u2026", fitGpuName(L"RTX 4090 Laptop GPU", 7 * 4 + 3, sevenPerCharacter))
        << "only a leading vendor word is dropped";
    EXPECT_EQ(L"\u2026", fitGpuName(L"NVIDIA GeForce", 3, sevenPerCharacter));
}

} // namespace
