#include "logger/logger.h"

void setColor(ConsoleColor color) {
    SetConsoleTextAttribute(tessig.consoleOut, static_cast<WORD>(color));
}

void writeText(const std::wstring& text) {
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(tessig.consoleOut, &mode)) {
        WriteConsoleW(tessig.consoleOut, text.data(), static_cast<DWORD>(text.size()), &written,
                      nullptr);
        return;
    }
    std::wstring lines;
    for (wchar_t c : text) {
        if (c == L'\n')
            lines += L'\r';
        lines += c;
    }
    int size = WideCharToMultiByte(932, 0, lines.data(), static_cast<int>(lines.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(932, 0, lines.data(), static_cast<int>(lines.size()), &bytes[0], size,
                        nullptr, nullptr);
    WriteFile(tessig.consoleOut, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void writeColored(const std::wstring& text, ConsoleColor color) {
    setColor(color);
    writeText(text);
    setColor(ConsoleColor::normal);
}
