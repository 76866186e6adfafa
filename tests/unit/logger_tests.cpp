// Tessig's history path against memory that ends where its buffer does
// (the rest of the logger's pure rules are in tests/pure).
#include "logger/history_file.h"
#include "logger/logger.h"
#include "logger/startup_rules.h"
#include "gpu/discovery.h"
#include "gpu/nvml.h"
#include "files/held_folder.h"
#include "nvapi/binding.h"

#include "temp_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <tuple>

namespace {

// A temporary folder of a test's own, made at the start and removed with
// whatever is left in it at the end.
struct TestFolder {
    std::wstring path;
    explicit TestFolder(const wchar_t* name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path = temp + std::wstring(name);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TestFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more;
             more = FindNextFileW(search, &found)) {
            const std::wstring file = path + L"\\" + found.cFileName;
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        FindClose(search);
        RemoveDirectoryW(path.c_str());
    }
    std::string read(const wchar_t* name) const {
        HANDLE file = CreateFileW((path + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        char text[256] = {};
        DWORD length = 0;
        ReadFile(file, text, sizeof text, &length, nullptr);
        CloseHandle(file);
        return std::string(text, length);
    }
};

TEST(StartupChecks, HistoryPathFitsOrIsSkipped) {
    EXPECT_EQ(L"C:\\work/log/history.csv", historyPathFor(L"C:\\work"));
    std::wstring longest(244, L'a');
    EXPECT_EQ(longest + L"/log/history.csv", historyPathFor(longest.c_str()));
    std::wstring tooLong(245, L'a');
    EXPECT_EQ(L"", historyPathFor(tooLong.c_str()));
    // A full buffer without terminator, ending where readable memory ends:
    // reading one byte past it faults.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    char* pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_TRUE(pages);
    DWORD previous = 0;
    ASSERT_TRUE(
        VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &previous));
    wchar_t* unterminated = reinterpret_cast<wchar_t*>(pages + system.dwPageSize) - workDirSize;
    std::wmemset(unterminated, L'b', workDirSize);
    EXPECT_EQ(L"", historyPathFor(unterminated)) << "never read past the buffer";
    VirtualFree(pages, 0, MEM_RELEASE);
    EXPECT_EQ(L"", historyPathFor(L"")) << "no directory captured: not the drive's root";
}

// The header goes only into a plain file of one name that lies in the held
// "log" folder: a second name of a protected file, or a file that is not in
// that folder, is refused.
TEST(HistoryFile, OnlyTheFolderOwnSingleNamedFile) {
    const TestFolder log(L"tessig-log"), elsewhere(L"tessig-elsewhere");
    const std::wstring own = log.path + L"\\history.csv", other = elsewhere.path + L"\\other.csv",
                       linked = log.path + L"\\linked.csv";
    for (const std::wstring& path : {own, other})
        CloseHandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(CreateHardLinkW(linked.c_str(), other.c_str(), nullptr));
    const HeldFolder folder = holdFolder(log.path.c_str(), FolderUse::existing);
    for (auto [path, name, accepted] : {std::tuple{own, L"history.csv", true},
                                        {own, L"other.csv", false},
                                        {other, L"history.csv", false},
                                        {linked, L"linked.csv", false}}) {
        HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(accepted, isOwnHistoryFile(folder.get(), file, name)) << path.c_str();
        CloseHandle(file);
    }
}

// Opened through the held folder's handle, not by a path: the folder is moved
// away (its handle lets it) and another "log" put in its place.
TEST(HistoryFile, OpenedRelativeToTheHeldFolder) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring log = temp + std::wstring(L"tessig-held"), moved = log + L"-moved";
    ASSERT_TRUE(CreateDirectoryW(log.c_str(), nullptr));
    HANDLE folder = CreateFileW(log.c_str(), FILE_LIST_DIRECTORY, 7, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr); // shared with all
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    ASSERT_TRUE(MoveFileW(log.c_str(), moved.c_str()));
    ASSERT_TRUE(CreateDirectoryW(log.c_str(), nullptr));
    appendToHistory(folder, L"history.csv", "header\r\n", 8);
    CloseHandle(folder);
    // Wine keeps a moved folder's old name for its handle's final path, so the
    // final-path check keeps the text out here; where it lands is what counts.
    EXPECT_TRUE(DeleteFileW((moved + L"\\history.csv").c_str()));
    EXPECT_FALSE(DeleteFileW((log + L"\\history.csv").c_str()));
    RemoveDirectoryW(moved.c_str());
    RemoveDirectoryW(log.c_str());
}

// The information a case plays in place of the file system's own answers.
struct Played {
    NTSTATUS tagStatus = 0;    // the tag query refused with this, when not 0
    DWORD addedAttributes = 0; // added to the answers for what is no folder
    DWORD folderTag = 0;       // a tag answered for folders, as reparse points
    enum { ownIds, changingIds, noIds } ids = ownIds; // what the id queries answer
};
Played played;

NTSTATUS NTAPI playedQuery(HANDLE handle, PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                           FILE_INFORMATION_CLASS informationClass) {
    static LONGLONG idChange = 0;
    if (informationClass == FileAttributeTagInformation && played.tagStatus)
        return played.tagStatus;
    const NTSTATUS answer = realFileSystemCalls().queryInformationFile(handle, status, information,
                                                                       length, informationClass);
    DWORD* attributes =
        informationClass == FileAttributeTagInformation
            ? &static_cast<FILE_ATTRIBUTE_TAG_INFORMATION*>(information)->FileAttributes
        : informationClass == FileBasicInformation
            ? &static_cast<FILE_BASIC_INFORMATION*>(information)->FileAttributes
            : nullptr;
    if (attributes && !(*attributes & FILE_ATTRIBUTE_DIRECTORY))
        *attributes |= played.addedAttributes;
    if (attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) && played.folderTag) {
        *attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        static_cast<FILE_ATTRIBUTE_TAG_INFORMATION*>(information)->ReparseTag = played.folderTag;
    }
    auto& id = static_cast<FILE_INTERNAL_INFORMATION*>(information)->IndexNumber.QuadPart;
    if (informationClass == FileInternalInformation && played.ids != Played::ownIds)
        id = played.ids == Played::noIds ? 0 : id + ++idChange;
    return answer;
}

