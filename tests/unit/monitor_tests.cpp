// Parlex's window: the left-button tracker, the phases of the skin buttons,
// the check box and the window procedure driven by message sequences.
#include "monitor/app_state.h"
#include "monitor/button_logic.h"
#include "monitor/buttons.h"
#include "monitor/startup_rules.h"
#include "monitor/tray.h"
#include "monitor/window_procedure.h"
#include "monitor/face.h"
#include "monitor/notices.h"

#include <gtest/gtest.h>

#include <tuple>

#include <string>
#include <vector>

namespace {

using enum ViewKind;
using enum ImageSelector;

// What the message filter functions were asked, by the fakes below.
struct FilterRequest {
    std::string function;
    HWND window;
    UINT message;
    DWORD action;
};
std::vector<FilterRequest> filterRequests;
BOOL WINAPI fakeFilterForWindow(HWND window, UINT message, DWORD action, void*) {
    filterRequests.push_back({"ChangeWindowMessageFilterEx", window, message, action});
    return TRUE;
}
BOOL WINAPI fakeFilterForProcess(UINT message, DWORD action) {
    filterRequests.push_back({"ChangeWindowMessageFilter", nullptr, message, action});
    return TRUE;
}

TEST(Tray, TaskbarCreatedIsLetThroughTheIntegrityFilter) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    HWND window = reinterpret_cast<HWND>(0x1234);
    auto check = [&](void* (*resolve)(const char*), const char* expected, HWND expectedWindow) {
        filterRequests.clear();
        parlex.calls.resolveUser32 = resolve;
        allowTaskbarCreated(window);
        if (!expected) {
            EXPECT_TRUE(filterRequests.empty());
            return;
        }
        ASSERT_EQ(1u, filterRequests.size()) << expected;
        EXPECT_EQ(expected, filterRequests[0].function);
        EXPECT_EQ(expectedWindow, filterRequests[0].window);
        EXPECT_EQ(taskbarCreated, filterRequests[0].message);
        EXPECT_EQ(1u, filterRequests[0].action) << "MSGFLT_ALLOW / MSGFLT_ADD";
    };
    // Windows 7 and later: the window's own filter.
    check(
        [](const char* name) -> void* {
            return std::string(name) == "ChangeWindowMessageFilterEx"
                       ? reinterpret_cast<void*>(fakeFilterForWindow)
                       : reinterpret_cast<void*>(fakeFilterForProcess);
        },
        "ChangeWindowMessageFilterEx", window);
    // Vista: only the process-wide one.
    check(
        [](const char* name) -> void* {
            return std::string(name) == "ChangeWindowMessageFilter"
                       ? reinterpret_cast<void*>(fakeFilterForProcess)
                       : nullptr;
        },
        "ChangeWindowMessageFilter", nullptr);
    // XP: neither, and nothing to do.
    check([](const char*) -> void* { return nullptr; }, nullptr, nullptr);
}

TEST(StartupRules, WindowsXpAndLater) {
    EXPECT_FALSE(monitorSystemSupported(4, 10));
    EXPECT_FALSE(monitorSystemSupported(5, 0));
    EXPECT_TRUE(monitorSystemSupported(5, 1));
    EXPECT_TRUE(monitorSystemSupported(6, 0));
    EXPECT_TRUE(monitorSystemSupported(10, 0));
    // shell32 of XP, Server 2003, Vista and 7.
    for (auto [major, minor, build, vista] : {std::tuple{6u, 0u, 2900u, false},
                                              {6u, 0u, 3790u, false},
                                              {6u, 0u, 6000u, true},
                                              {6u, 1u, 7600u, true}})
        EXPECT_EQ(vista, shellKnowsVistaRecord(major, minor, build)) << build;
}

