// Reads, for the end-to-end tests, what only Win32 can see: a mutex, a
// window's rectangle, a message box's text, a console's cells and colors.
// A few fixture commands (show a box, hold a mutex, receive a datagram) let
// the harness check itself. Output is UTF-8, one record a line.
//
//   winprobe mutex NAME                 present | absent
//   winprobe window TITLE [CLASS]       x y width height visible|hidden pid
//   winprobe message CAPTION            the box's text, with \n for line breaks
//   winprobe press CAPTION              clicks the box's first button
//   winprobe console PID                each line of PID's console: text, then
//                                       a line of attribute runs "attr:count ..."
//   winprobe capture-console SECONDS PROGRAM [ARGS]
//                                       runs PROGRAM in a console of its own,
//                                       prints "exit CODE" and the console
//   winprobe post TITLE CLASS MESSAGE WPARAM LPARAM
//                                       posts a message to that window
//   winprobe new-shell SECONDS [refuse] plays a shell that has just restarted: a
//                                       notification area of its own, "TaskbarCreated"
//                                       broadcast, then "add|modify|delete ID from
//                                       CLASS" for each icon request it gets in SECONDS;
//                                       with refuse, a busy shell that takes none
//   winprobe foreground                 class and title of the foreground window
//   winprobe moving TITLE CLASS         moving | still: whether the window's thread
//                                       is in the system's move or size loop
//   winprobe ping TITLE CLASS SECONDS   sends WM_NULL every 50 ms for SECONDS; prints
//                                       the longest answer in ms, or "hung" after 500
//   winprobe menu                       x y width height of an open popup menu
//   winprobe windows                    every top-level window: pid visible|hidden
//                                       class, then its title
//   winprobe move FROM TO               renames a file or folder as a program of
//                                       the prefix would: "moved", or "refused ERROR"
//   winprobe resources PROGRAM          its manifest and version strings
//   winprobe memory PROGRAM             pid private=BYTES working=BYTES, a line each
//   winprobe show-message CAPTION TEXT  (fixture) a MessageBoxW
//   winprobe hold-mutex NAME SECONDS    (fixture)
//   winprobe receive-udp PORT           (fixture) prints the first datagram
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

std::wstring wide(const char* text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], size);
    out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return out;
}