constexpr DWORD cloudTag = 0x9000001A; // IO_REPARSE_TAG_CLOUD, no name surrogate

// The held handle's answer decides, whatever the look-up by name saw: a mount
// point or a symbolic link is refused, a cloud placeholder (no link) is held.
// The look-up by name reads a tag only where its entry is a reparse point.
TEST(HistoryFile, TheHandleTellsALink) {
    const TestFolder log(L"tessig-tag");
    played = {};
    fileSystemCalls.queryInformationFile = playedQuery;
    for (auto [tag, held] : {std::pair{DWORD(IO_REPARSE_TAG_MOUNT_POINT), false},
                             {DWORD(IO_REPARSE_TAG_SYMLINK), false},
                             {cloudTag, true}}) {
        played.folderTag = tag;
        EXPECT_EQ(held, holdFolder(log.path.c_str(), FolderUse::existing).held())
            << std::hex << tag;
    }
    played.folderTag = 0;
    // The name looked like a reparse point, its entry is none: what the entry
    // leaves in its reserved word is no tag.
    fileSystemCalls.getFileAttributes = [](const wchar_t*) -> DWORD {
        return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    };
    fileSystemCalls.findFirstFile = [](const wchar_t* path, WIN32_FIND_DATAW* found) {
        HANDLE search = FindFirstFileW(path, found);
        found->dwReserved0 = IO_REPARSE_TAG_SYMLINK;
        return search;
    };
    EXPECT_TRUE(holdFolder(log.path.c_str(), FolderUse::existing).held());
}

