#include "files/held_folder.h"
#include "system/loading.h"

#include <winternl.h>

#include <cwchar>

namespace {

typedef NTSTATUS(NTAPI* CreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                            PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                            ULONG, PVOID, ULONG);
typedef NTSTATUS(NTAPI* SetInformationFunction)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS);
typedef SetInformationFunction QueryInformationFunction;

// The native calls open a name relative to a folder handle, and mark a folder
// for deletion through one, on every Windows from XP on. Kernel32 can do
// neither before Vista, and never relative to a folder.
template <typename Function> Function native(const char* name) {
    return loadedFunction<Function>("ntdll.dll", name);
}

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
    // Never a folder, and a link is opened as itself, not followed.
    options |= FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
    if (createFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                   FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0) < 0)
        return INVALID_HANDLE_VALUE;
    return file;
}

// GetFileInformationByHandleEx has the same answer only from Vista on.
bool attributesOfHandle(HANDLE handle, HandleAttributes* answer) {
    static const auto query = native<QueryInformationFunction>("NtQueryInformationFile");
    FILE_ATTRIBUTE_TAG_INFORMATION information = {};
    IO_STATUS_BLOCK status;
    if (!query ||
        query(handle, &status, &information, sizeof information, FileAttributeTagInformation) < 0)
        return false;
    answer->attributes = information.FileAttributes;
    answer->reparseTag = information.ReparseTag;
    return true;
}

// The look-up by name: FindFirstFile gives the tag of a reparse point in
// dwReserved0. One whose tag cannot be had counts as a link.
bool namedLink(const wchar_t* path, DWORD attributes) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    FindClose(search);
    return found.dwReserved0 == 0 ||
           isLink({found.dwFileAttributes | FILE_ATTRIBUTE_REPARSE_POINT, found.dwReserved0});
}

} // namespace

bool (*queryHandleAttributes)(HANDLE handle, HandleAttributes* answer) = attributesOfHandle;

bool isLink(const HandleAttributes& answer) {
    return (answer.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsReparseTagNameSurrogate(answer.reparseTag);
}

HeldFolder holdFolder(const wchar_t* path, FolderUse use) {
    if (use == FolderUse::own)
        CreateDirectoryW(path, nullptr);
    // Some file systems tell a link only to a look-up by its name; the handle's
    // own answer below is the one that holds while the folder is held.
    const DWORD named = GetFileAttributesW(path);
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

// Removes whatever has the name: only the name goes, a hard link's other
// names and a link's target stay. A read-only file refuses deletion
// (STATUS_CANNOT_DELETE), so its attribute is cleared first, through the same
// handle.
void removeName(HANDLE folder, const wchar_t* name) {
    HANDLE previous = openIn(folder, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0);
    if (previous == INVALID_HANDLE_VALUE)
        return;
    static const auto setInformation = native<SetInformationFunction>("NtSetInformationFile");
    static const auto query = native<QueryInformationFunction>("NtQueryInformationFile");
    IO_STATUS_BLOCK status;
    FILE_BASIC_INFORMATION basic = {};
    if (setInformation && query &&
        query(previous, &status, &basic, sizeof basic, FileBasicInformation) >= 0 &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        // Zero times leave them as they are.
        FILE_BASIC_INFORMATION cleared = {};
        cleared.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (!cleared.FileAttributes)
            cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        setInformation(previous, &status, &cleared, sizeof cleared, FileBasicInformation);
    }
    BOOLEAN deleteFile = TRUE;
    if (setInformation)
        setInformation(previous, &status, &deleteFile, sizeof deleteFile,
                       FileDispositionInformation);
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
                             FILE_DELETE_ON_CLOSE);
        if (file != INVALID_HANDLE_VALUE || attempt == 20)
            return file;
        Sleep(50);
    }
}

HANDLE appendFileInHeld(HANDLE folder, const wchar_t* name) {
    return openIn(folder, name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, 0);
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (held())
            CloseHandle(handle);
        handle = other.handle;
        other.handle = INVALID_HANDLE_VALUE;
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (held())
        CloseHandle(handle);
}

void HeldFolder::remove() {
    if (!held())
        return;
    static const auto setInformation = native<SetInformationFunction>("NtSetInformationFile");
    // A folder that still holds something is refused, and stays.
    BOOLEAN deleteFile = TRUE;
    IO_STATUS_BLOCK status;
    if (setInformation)
        setInformation(handle, &status, &deleteFile, sizeof deleteFile, FileDispositionInformation);
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}
