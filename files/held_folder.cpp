#include "files/held_folder.h"

#include "system/loading.h"

#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

typedef NTSTATUS(NTAPI* CreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                            PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                            ULONG, PVOID, ULONG);

// The answers of a file system that does not know an information class
// (Microsoft's FAT driver: STATUS_INVALID_PARAMETER), of a redirector or a
// filter that refuses it, and of a system that predates it.
constexpr NTSTATUS statusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS statusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS statusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS statusNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS statusInvalidDeviceRequest = static_cast<NTSTATUS>(0xC0000010);
constexpr NTSTATUS statusCannotDelete = static_cast<NTSTATUS>(0xC0000121);
constexpr NTSTATUS statusObjectPathSyntaxBad = static_cast<NTSTATUS>(0xC000003B);

bool classNotAnswered(NTSTATUS status) {
    return status == statusInvalidParameter || status == statusInvalidInfoClass ||
           status == statusNotImplemented || status == statusNotSupported ||
           status == statusInvalidDeviceRequest;
}

// FileDispositionInformationEx (Windows 10 1607 on) with
// FILE_DISPOSITION_IGNORE_READONLY_ATTRIBUTE (1809 on): the name goes
// whatever the file's attributes, which stay as they are.
constexpr FILE_INFORMATION_CLASS fileDispositionInformationEx =
    static_cast<FILE_INFORMATION_CLASS>(64);
constexpr ULONG fileDispositionDelete = 0x1;
constexpr ULONG fileDispositionIgnoreReadOnly = 0x10;

// The native calls open a name relative to a folder handle, and mark a folder
// for deletion through one, on every Windows from XP on. Kernel32 can do
// neither before Vista, and never relative to a folder.
template <typename Function> Function native(const char* name) {
    return loadedFunction<Function>("ntdll.dll", name);
}

// An empty name opens the file that root is open on, once more.
// Options that open a link as itself, never following it.
constexpr ULONG asItself = FILE_OPEN_REPARSE_POINT;

HANDLE openIn(HANDLE folder, const wchar_t* name, ACCESS_MASK access, ULONG share,
              ULONG disposition, ULONG options) {
    static const auto createFile = native<CreateFileFunction>("NtCreateFile");
    if (!createFile)
        return INVALID_HANDLE_VALUE;
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name);
    objectName.Length = static_cast<USHORT>(std::wcslen(name) * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status;
    HANDLE file = INVALID_HANDLE_VALUE;
    // Never a folder.
    options |= FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT;
    if (createFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                   FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0) < 0)
        return INVALID_HANDLE_VALUE;
    return file;
}

NTSTATUS call(FileInformationFunction function, HANDLE handle, void* information, ULONG length,
              FILE_INFORMATION_CLASS informationClass) {
    IO_STATUS_BLOCK status;
    return function ? function(handle, &status, information, length, informationClass)
                    : statusNotImplemented;
}

NTSTATUS query(HANDLE handle, void* information, ULONG length,
               FILE_INFORMATION_CLASS informationClass) {
    return call(fileSystemCalls.queryInformationFile, handle, information, length,
                informationClass);
}

NTSTATUS set(HANDLE handle, void* information, ULONG length,
             FILE_INFORMATION_CLASS informationClass) {
    return call(fileSystemCalls.setInformationFile, handle, information, length, informationClass);
}

// The look-up by name: FindFirstFile gives the tag of a reparse point in
// dwReserved0, which holds it only when the entry's own attributes say
// "reparse point" (Microsoft's WIN32_FIND_DATA documentation). One whose tag
// cannot be had counts as a link.
bool namedLink(const wchar_t* path, DWORD attributes) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    WIN32_FIND_DATAW found = {};
    HANDLE search = fileSystemCalls.findFirstFile(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    FindClose(search);
    return isLink({found.dwFileAttributes,
                   found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? found.dwReserved0 : 0});
}

DWORD getFileAttributes(const wchar_t* path) {
    return GetFileAttributesW(path);
}

HANDLE findFirstFile(const wchar_t* path, WIN32_FIND_DATAW* found) {
    return FindFirstFileW(path, found);
}

} // namespace

FileSystemCalls realFileSystemCalls() {
    return {
        .queryInformationFile = native<FileInformationFunction>("NtQueryInformationFile"),
        .setInformationFile = native<FileInformationFunction>("NtSetInformationFile"),
        .getFileAttributes = getFileAttributes,
        .findFirstFile = findFirstFile,
    };
}