// A FAT32 or exFAT drive answers no tag query. The folder is held and the
// history written all the same, from the basic attributes; a reparse point
// whose tag cannot be had is still a link, and any other refusal no answer.
TEST(HistoryFile, WrittenWhereTheFileSystemHasNoTags) {
    const TestFolder log(L"tessig-fat");
    played = {};
    fileSystemCalls.queryInformationFile = playedQuery;
    const NTSTATUS invalidParameter = NTSTATUS(0xC000000D), accessDenied = NTSTATUS(0xC0000022);
    struct Case {
        NTSTATUS refusal;
        DWORD added;
        bool written;
    } cases[] = {{invalidParameter, 0, true},
                 {NTSTATUS(0xC0000003) /* invalid information class */, 0, true},
                 {NTSTATUS(0xC0000002) /* not implemented */, 0, true},
                 {NTSTATUS(0xC00000BB) /* not supported */, 0, true},
                 {NTSTATUS(0xC0000010) /* invalid device request */, 0, true},
                 {invalidParameter, FILE_ATTRIBUTE_REPARSE_POINT, false},
                 {accessDenied, 0, false}};
    std::string expected;
    for (const Case& c : cases) {
        played.tagStatus = c.refusal;
        played.addedAttributes = c.added;
        const HeldFolder folder = holdFolder(log.path.c_str(), FolderUse::existing);
        if (folder.held())
            appendToHistory(folder.get(), L"history.csv", "line\r\n", 6);
        expected += c.written ? "line\r\n" : "";
        EXPECT_EQ(expected, log.read(L"history.csv")) << std::hex << c.refusal;
    }
}