std::wstring windowText(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct Search {
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM data) {
    auto search = reinterpret_cast<Search*>(data);
    if (className(window) == L"#32770" && windowText(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND messageBox(const char* caption) {
    Search search{wide(caption), nullptr};
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Children {
    std::wstring wanted;
    std::vector<HWND> found;
};

BOOL CALLBACK collectChildren(HWND window, LPARAM data) {
    auto children = reinterpret_cast<Children*>(data);
    if (className(window) == children->wanted)
        children->found.push_back(window);
    return TRUE;
}

std::vector<HWND> childrenOf(HWND parent, const wchar_t* wanted) {
    Children children{wanted, {}};
    EnumChildWindows(parent, collectChildren, reinterpret_cast<LPARAM>(&children));
    return children.found;
}

int mutexCommand(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    std::printf("%s\n", mutex ? "present" : "absent");
    if (mutex)
        CloseHandle(mutex);
    return 0;
}

int windowCommand(const char* title, const char* windowClass) {
    HWND window = FindWindowW(windowClass ? wide(windowClass).c_str() : nullptr, wide(title).c_str());
    if (!window) {
        std::printf("none\n");
        return 1;
    }
    RECT rect;
    GetWindowRect(window, &rect);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("%ld %ld %ld %ld %s %lu\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top, IsWindowVisible(window) ? "visible" : "hidden", pid);
    return 0;
}

// A press on the background starts the system's move of the window; a test
// moves the pointer only once that loop runs.
int movingCommand(const char* title, const char* windowClass) {
    HWND window = FindWindowW(wide(windowClass).c_str(), wide(title).c_str());
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!window || !GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
        std::printf("none\n");
        return 1;
    }
    std::printf("%s\n", info.flags & GUI_INMOVESIZE ? "moving" : "still");
    return 0;
}

int messageCommand(const char* caption) {
    HWND box = messageBox(caption);
    if (!box) {
        std::printf("none\n");
        return 1;
    }
    for (HWND label : childrenOf(box, L"Static")) {
        std::wstring text = windowText(label);
        if (text.empty())
            continue; // the icon
        std::string out;
        for (char c : utf8(text)) {
            if (c == '\r')
                continue;
            out += c == '\n' ? std::string("\\n") : std::string(1, c);
        }
        std::printf("%s\n", out.c_str());
        return 0;
    }
    std::printf("\n");
    return 0;
}

int pressCommand(const char* caption) {
    HWND box = messageBox(caption);
    std::vector<HWND> buttons = box ? childrenOf(box, L"Button") : std::vector<HWND>();
    if (buttons.empty()) {
        std::printf("none\n");
        return 1;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(buttons[0]), BN_CLICKED),
                 reinterpret_cast<LPARAM>(buttons[0]));
    std::printf("pressed\n");
    return 0;
}

// Each line of the screen buffer up to the cursor: its text, then a line of
// attribute runs "attribute:count ...".
std::string dumpConsole(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return std::string();
    std::string out;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        std::vector<CHAR_INFO> cells(static_cast<size_t>(info.dwSize.X));
        SMALL_RECT region = {0, row, static_cast<SHORT>(info.dwSize.X - 1), row};
        ReadConsoleOutputW(screen, cells.data(), {info.dwSize.X, 1}, {0, 0}, &region);
        std::wstring text;
        std::string runs;
        WORD attribute = cells[0].Attributes;
        int count = 0;
        for (const CHAR_INFO& cell : cells) {
            text += cell.Char.UnicodeChar;
            if (cell.Attributes != attribute) {
                runs += std::to_string(attribute) + ":" + std::to_string(count) + " ";
                attribute = cell.Attributes;
                count = 0;
            }
            ++count;
        }
        runs += std::to_string(attribute) + ":" + std::to_string(count);
        out += utf8(text) + "\n" + runs + "\n";
    }
    return out;
}

int consoleCommand(const char* pidText) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AttachConsole(static_cast<DWORD>(std::strtoul(pidText, nullptr, 10)))) {
        std::fprintf(stderr, "cannot attach to the console of %s\n", pidText);
        return 1;
    }
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info)) {
        std::fprintf(stderr, "cannot read the console\n");
        return 1;
    }
    std::string out = dumpConsole(screen);
    FreeConsole();
    DWORD written = 0;
    WriteFile(output, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    return 0;
}

// Runs a console program in a console of our own, ends it after the given
// seconds if it is still running, and dumps the console like consoleCommand.
int captureConsoleCommand(const char* seconds, const std::wstring& commandLine) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AllocConsole()) {
        std::fprintf(stderr, "cannot make a console\n");
        return 1;
    }
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    SetConsoleScreenBufferSize(screen, {120, 3000});
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start the program\n");
        return 1;
    }
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::atoi(seconds) * 1000)) !=
        WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 259);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    std::string out = "exit " + std::to_string(exitCode) + "\n" + dumpConsole(screen);
    DWORD written = 0;
    WriteFile(output, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    return 0;
}

// Posts a message to a top-level window found by title and class, as the
// shell does with a notification icon's callback.
int postCommand(const char* title, const char* windowClass, const char* message,
                const char* wParam, const char* lParam) {
    HWND window = FindWindowW(wide(windowClass).c_str(), wide(title).c_str());
    if (!window) {
        std::printf("none\n");
        return 1;
    }
    PostMessageW(window, static_cast<UINT>(std::strtoul(message, nullptr, 0)),
                 static_cast<WPARAM>(std::strtoul(wParam, nullptr, 0)),
                 static_cast<LPARAM>(std::strtoul(lParam, nullptr, 0)));
    std::printf("posted\n");
    return 0;
}

bool shellRefuses;

