// Windows XP lacks some functions that the runtime libraries linked into
// Parlex import. Each is defined here in place of its import: the system's
// own where it exists, an equivalent where it does not, so that XP loads the
// program at all.
#include "system/loading.h"

#include <windows.h>

namespace {

// The thread library's timed waits count in 64-bit milliseconds.
ULONGLONG WINAPI tickCount64() {
    typedef ULONGLONG(WINAPI * TickCount64)();
    static const auto system = loadedFunction<TickCount64>("kernel32.dll", "GetTickCount64");
    if (system)
        return system();
    // The 32-bit count wraps after 49.7 days; each wrap seen adds 2^32.
    static volatile LONG busy = 0;
    static DWORD last = 0;
    static ULONGLONG wraps = 0;
    while (InterlockedExchange(&busy, 1))
        Sleep(0);
    const DWORD now = GetTickCount();
    if (now < last)
        wraps += 0x100000000ULL;
    last = now;
    const ULONGLONG result = wraps + now;
    InterlockedExchange(&busy, 0);
    return result;
}

} // namespace

// The import slot itself, by the name the linker looks for.
extern "C" ULONGLONG(WINAPI* const tickCount64Import)() __asm__("__imp__GetTickCount64@0");
extern "C" ULONGLONG(WINAPI* const tickCount64Import)() = tickCount64;
