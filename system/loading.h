// Both programs may run elevated from a folder that an ordinary user can
// write. The vendor's libraries and the system's own delayed loads then must
// never pick up a DLL placed beside the program. Everything either program
// loads, looks up or finds in the system's folders at run time goes through
// here.
#pragma once

#include <windows.h>

#include <string>

// Restricts the search for DLLs loaded by bare name to the system directory
// where the system can (SetDefaultDllDirectories: Windows 8, and 7 or Vista
// with KB2533623). Elsewhere it only takes the working directory out of the
// search (SetDllDirectory with an empty string, XP SP1 on): the program's own
// folder is still searched first there. So every library that either program
// loads at run time is named by its full path, and this is a second line.
// Both functions are resolved at run time. Call it first.
void restrictDllSearch();

// Every library either program loads at run time goes through here, by its
// full path. The dependencies of a library so loaded are searched for by
// bare name, "even if the first DLL was loaded by specifying a full path"
// (Microsoft, Dynamic-link library search order): so they are looked for in
// the library's own folder and the system folder
// (LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32) where the
// system has those flags, and with LOAD_WITH_ALTERED_SEARCH_PATH (the
// library's folder in place of the program's) where it does not.
HMODULE loadLibraryByFullPath(const wchar_t* fullPath);
// The same for a path in the system's ANSI code page.
HMODULE loadLibraryByFullPath(const char* fullPath);

// An exported function of a module, as the type the caller calls it through;
// null where the module is null or does not export the name. A function that
// only newer systems have is looked up here rather than imported, so that the
// program still starts on the older ones.
void* exportedFunction(HMODULE module, const char* name);
template <typename Function> Function exportedFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(exportedFunction(module, name));
}
// The same in a module every process of ours has loaded (kernel32.dll,
// ntdll.dll, and user32.dll in Parlex), which is never loaded here.
template <typename Function> Function loadedFunction(const char* module, const char* name) {
    return exportedFunction<Function>(GetModuleHandleA(module), name);
}

// The system libraries loaded when first needed rather than with the
// program (see monitor/lazy_imports.cpp), each loaded once by its full path
// in the system folder and kept for the life of the process: another load
// would only raise its reference count (Microsoft, FreeLibrary). Null while
// it cannot be loaded; the next call tries again.
enum class SystemLibrary { shell, sockets };
HMODULE systemLibrary(SystemLibrary library);

// The system's folders, not the caller's: on a session host each user may
// have a private Windows folder (GetWindowsDirectory), never the one the
// system's files are in (GetSystemWindowsDirectory).
enum class SystemFolder { system, windows };
// The folder's path without a closing backslash, in the wide or the ANSI
// form; empty when it cannot be had.
std::wstring systemFolder(SystemFolder folder);
std::string systemFolderAnsi(SystemFolder folder);
// The full path of name in the system folder; empty when the folder cannot
// be had.
std::wstring systemFolderFile(const wchar_t* name);

// The Program Files folders as the system registered them (the CurrentVersion
// key of HKLM, in its 64-bit view), never the inherited environment, which
// any parent may set, and %ProgramW6432% only across a change of bitness
// (WOW64 sets it; a parent of the same bitness passes on its own).
// ProgramFilesDir there is the native folder, and ProgramFilesDir (x86) the
// 32-bit one of 64-bit Windows. Empty when it cannot be had.
enum class ProgramFiles { native, x86 };
std::wstring programFilesFolder(ProgramFiles which);
std::string programFilesFolderAnsi(ProgramFiles which);

// The system's version as GetVersionEx answers this program, asked once.
// Neither program's manifest names a newer Windows, so from 8.1 on the
// answer is 6.2 (Microsoft, GetVersionExA: "Applications not manifested for
// Windows 8.1 or Windows 10 will return the Windows 8 OS version value"), and
// the start-up rules are written against that. Zeros if the call fails.
struct SystemVersion {
    unsigned major;
    unsigned minor;
};
SystemVersion systemVersion();