// A click of the close or tray button needs press, hold and release on it.
TEST(Poll, AButtonIsClickedWhereThePointerIs) {
    parlex.shared.appRunning = 1;
    View button({40, 40}, nullptr, Text, nullptr, 0);
    button.width = button.height = 20;
    button.absX = button.absY = 40;
    const POINT on = {41, 41}, off = {39, 40};
    for (auto [place, action] : {std::pair{&Face::closeButton, &ControlActions::close},
                                 std::pair{&Face::trayButton, &ControlActions::hideToTray}}) {
        parlex.face.*place = &button;
        auto clicks = [&, action = action](std::initializer_list<std::pair<UINT, POINT>> messages) {
            parlex.buttons = ButtonState();
            int count = 0;
            for (auto [message, at] : messages) {
                trackMouseButton(message, fastTimer);
                count += pollButtons(at).*action;
            }
            return count;
        };
        EXPECT_EQ(1, clicks({{WM_LBUTTONDOWN, on},
                             {WM_TIMER, on},
                             {WM_LBUTTONUP, on},
                             {WM_TIMER, on},
                             {WM_TIMER, on}}));
        EXPECT_EQ(
            0,
            clicks({{WM_LBUTTONDOWN, on}, {WM_TIMER, off}, {WM_LBUTTONUP, off}, {WM_TIMER, off}}));
        parlex.face.*place = nullptr;
    }
}

// The procedure on a real window, with a check box view under the pointer.
class Procedure : public ::testing::Test {
  protected:
    HWND window = nullptr;
    View* box = nullptr;

    void SetUp() override {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ProcedureTest";
        RegisterClassA(&windowClass);
        parlex.shared.appRunning = 1;
        parlex.procedureEnabled = true;
        window = CreateWindowExA(0, "ProcedureTest", "", WS_POPUP, 0, 0, 271, 141, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        parlex.phase = WindowPhase::opening; // as the message loop does on its start
        parlex.mainWindow = window;
        box = new View({0, 0}, nullptr, Text, nullptr, 0); // placed where it is made
        box->width = box->height = 14;
        parlex.face.historyCheckBox = box;
    }
    void TearDown() override {
        parlex.face.historyCheckBox = nullptr;
        delete box;
        DestroyWindow(window);
    }
    LRESULT send(UINT message, WPARAM wParam = 0) {
        return windowProcedure(window, message, wParam, 0);
    }
    void pressCheckBox(int ticks) {
        POINT onBox = {box->x + 1, box->y + 1};
        ClientToScreen(window, &onBox);
        SetCursorPos(onBox.x, onBox.y);
        send(WM_LBUTTONDOWN);
        // Pointer moves before the next tick poll again with the press
        // still just made: the latch alone keeps it to one toggle.
        send(WM_MOUSEMOVE);
        send(WM_MOUSEMOVE);
        for (int i = 0; i < ticks; ++i)
            send(WM_TIMER, fastTimer);
        send(WM_LBUTTONUP);
        send(WM_TIMER, fastTimer);
    }
};

TEST_F(Procedure, CreateStartsTheTimersAndTheLoopsFirstFastTickOpensTheControls) {
    send(WM_CREATE);
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::starting, parlex.phase) << "not before the loop runs";
    parlex.phase = WindowPhase::opening;
    send(WM_TIMER, 999);
    EXPECT_EQ(WindowPhase::opening, parlex.phase) << "an unknown timer only sets the arrow";
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::live, parlex.phase);
}

TEST_F(Procedure, CheckBoxTogglesOncePerPressAndSetsPendingOnlyWhenTicked) {
    send(WM_TIMER, fastTimer);
    pressCheckBox(200);
    EXPECT_EQ(1, parlex.shared.historyOn.load());
    EXPECT_EQ(1, parlex.shared.historyStartPending.load());
    EXPECT_EQ(SelectorPressed, box->imageSelector) << "ticked shows the pressed image";
    parlex.shared.historyStartPending = 0; // the logger control took it
    pressCheckBox(3);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    EXPECT_EQ(0, parlex.shared.historyStartPending.load()) << "unticking leaves the pending flag";
    EXPECT_EQ(SelectorAuto, box->imageSelector);
    parlex.shared.historyStartPending = 1;
    pressCheckBox(3);
    pressCheckBox(3);
    EXPECT_EQ(1, parlex.shared.historyStartPending.load());
    EXPECT_EQ(0, parlex.shared.historyOn.load());
}

