// How readings look in Parlex's window and the fitting of long GPU names:
// pure rules, built for Windows and, under sanitizers, for the build machine.
#include "monitor/reading_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A value's text and its colour come from the one value given.
TEST(ReadingLooks, TextAndColourOfOneValue) {
    const struct {
        const char* what;
        ValueLook look;
        const wchar_t* text;
        uint32_t color;
    } cases[] = {
        {"clock", clockLook(1234567, true), L"1234.6MHz\n", presentColor},
        {"whole clock", clockLook(1607000, true), L"1607.0MHz\n", presentColor},
        {"largest clock", clockLook(4294967295u, true), L"4294967.3MHz\n", presentColor},
        {"failed clock: no reading", clockLook(0, true), L"0.0MHz\n", dimColor},
        {"below zero is a reading", temperatureLook(-5, true), L"-5\u2103\n", presentColor},
        {"temperature 0: no reading", temperatureLook(0, true), L"0\u2103\n", dimColor},
        {"load", loadLook(37, true), L"37\uFF05\n", presentColor},
        {"an idle GPU's 0 stays white", loadLook(0, true), L"0\uFF05\n", presentColor},
        {"no GPU: clock", clockLook(1234567, false), L"0.0MHz", dimColor},
        {"no GPU: temperature", temperatureLook(-5, false), L"0.0\u2103", dimColor},
        {"no GPU: load", loadLook(37, false), L"0\uFF05", dimColor},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, c.look.text) << c.what;
        EXPECT_EQ(c.color, c.look.color) << c.what;
    }
    EXPECT_EQ(0x1EFFFFFFu, dimColor);
}

TEST(ReadingLooks, NeverLongerThan39Characters) {
    for (uint32_t value : {0u, 1u, 999999u, 4294967295u}) {
        EXPECT_LE(clockLook(value, true).text.size(), maxValueTextLength);
        EXPECT_LE(loadLook(value, true).text.size(), maxValueTextLength);
    }
    EXPECT_LE(temperatureLook(-2147483647 - 1, true).text.size(), maxValueTextLength);
}

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
