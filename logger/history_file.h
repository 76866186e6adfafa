// Tessig may run elevated in a folder that ordinary users can write to. The
// header line goes into log/history.csv only through handles that prove the
// file is the one meant: never through a junction, a symbolic link or a hard
// link whose other name may be a file that only an administrator may change.
#pragma once

#include <windows.h>

// "log" is held (files/held_folder.h) while the header is written, so that
// nobody can move it or put a junction in its place meanwhile.

// True when file is a plain file with one name, and that name is "name" in
// the held folder.
bool isOwnHistoryFile(HANDLE folder, HANDLE file, const wchar_t* name);

// Appends text to the file name in the held folder, opened relative to the
// folder's handle (made when missing), when it passes isOwnHistoryFile;
// quietly does nothing otherwise. No path is looked up again: the folder,
// held, may still be turned in place into a mount point while it is empty,
// and a look-up by path would go through it. What the file holds is kept,
// and others may read it meanwhile.
void appendToHistory(HANDLE folder, const wchar_t* name, const char* text, DWORD length);