FileSystemCalls fileSystemCalls = realFileSystemCalls();

// GetFileInformationByHandleEx has the same answers only from Vista on.
bool queryHandleAttributes(HANDLE handle, HandleAttributes* answer) {
    FILE_ATTRIBUTE_TAG_INFORMATION tagged = {};
    const NTSTATUS status = query(handle, &tagged, sizeof tagged, FileAttributeTagInformation);
    if (status >= 0) {
        *answer = {tagged.FileAttributes, tagged.ReparseTag};
        return true;
    }
    FILE_BASIC_INFORMATION basic = {};
    if (!classNotAnswered(status) || query(handle, &basic, sizeof basic, FileBasicInformation) < 0)
        return false;
    *answer = {basic.FileAttributes, 0};
    return true;
}

bool isLink(const HandleAttributes& answer) {
    return (answer.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (answer.reparseTag == 0 || IsReparseTagNameSurrogate(answer.reparseTag));
}

HeldFolder holdFolder(const wchar_t* path, FolderUse use) {
    if (use == FolderUse::own)
        CreateDirectoryW(path, nullptr);
    // Some file systems tell a link only to a look-up by its name; the handle's
    // own answer below is the one that holds while the folder is held.
    const DWORD named = fileSystemCalls.getFileAttributes(path);
    if (named == INVALID_FILE_ATTRIBUTES || namedLink(path, named))
        return HeldFolder();
    const DWORD read = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE folder = INVALID_HANDLE_VALUE;
    if (use == FolderUse::own)
        folder = CreateFileW(path, read | DELETE, share, nullptr, OPEN_EXISTING, flags, nullptr);
    // Someone else's handle that does not share delete: the folder is still
    // held against moving, only it cannot be removed at the end.
    if (folder == INVALID_HANDLE_VALUE &&
        (use == FolderUse::existing || GetLastError() == ERROR_SHARING_VIOLATION))
        folder = CreateFileW(path, read, share, nullptr, OPEN_EXISTING, flags, nullptr);
    HeldFolder held(folder);
    HandleAttributes answer = {};
    if (!held.held() || !queryHandleAttributes(folder, &answer) ||
        !(answer.attributes & FILE_ATTRIBUTE_DIRECTORY) || isLink(answer))
        return HeldFolder();
    return held;
}

namespace {

ULONG linkCount(HANDLE file) {
    FILE_STANDARD_INFORMATION standard = {};
    return query(file, &standard, sizeof standard, FileStandardInformation) >= 0
               ? standard.NumberOfLinks
               : 0;
}

// Moves a name within the held folder to one nobody uses. Read-only stops a
// delete, not a rename; the file keeps its attributes and its other names.
// A bare new name without a root renames within the file's own folder
// without opening that folder again. Windows opens the root of a rooted
// rename for writing, shared without delete, and that open would meet our
// own handle on the folder, which holds delete (Microsoft's fastfat sample,
// FatOpenTargetDirectory, checks the share access); Wine knows only the
// rooted form, and refuses the bare one as a bad path.
bool renameAside(HANDLE file, HANDLE folder, const wchar_t* name) {
    for (DWORD attempt = 0; attempt < 8; ++attempt) {
        wchar_t aside[64];
        std::swprintf(aside, 64, L"%.40ls.%08lx", name, GetTickCount() + attempt);
        const size_t length = std::wcslen(aside) * sizeof(wchar_t);
        union {
            FILE_RENAME_INFORMATION rename;
            char bytes[sizeof(FILE_RENAME_INFORMATION) + sizeof aside];
        } information = {};
        information.rename.ReplaceIfExists = FALSE;
        information.rename.RootDirectory = nullptr;
        information.rename.FileNameLength = static_cast<ULONG>(length);
        std::memcpy(information.rename.FileName, aside, length);
        NTSTATUS status = set(file, &information, sizeof information, FileRenameInformation);
        if (status == statusObjectPathSyntaxBad) {
            information.rename.RootDirectory = folder;
            status = set(file, &information, sizeof information, FileRenameInformation);
        }
        if (status >= 0)
            return true;
    }
    return false;
}

// Removes whatever has the name: only the name goes, a hard link's other
// names and a link's target stay as they are. Attributes belong to the file,
// not to the name: clearing READONLY through a planted second name of a
// protected file would change that file. The name is opened for delete
// alone, which the folder's delete-child right grants even where the file's
// own rights do not let its attributes be written.
void removeName(HANDLE folder, const wchar_t* name) {
    const ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE previous =
        openIn(folder, name, DELETE | FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN, asItself);
    if (previous == INVALID_HANDLE_VALUE)
        return;
    // Older systems, and file systems without the class (FAT), refuse it.
    ULONG flags = fileDispositionDelete | fileDispositionIgnoreReadOnly;
    NTSTATUS status = set(previous, &flags, sizeof flags, fileDispositionInformationEx);
    if (status < 0) {
        BOOLEAN deleteFile = TRUE;
        status = set(previous, &deleteFile, sizeof deleteFile, FileDispositionInformation);
    }
    // A read-only file refuses deletion (so does one mapped as an image).
    if (status == statusCannotDelete && linkCount(previous) == 1) {
        const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
        HANDLE writable = openIn(previous, L"", access, shareAll, FILE_OPEN, asItself);
        FILE_BASIC_INFORMATION basic = {};
        if (writable != INVALID_HANDLE_VALUE &&
            query(writable, &basic, sizeof basic, FileBasicInformation) >= 0 &&
            (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
            // Zero times leave them as they are.
            FILE_BASIC_INFORMATION cleared = {};
            cleared.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
            if (!cleared.FileAttributes)
                cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            BOOLEAN deleteFile = TRUE;
            if (set(writable, &cleared, sizeof cleared, FileBasicInformation) >= 0 &&
                (status =
                     set(writable, &deleteFile, sizeof deleteFile, FileDispositionInformation)) < 0)
                set(writable, &basic, sizeof basic, FileBasicInformation);
        }
        if (writable != INVALID_HANDLE_VALUE)
            CloseHandle(writable);
    }
    if (status == statusCannotDelete)
        renameAside(previous, folder, name);
    CloseHandle(previous);
}

} // namespace

HANDLE createFileInHeld(HANDLE folder, const wchar_t* name) {
    // A name still pending deletion (an indexer, a virus scanner or a backup
    // agent held the last run's file open) goes when they let it go: waited
    // for, about a second at most. Windows then refuses the open with
    // STATUS_DELETE_PENDING, Wine with a name that is still there.
    for (int attempt = 0;; ++attempt) {
        removeName(folder, name);
        HANDLE file = openIn(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                             FILE_DELETE_ON_CLOSE | asItself);
        if (file != INVALID_HANDLE_VALUE || attempt == 20)
            return file;
        Sleep(50);
    }
}

namespace {

// A file system without ids answers 0, and one that has no unique id for
// this file -1 ([MS-FSCC], FileInternalInformation): neither proves that two
// handles are on one file.
bool sameFile(HANDLE one, HANDLE other) {
    FILE_INTERNAL_INFORMATION first = {}, second = {};
    const LONGLONG& id = first.IndexNumber.QuadPart;
    return query(one, &first, sizeof first, FileInternalInformation) >= 0 &&
           query(other, &second, sizeof second, FileInternalInformation) >= 0 && id != 0 &&
           id != -1 && id == second.IndexNumber.QuadPart;
}

} // namespace

HANDLE appendFileInHeld(HANDLE folder, const wchar_t* name) {
    const ACCESS_MASK access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
    const ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = openIn(folder, name, access, share, FILE_OPEN_IF, asItself);
    HandleAttributes answer = {};
    if (file == INVALID_HANDLE_VALUE || !queryHandleAttributes(file, &answer) ||
        !(answer.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || isLink(answer))
        return file;
    // A reparse point that is no link (a cloud placeholder, a deduplicated
    // file) is served by the filter that owns its tag, which an open as itself
    // bypasses. It is opened once more through the filter, relative to the
    // held folder, and taken only if it is still the same file.
    HANDLE filtered = openIn(folder, name, access, share, FILE_OPEN, 0);
    const bool same = filtered != INVALID_HANDLE_VALUE && sameFile(file, filtered);
    CloseHandle(file);
    if (!same && filtered != INVALID_HANDLE_VALUE)
        CloseHandle(filtered);
    return same ? filtered : INVALID_HANDLE_VALUE;
}

void HeldFolder::remove() {
    if (!held())
        return;
    // A folder that still holds something is refused, and stays.
    BOOLEAN deleteFile = TRUE;
    set(handle.get(), &deleteFile, sizeof deleteFile, FileDispositionInformation);
    handle.reset();
}