// A cloud placeholder is written through the filter that serves it, and only
// while the name opened again is the file first opened, which a file system
// without file ids cannot tell.
TEST(HistoryFile, APlaceholderIsWrittenThroughItsFilter) {
    const TestFolder log(L"tessig-cloud");
    played = {};
    played.addedAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    fileSystemCalls.queryInformationFile = [](HANDLE handle, PIO_STATUS_BLOCK status,
                                              PVOID information, ULONG length,
                                              FILE_INFORMATION_CLASS informationClass) {
        const NTSTATUS answer = playedQuery(handle, status, information, length, informationClass);
        auto* tagged = static_cast<FILE_ATTRIBUTE_TAG_INFORMATION*>(information);
        if (informationClass == FileAttributeTagInformation &&
            !(tagged->FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            tagged->ReparseTag = cloudTag;
        return answer;
    };
    const HeldFolder folder = holdFolder(log.path.c_str(), FolderUse::existing);
    for (auto ids : {Played::ownIds, Played::changingIds, Played::noIds}) {
        played.ids = ids;
        appendToHistory(folder.get(), L"history.csv", "line\r\n", 6);
    }
    EXPECT_EQ("line\r\n", log.read(L"history.csv"));
}

// A leftover is removed by its name alone. A second name of a read-only file
// elsewhere leaves that file read-only; a read-only file of one name goes.
// The new file is made either way.
TEST(HeldFolder, ALeftoverNameGoesAndItsFileStaysAsItWas) {
    const TestFolder skin(L"parlex-skin"), elsewhere(L"parlex-elsewhere");
    const std::wstring leftover = skin.path + L"\\imgTemp_", kept = elsewhere.path + L"\\kept";
    for (bool linked : {true, false}) {
        CloseHandle(CreateFileW(kept.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_READONLY, nullptr));
        if (linked)
            ASSERT_TRUE(CreateHardLinkW(leftover.c_str(), kept.c_str(), nullptr));
        else
            ASSERT_TRUE(MoveFileW(kept.c_str(), leftover.c_str()));
        const HeldFolder folder = holdFolder(skin.path.c_str(), FolderUse::own);
        HANDLE made = createFileInHeld(folder.get(), L"imgTemp_");
        EXPECT_NE(INVALID_HANDLE_VALUE, made) << linked;
        CloseHandle(made);
        const DWORD attributes = GetFileAttributesW(kept.c_str());
        EXPECT_TRUE(!linked || (attributes != INVALID_FILE_ATTRIBUTES &&
                                (attributes & FILE_ATTRIBUTE_READONLY)));
        SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(kept.c_str());
    }
}

// The Program Files folders are the registered ones: an inherited
// %ProgramW6432% or %ProgramFiles%, which any parent sets, names none of
// NVML's places nor of the folders a registered driver may lie in.
TEST(NvmlPlaces, NeverFromTheEnvironment) {
    wchar_t saved[2][MAX_PATH] = {};
    const wchar_t* names[] = {L"ProgramW6432", L"ProgramFiles"};
    for (int i = 0; i < 2; ++i) {
        GetEnvironmentVariableW(names[i], saved[i], MAX_PATH);
        SetEnvironmentVariableW(names[i], L"C:\\planted");
    }
    const std::vector<std::wstring> places = nvmlPlaces();
    EXPECT_EQ(2u, places.size());
    for (const std::wstring& place : places)
        EXPECT_EQ(std::wstring::npos, place.find(L"planted"));
    const std::vector<std::string> folders = nvapi::realSystemCalls().programFilesFolders();
    EXPECT_FALSE(folders.empty());
    for (const std::string& folder : folders)
        EXPECT_EQ(std::string::npos, folder.find("planted"));
    for (int i = 0; i < 2; ++i)
        SetEnvironmentVariableW(names[i], saved[i]);
}

// NVML numbers its devices in an order of its own: each GPU of the driver's
// list gets the device at its place on the PCI bus, and one NVML does not list
// gets -1. Only the bus record of NVML is played here; the driver is the
// simulated one.
TEST(NvmlPairing, FollowsTheBusNotTheOrder) {
    const std::string path = tempFile("scn");
    std::ofstream(path) << "[gpu]\nbus = 5\n[gpu]\nbus = 7\n[gpu]\nbus = 9\n";
    SetEnvironmentVariableA("GPUSIM_SCENARIO", path.c_str());
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    NvPhysicalGpuHandle gpus[NVAPI_MAX_PHYSICAL_GPUS] = {};
    int count = 0;
    listGpus(gpus, &count);
    ASSERT_EQ(3, count);
    static const unsigned busOfDevice[] = {9, 5};
    NvmlLibrary nvml = {};
    nvml.deviceGetCount = [](unsigned* devices) { return *devices = 2, NvmlReturn::success; };
    nvml.deviceGetHandleByIndex = [](unsigned index, NvmlDevice* device) {
        *device = reinterpret_cast<NvmlDevice>(const_cast<unsigned*>(&busOfDevice[index]));
        return NvmlReturn::success;
    };
    nvml.deviceGetPciInfo = [](NvmlDevice device, NvmlPciInfo* record) {
        record->bus = *reinterpret_cast<unsigned*>(device);
        return NvmlReturn::success;
    };
    int index[3] = {};
    pairNvmlDevices(nvml, gpus, count, index);
    EXPECT_EQ(1, index[0]);
    EXPECT_EQ(-1, index[1]) << "not listed by NVML";
    EXPECT_EQ(0, index[2]);
    DeleteFileA(path.c_str());
}

// Tessig's start-up on the simulated driver, each scenario in a process of
// its own (the driver reads its scenario once): TCC GPUs after the others, a
// list cut at eight, TCC GPUs also when the ordinary enumeration fails, and
// the messages of a start that cannot go on.
TEST(LoggerStart, TheRulesOnTheDriver) {
    struct Case {
        const char* scenario;
        const wchar_t* failure;
        int count = 0;
        const wchar_t *first = nullptr, *last = nullptr;
    } cases[] = {
        {"[gpu]\nname = C\ntcc = yes\n[gpu]\nname = G\n", nullptr, 2, L"G", L"C"},
        {"[gpu]\nname = G\nrepeat = 9\n", nullptr, 8, L"G", L"G"},
        {"[gpu]\n[gpu]\nname_status = -5\n", L"GPU名を取得できません\n"},
        {"enum_status = -6\n[gpu]\nname = C\ntcc = yes\n", nullptr, 1, L"C", L"C"},
        {"initialize_status = -6\n[gpu]\n", L"NvAPIの初期化に失敗しました\n"},
    };
    const std::string path = tempFile("scn");
    SetEnvironmentVariableA("GPUSIM_SCENARIO", path.c_str());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const Case& c : cases) {
        std::ofstream(path) << c.scenario;
        auto same = [](const wchar_t* a, const wchar_t* b) {
            return a == b || (a && b && std::wcscmp(a, b) == 0);
        };
        EXPECT_EXIT(std::exit(same(startLogger(), c.failure) &&
                                      (c.failure || (tessig.gpuCount == c.count &&
                                                     same(tessig.gpuNames[0], c.first) &&
                                                     same(tessig.gpuNames[c.count - 1], c.last)))
                                  ? 0
                                  : 1),
                    ::testing::ExitedWithCode(0), "")
            << c.scenario;
    }
    SetEnvironmentVariableA("GPUSIM_SCENARIO", nullptr);
    DeleteFileA(path.c_str());
}

} // namespace