LRESULT CALLBACK shellProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const char* kinds[] = {"add", "modify", "delete"};
        UINT id = 0;
        // Wine's record starts with the owner window (32 bits) and the id.
        if (data->cbData >= 8)
            id = reinterpret_cast<const UINT*>(data->lpData)[1];
        DWORD sender = 0;
        GetWindowThreadProcessId(reinterpret_cast<HWND>(wParam), &sender);
        std::printf("%s %u from %s\n", data->dwData < 3 ? kinds[data->dwData] : "other", id,
                    utf8(className(reinterpret_cast<HWND>(wParam))).c_str());
        std::fflush(stdout);
        return !shellRefuses;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int newShellCommand(const char* seconds, bool refuse) {
    shellRefuses = refuse;
    WNDCLASSW shellClass = {};
    shellClass.lpfnWndProc = shellProcedure;
    shellClass.hInstance = GetModuleHandleW(nullptr);
    shellClass.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&shellClass);
    HWND shell = CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    // Programs send their icons to the first notification area they find:
    // this one must come before the one that was there.
    for (int i = 0; i < 100 && FindWindowW(L"Shell_TrayWnd", nullptr) != shell; ++i) {
        SetWindowPos(shell, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        Sleep(10);
    }
    std::printf(FindWindowW(L"Shell_TrayWnd", nullptr) == shell ? "shell\n" : "shell behind\n");
    std::fflush(stdout);
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atof(seconds) * 1000);
    while (GetTickCount() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    DestroyWindow(shell);
    return 0;
}

int foregroundCommand() {
    HWND window = GetForegroundWindow();
    std::printf("%s %s\n", window ? utf8(className(window)).c_str() : "none",
                window ? utf8(windowText(window)).c_str() : "");
    return 0;
}

BOOL CALLBACK findMenu(HWND window, LPARAM data) {
    if (className(window) == L"#32768" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(data) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK listWindow(HWND window, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("%lu %s %s %s\n", pid, IsWindowVisible(window) ? "visible" : "hidden",
                utf8(className(window)).c_str(), utf8(windowText(window)).c_str());
    return TRUE;
}

// Every top-level window, for a test's report when a window is not where it
// should be.
int windowsCommand() {
    EnumWindows(listWindow, 0);
    return 0;
}

// The rectangle of an open popup menu.
int menuCommand() {
    HWND menu = nullptr;
    EnumWindows(findMenu, reinterpret_cast<LPARAM>(&menu));
    if (!menu) {
        std::printf("none\n");
        return 1;
    }
    RECT rect;
    GetWindowRect(menu, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    return 0;
}

// A program's manifest and the strings of its version block.
int resourcesCommand(const char* path) {
    std::wstring file = wide(path);
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::printf("cannot open\n");
        return 1;
    }
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (manifest) {
        const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
        std::string body(text, SizeofResource(module, manifest));
        for (char& c : body)
            if (c == '\r' || c == '\n')
                c = ' ';
        std::printf("manifest %s\n", body.c_str());
    }
    FreeLibrary(module);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    std::vector<char> info(size ? size : 1);
    if (size && GetFileVersionInfoW(file.c_str(), 0, size, info.data())) {
        struct Translation {
            WORD language, codePage;
        }* translation = nullptr;
        UINT length = 0;
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length);
        if (translation) {
            std::printf("translation %04x %u\n", translation->language, translation->codePage);
            for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName",
                                        L"FileDescription", L"OriginalFilename"}) {
                wchar_t key[128];
                swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                         translation->codePage, name);
                wchar_t* value = nullptr;
                if (VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &length) &&
                    value)
                    std::printf("%s=%s\n", utf8(name).c_str(), utf8(value).c_str());
            }
        }
    }
    return 0;
}

// Private and working-set memory of every process of that program name.
int memoryCommand(const char* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, wide(name).c_str()) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                     entry.th32ProcessID);
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        if (process && GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                            sizeof counters)) {
            std::printf("%lu private=%lu working=%lu\n", entry.th32ProcessID,
                        static_cast<unsigned long>(counters.PrivateUsage),
                        static_cast<unsigned long>(counters.WorkingSetSize));
            ++found;
        }
        if (process)
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found ? 0 : 1;
}

