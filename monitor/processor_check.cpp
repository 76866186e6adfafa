// Parlex's entry point. The program is built for processors with SSE2, which
// not every machine that runs XP has; there the first SSE2 instruction would
// end it without a word. This file is built without SSE and runs before
// anything else of the program, the runtime's start-up and every static
// initialiser included, so that such a processor gets a message instead.
#include <windows.h>

extern "C" int WinMainCRTStartup();
extern "C" int parlexEntry();

extern "C" int parlexEntry() {
    if (!IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
        MessageBoxW(nullptr, L"このプログラムにはSSE2に対応したプロセッサが必要です", L"Parlex",
                    MB_OK);
        ExitProcess(0);
    }
    return WinMainCRTStartup();
}
