// The shell and Windows Sockets are loaded the first time Parlex needs them
// (hiding to the notification area, running or stopping the logger) rather
// than with the program: most of its life it needs neither, and each costs
// start-up time and resident memory. Each import slot below holds a function
// that loads its library from the system folder on first use and calls the
// real one; where that fails it answers as the real one answers a failure.
// The library is named by its full path: Parlex may run elevated from a
// folder that others can write to, and on the systems without
// SetDefaultDllDirectories a bare name is looked for in the program's folder
// first.
#include "system/loading.h"

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>

namespace {

template <typename Function>
Function systemFunction(std::atomic<Function>& slot, SystemLibrary module, const char* name) {
    Function found = slot.load(std::memory_order_acquire);
    if (found)
        return found;
    HMODULE library = systemLibrary(module);
    if (!library)
        return nullptr;
    found = exportedFunction<Function>(library, name);
    slot.store(found, std::memory_order_release);
    return found;
}

BOOL WINAPI notifyIcon(DWORD message, PNOTIFYICONDATAA data) {
    static std::atomic<decltype(&notifyIcon)> real;
    auto function = systemFunction(real, SystemLibrary::shell, "Shell_NotifyIconA");
    return function ? function(message, data) : FALSE;
}

// Wide, so that a folder named outside the ANSI code page still works.
HINSTANCE WINAPI shellExecute(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                              LPCWSTR folder, INT show) {
    static std::atomic<decltype(&shellExecute)> real;
    auto function = systemFunction(real, SystemLibrary::shell, "ShellExecuteW");
    return function ? function(window, verb, file, parameters, folder, show)
                    : reinterpret_cast<HINSTANCE>(SE_ERR_DLLNOTFOUND);
}

int WSAAPI startup(WORD version, LPWSADATA data) {
    static std::atomic<decltype(&startup)> real;
    auto function = systemFunction(real, SystemLibrary::sockets, "WSAStartup");
    return function ? function(version, data) : WSASYSNOTREADY;
}

int WSAAPI cleanup() {
    static std::atomic<decltype(&cleanup)> real;
    auto function = systemFunction(real, SystemLibrary::sockets, "WSACleanup");
    return function ? function() : SOCKET_ERROR;
}

SOCKET WSAAPI openSocket(int family, int type, int protocol) {
    static std::atomic<decltype(&openSocket)> real;
    auto function = systemFunction(real, SystemLibrary::sockets, "socket");
    return function ? function(family, type, protocol) : INVALID_SOCKET;
}

int WSAAPI closeSocket(SOCKET socket) {
    static std::atomic<decltype(&closeSocket)> real;
    auto function = systemFunction(real, SystemLibrary::sockets, "closesocket");
    return function ? function(socket) : SOCKET_ERROR;
}

int WSAAPI sendTo(SOCKET socket, const char* buffer, int length, int flags, const sockaddr* to,
                  int toLength) {
    static std::atomic<decltype(&sendTo)> real;
    auto function = systemFunction(real, SystemLibrary::sockets, "sendto");
    return function ? function(socket, buffer, length, flags, to, toLength) : SOCKET_ERROR;
}

// Byte order needs no library.
u_short WSAAPI networkShort(u_short value) {
    return static_cast<u_short>(value << 8 | value >> 8);
}

u_long WSAAPI networkLong(u_long value) {
    return value << 24 | (value & 0xFF00) << 8 | (value >> 8 & 0xFF00) | value >> 24;
}

} // namespace

// The import slots themselves, by the names the linker looks for.
#define LAZY_IMPORT(function, slot, symbol)                                                        \
    extern "C" decltype(&function) const slot __asm__(symbol);                                     \
    extern "C" decltype(&function) const slot = function;

LAZY_IMPORT(notifyIcon, notifyIconImport, "__imp__Shell_NotifyIconA@8")
LAZY_IMPORT(shellExecute, shellExecuteImport, "__imp__ShellExecuteW@24")
LAZY_IMPORT(startup, startupImport, "__imp__WSAStartup@8")
LAZY_IMPORT(cleanup, cleanupImport, "__imp__WSACleanup@0")
LAZY_IMPORT(openSocket, openSocketImport, "__imp__socket@12")
LAZY_IMPORT(closeSocket, closeSocketImport, "__imp__closesocket@4")
LAZY_IMPORT(sendTo, sendToImport, "__imp__sendto@24")
LAZY_IMPORT(networkShort, networkShortImport, "__imp__htons@4")
LAZY_IMPORT(networkLong, networkLongImport, "__imp__htonl@4")
