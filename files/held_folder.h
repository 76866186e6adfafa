// Both programs run elevated from a folder that ordinary users may write to.
// What they make, write and delete there is reached through a handle held on
// the folder, never through the folder's path again: a path can be bent to
// another place by whoever may rename or replace what it names, a held handle
// cannot.
#pragma once

#include "system/owned.h"

#include <windows.h>
#include <winternl.h>

// A folder opened as itself, shared without delete, so that nobody can move,
// rename or replace it while it is held. The handle is closed with its
// holder; it is never copied.
class HeldFolder {
  public:
    HeldFolder() = default;
    explicit HeldFolder(HANDLE folder) : handle(folder) {}

    bool held() const { return bool(handle); }
    HANDLE get() const { return handle.get(); }
    // Removes the folder through the handle when nothing is in it (a folder
    // that still holds something stays), and lets it go.
    void remove();

  private:
    OwnedFile handle;
};

enum class FolderUse {
    existing, // only a folder that is there, never removed
    own,      // made when missing, and removed at the end
};

// The native calls of files/, replaceable by tests: the seam sits at the
// level of the information classes, so that a test can have one class
// refused, as a file system does, and the fallback runs.
typedef NTSTATUS(NTAPI* FileInformationFunction)(HANDLE file, PIO_STATUS_BLOCK status,
                                                 PVOID information, ULONG length,
                                                 FILE_INFORMATION_CLASS informationClass);
struct FileSystemCalls {
    FileInformationFunction queryInformationFile;
    FileInformationFunction setInformationFile;
    DWORD (*getFileAttributes)(const wchar_t* path);
    HANDLE (*findFirstFile)(const wchar_t* path, WIN32_FIND_DATAW* found);
};
FileSystemCalls realFileSystemCalls();
// The calls in use; both programs' resets put the real ones back.
extern FileSystemCalls fileSystemCalls;

// What a handle says it is: its attributes and, for a reparse point, its tag;
// a reparse point whose tag cannot be had has the tag 0. The handle's answer
// is the one that holds while it is open.
struct HandleAttributes {
    DWORD attributes;
    DWORD reparseTag;
};
// FileAttributeTagInformation where the file system answers it. FAT32 and
// exFAT do not (Microsoft's published FAT driver has no case for the class,
// and answers STATUS_INVALID_PARAMETER), and network shares may refuse it:
// there FileBasicInformation's attributes stand, without a tag.
bool queryHandleAttributes(HANDLE handle, HandleAttributes* answer);

// A link is a reparse point whose tag is a name surrogate: a mount point
// (junction) or a symbolic link, or one whose tag cannot be had. Cloud
// placeholders, common in a synced Desktop or Documents folder, are reparse
// points too, but no links.
bool isLink(const HandleAttributes& answer);

// The folder at path, held; not held when the name is a link (a junction or
// a symbolic link), not a folder, missing (unless it may be
// made), or cannot be opened. A folder someone else holds open without delete
// sharing is still held, only it cannot be removed.
HeldFolder holdFolder(const wchar_t* path, FolderUse use);

// A new file of that name in the held folder, opened for reading and writing,
// shared with nobody and deleted when its handle closes, even when the process
// dies. Whatever had the name before (a file, a hard link or a symbolic link)
// is removed, never written or followed, and no other name's file is changed:
// a read-only name is deleted as it is where the system can, its attribute
// cleared only when it is the file's one name, and otherwise it is renamed
// out of the way within the folder. A name still pending deletion is waited
// for, about a second at most. INVALID_HANDLE_VALUE when the file cannot be
// made.
HANDLE createFileInHeld(HANDLE folder, const wchar_t* name);

// The file of that name in the held folder, made when missing, opened for
// appending only and shared for reading and writing; a link of that name is
// opened as itself, never followed. A reparse point that is no link (a cloud
// placeholder) is opened again through its filter, and only while it is the
// same file. INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE appendFileInHeld(HANDLE folder, const wchar_t* name);