int showMessageCommand(const char* caption, const char* text) {
    std::wstring body = wide(text);
    for (size_t at = body.find(L"\\n"); at != std::wstring::npos; at = body.find(L"\\n"))
        body.replace(at, 2, L"\n");
    return MessageBoxW(nullptr, body.c_str(), wide(caption).c_str(), MB_OK);
}

int holdMutexCommand(const char* name, const char* seconds) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(seconds) * 1000));
    CloseHandle(mutex);
    return 0;
}

int moveCommand(const char* from, const char* to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0)) {
        std::printf("moved\n");
        return 0;
    }
    std::printf("refused %lu\n", GetLastError());
    return 1;
}

int receiveUdpCommand(const char* port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    SOCKET listener = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::printf("cannot bind\n");
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    char buffer[512] = {};
    int received = recv(listener, buffer, sizeof buffer - 1, 0);
    std::printf("%d %s\n", received, buffer);
    closesocket(listener);
    WSACleanup();
    return 0;
}

} // namespace

namespace {

int pingCommand(const char* title, const char* windowClass, const char* seconds) {
    HWND window = FindWindowW(wide(windowClass).c_str(), wide(title).c_str());
    if (!window)
        return 1;
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atof(seconds) * 1000);
    DWORD longest = 0;
    while (GetTickCount() < end) {
        const DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 500, &result)) {
            std::printf("hung\n");
            return 0;
        }
        longest = std::max(longest, GetTickCount() - start);
        Sleep(50);
    }
    std::printf("%lu\n", static_cast<unsigned long>(longest));
    return 0;
}

} // namespace

int main() {
    // Arguments come from the wide command line: the narrow one loses every
    // character outside the ANSI code page.
    int argc = 0;
    LPWSTR* wideArgs = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(utf8(wideArgs[i]));
    std::vector<const char*> argvList;
    for (const std::string& arg : args)
        argvList.push_back(arg.c_str());
    const char* const* argv = argvList.data();
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "mutex" && argc == 3)
        return mutexCommand(argv[2]);
    if (command == "window" && (argc == 3 || argc == 4))
        return windowCommand(argv[2], argc == 4 ? argv[3] : nullptr);
    if (command == "message" && argc == 3)
        return messageCommand(argv[2]);
    if (command == "press" && argc == 3)
        return pressCommand(argv[2]);
    if (command == "console" && argc == 3)
        return consoleCommand(argv[2]);
    if (command == "capture-console" && argc >= 4) {
        // Everything after the seconds, as it stood on our command line.
        std::wstring rest;
        for (int i = 3; i < argc; ++i)
            rest += (i > 3 ? L" \"" : L"\"") + std::wstring(wideArgs[i]) + L"\"";
        return captureConsoleCommand(argv[2], rest);
    }
    if (command == "post" && argc == 7)
        return postCommand(argv[2], argv[3], argv[4], argv[5], argv[6]);
    if (command == "resources" && argc == 3)
        return resourcesCommand(argv[2]);
    if (command == "memory" && argc == 3)
        return memoryCommand(argv[2]);
    if (command == "new-shell" && (argc == 3 || (argc == 4 && args[3] == "refuse")))
        return newShellCommand(argv[2], argc == 4);
    if (command == "ping" && argc == 5)
        return pingCommand(argv[2], argv[3], argv[4]);
    if (command == "moving" && argc == 4)
        return movingCommand(argv[2], argv[3]);
    if (command == "foreground" && argc == 2)
        return foregroundCommand();
    if (command == "menu" && argc == 2)
        return menuCommand();
    if (command == "windows" && argc == 2)
        return windowsCommand();
    if (command == "show-message" && argc == 4)
        return showMessageCommand(argv[2], argv[3]);
    if (command == "hold-mutex" && argc == 4)
        return holdMutexCommand(argv[2], argv[3]);
    if (command == "move" && argc == 4)
        return moveCommand(argv[2], argv[3]);
    if (command == "receive-udp" && argc == 3)
        return receiveUdpCommand(argv[2]);
    std::fprintf(stderr, "usage: winprobe mutex|window|windows|message|press|console|"
                         "capture-console|post|new-shell|foreground|moving|menu|resources|memory|show-message|"
                         "hold-mutex|move|receive-udp ARGS\n");
    return 2;
}
