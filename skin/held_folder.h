// Parlex runs elevated from a folder that ordinary users may write to. What it
// makes, writes and deletes there is reached through a handle it holds on the
// folder, never through the folder's path again: a path can be bent to another
// place by whoever may rename or replace what it names, a held handle cannot.
#pragma once

#include <windows.h>

// Opens the folder at path, making it first when nothing of that name exists.
// The handle is shared without delete, so that nobody can move, rename or
// replace the folder while it is held. INVALID_HANDLE_VALUE when the name is a
// reparse point (a junction or a symbolic link), not a folder, or cannot be
// opened.
HANDLE holdFolder(const wchar_t* path);

// A new file of that name in the held folder, opened for reading and writing,
// shared with nobody and deleted when its handle closes, even when the process
// dies. Whatever had the name before (a file, a hard link or a symbolic link)
// is removed, never opened, written or followed. INVALID_HANDLE_VALUE when the
// file cannot be made.
HANDLE createFileInHeld(HANDLE folder, const wchar_t* name);

// Removes the held folder, when it is empty, through its handle, and closes it.
void removeHeldFolder(HANDLE folder);
