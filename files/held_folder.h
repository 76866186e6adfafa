// Both programs run elevated from a folder that ordinary users may write to.
// What they make, write and delete there is reached through a handle held on
// the folder, never through the folder's path again: a path can be bent to
// another place by whoever may rename or replace what it names, a held handle
// cannot.
#pragma once

#include <windows.h>

// A folder opened as itself, shared without delete, so that nobody can move,
// rename or replace it while it is held. The handle is closed with its
// holder; it is never copied.
class HeldFolder {
  public:
    HeldFolder() = default;
    explicit HeldFolder(HANDLE folder) : handle(folder) {}
    HeldFolder(HeldFolder&& other) noexcept : handle(other.handle) {
        other.handle = INVALID_HANDLE_VALUE;
    }
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    bool held() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle; }
    // Removes the folder through the handle when nothing is in it (a folder
    // that still holds something stays), and lets it go.
    void remove();

  private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

enum class FolderUse {
    existing, // only a folder that is there, never removed
    own,      // made when missing, and removed at the end
};

// What a handle says it is: its attributes and, for a reparse point, its tag
// (FileAttributeTagInformation, XP on). The handle's answer is the one that
// holds while it is open; tests replace the query.
struct HandleAttributes {
    DWORD attributes;
    DWORD reparseTag;
};
extern bool (*queryHandleAttributes)(HANDLE handle, HandleAttributes* answer);

// A link is a reparse point whose tag is a name surrogate: a mount point
// (junction) or a symbolic link. Cloud placeholders, common in a synced
// Desktop or Documents folder, are reparse points too, but no links.
bool isLink(const HandleAttributes& answer);

// The folder at path, held; not held when the name is a link (a junction or
// a symbolic link), not a folder, missing (unless it may be
// made), or cannot be opened. A folder someone else holds open without delete
// sharing is still held, only it cannot be removed.
HeldFolder holdFolder(const wchar_t* path, FolderUse use);

// A new file of that name in the held folder, opened for reading and writing,
// shared with nobody and deleted when its handle closes, even when the process
// dies. Whatever had the name before (read-only or not) (a file, a hard link or a symbolic link)
// is removed, never opened, written or followed; a name still pending
// deletion is waited for, about a second at most. INVALID_HANDLE_VALUE when
// the file cannot be made.
HANDLE createFileInHeld(HANDLE folder, const wchar_t* name);

// The file of that name in the held folder, made when missing, opened for
// appending only and shared for reading and writing; a link of that name is
// opened as itself, never followed. INVALID_HANDLE_VALUE when it cannot be
// opened.
HANDLE appendFileInHeld(HANDLE folder, const wchar_t* name);
