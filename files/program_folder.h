// Each program works in its own folder, not in the current directory of
// whoever started it: a task at log-on and an elevated prompt start in the
// system folder, a shortcut may name any folder, and what lies in a folder
// that is not the program's own is not the program's to trust.
#pragma once

#include <cstddef>
#include <string>

// The folder of the running program, as the system names it, without a
// trailing backslash; empty when it cannot be had.
std::wstring programFolder();

// Copies folder with its terminating zero into a buffer of size characters,
// all zero first; a folder that does not fit leaves the buffer all zero.
void storeFolder(const std::wstring& folder, wchar_t* buffer, size_t size);

// A path the file calls take at any length: past the classic limit, the
// "\\?\" form (which the system passes on as it stands, so the path must
// already be whole, with backslashes, as programFolder gives it).
std::wstring longPathForm(const std::wstring& path);