// KillTimer tells whether the timer was running.
TEST_F(Procedure, TheTickRestsWhilePointerAndButtonsAreIdleAndWakesOnThePointer) {
    send(WM_TIMER, fastTimer);
    send(WM_LBUTTONDOWN);
    send(WM_TIMER, fastTimer);
    send(WM_TIMER, fastTimer);
    EXPECT_TRUE(KillTimer(window, fastTimer)) << "a press under way keeps it";
    SetTimer(window, fastTimer, 1, nullptr);
    send(WM_LBUTTONUP);
    send(WM_TIMER, fastTimer);
    send(WM_TIMER, fastTimer);
    EXPECT_FALSE(KillTimer(window, fastTimer)) << "with the button up and no press under way";
    send(WM_MOUSEMOVE);
    EXPECT_TRUE(KillTimer(window, fastTimer)) << "a pointer message wakes it";
}

// A press on the ticked box unticks it at once, and it stays so while held.
TEST_F(Procedure, AHeldPressShowsTheBoxAsThePollLeftIt) {
    parlex.face.root = std::make_unique<View>(POINT{0, 0}, nullptr, Text, nullptr, 0);
    parlex.face.root->width = 271;
    parlex.face.root->height = 141;
    View* held = new View({7, 125}, parlex.face.root.get(), Text, nullptr, 0);
    held->width = held->height = 14;
    held->absX = held->x; // where the first paint places it
    held->absY = held->y;
    held->pressedImage.pixels = new uint8_t[4]();
    parlex.face.historyCheckBox = held;
    POINT onBox = {10, 128};
    ClientToScreen(window, &onBox);
    ASSERT_TRUE(SetCursorPos(onBox.x, onBox.y));
    send(WM_TIMER, fastTimer);
    for (int press = 0; press < 2; ++press) {
        send(WM_MOUSEMOVE);
        send(WM_LBUTTONDOWN);
        send(WM_TIMER, fastTimer);
        EXPECT_EQ(press == 0 ? &held->pressedImage : &held->mainImage, &held->selectedImage());
        send(WM_LBUTTONUP);
        send(WM_TIMER, fastTimer);
    }
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.face.historyCheckBox = box;
}

TEST_F(Procedure, NothingActsAfterTheShutdownBegan) {
    send(WM_TIMER, fastTimer);
    parlex.shared.appRunning = 0;
    pressCheckBox(5);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.phase = WindowPhase::opening;
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::opening, parlex.phase);
}

TEST_F(Procedure, SwitchedOffPassesEverythingOn) {
    send(WM_TIMER, fastTimer);
    parlex.procedureEnabled = false;
    pressCheckBox(5);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.procedureEnabled = true;
}

// A notice from the sampling thread has the procedure off while it is open:
// what the box uncovers is painted with the class brush and validated. Once
// it is closed, the whole face is due again.
TEST_F(Procedure, TheWholeFaceIsDueAfterARunningNotice) {
    ShowWindow(window, SW_SHOWNA);
    parlex.calls.showMessageBox = [](HWND, const wchar_t*) {
        InvalidateRect(parlex.mainWindow, nullptr, TRUE);
        UpdateWindow(parlex.mainWindow);
    };
    showRunningNotice(L"notice");
    RECT due = {}, whole = {};
    GetClientRect(window, &whole);
    EXPECT_TRUE(GetUpdateRect(window, &due, FALSE) && EqualRect(&due, &whole));
    EXPECT_TRUE(parlex.procedureEnabled);
}

} // namespace
