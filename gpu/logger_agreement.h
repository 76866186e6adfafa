// What Parlex and Tessig must agree on, defined once for both: the logger's
// single-instance mutex, the stop word and where it travels, where the
// vendor's management library lives, and which Windows runs the logger. No
// system headers: the rules also build for the build machine.
#pragma once

// The logger's single-instance mutex, which Parlex probes.
constexpr char loggerMutexName[] = "Tessig.exe";

// Parlex stops the logger with this word, sent with its terminating zero
// (5 bytes) to this port on the loopback address.
constexpr char stopWord[] = "EXIT";
constexpr unsigned short stopPort = 12345;

// Older drivers' place of nvml.dll, under the 64-bit Program Files folder;
// current ones put it in the 64-bit system folder.
constexpr wchar_t nvmlVendorFolderPath[] = L"\\NVIDIA Corporation\\NVSMI\\nvml.dll";

// Windows 7 (6.1) and everything later run the logger.
constexpr bool loggerSystemSupported(unsigned major, unsigned minor) {
    return major > 6 || (major == 6 && minor >= 1);
}
