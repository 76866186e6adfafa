// Parlex's process-wide state, all of it in one place: `parlex`. What the
// sampling thread shares with the window's thread is its `shared` part; the
// rest belongs to the window's thread alone. Tests start from a clean state
// with resetParlexState.
#pragma once

#include "monitor/button_logic.h"
#include "monitor/face.h"
#include "monitor/resource_ids.h"
#include "skin/back_buffer.h"
#include "skin/skin_pack.h"
#include "skin/view.h"
#include "sampling/shared_state.h"
#include "system/owned.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <memory>

// The room for a string of the program's resources.
constexpr size_t resourceStringSize = 100;

// The window's life, in order.
enum class WindowPhase {
    noWindow, // before WM_CREATE
    starting, // the timers run; start-up has not reached the message loop
    opening,  // the loop runs; its first fast tick opens the controls
    live,     // the controls are polled
    resting,  // live, the fast tick stopped until the next pointer message
    ended,    // the shutdown ran
};

// The system calls of the window program that tests replace.
struct ParlexSystemCalls {
    // Where every box goes: MessageBoxW with caption "Parlex" and MB_OK.
    void (*showMessageBox)(HWND owner, const wchar_t* text);
    // Where allowTaskbarCreated finds the user32 functions newer than XP.
    void* (*resolveUser32)(const char* name);
};
ParlexSystemCalls realParlexSystemCalls();

struct ParlexState {
    SamplingState shared;

    // Off while a notice's box is open, whatever the phase; the sampling
    // thread's notices switch it too. Off, the window procedure passes
    // everything on.
    std::atomic<bool> procedureEnabled;
    WindowPhase phase;

    char windowTitle[resourceStringSize];
    char windowClassName[resourceStringSize];
    HWND mainWindow;
    // Held from the entry to the shutdown; a start that ends early gives it
    // up with the state, as the program leaves.
    OwnedMutex instanceMutex;
    NOTIFYICONDATAA trayIconData;
    int trayTriesLeft; // while the shell refuses the icon

    SkinPack skin;
    ButtonState buttons;
    Face face;
    BackBuffer backBuffer;
    // The view a press began on, the view under the pointer, and whether the
    // background is being dragged.
    View* pressedView;
    View* hoverView;
    bool backgroundDrag;
    // The pointer in client coordinates, where the last pointer message or
    // refresh found it: what the ticks poll the controls by. Before the
    // first, a point that no view holds.
    POINT pointer = {-1, -1};

    ParlexSystemCalls calls = realParlexSystemCalls();
};

extern ParlexState parlex;

// The state of a program that has not started, as it starts: every flag
// clear, no view, no buffer, no thread, the readings' start values, nothing
// bound of the driver, and the real system calls of every folder.
void resetParlexState();

constexpr UINT WM_TRAYICON = WM_APP + 3;
constexpr UINT_PTR fastTimer = 101;      // 1 ms: start-up gate, button tracker and poll
constexpr UINT_PTR refreshTimer = 102;   // 1000 ms: display texts and repaint
constexpr UINT_PTR trayRetryTimer = 103; // 500 ms: the icon, while the shell refuses it
constexpr int windowWidth = 271;
constexpr int windowHeight = 141;

// Resources of the program.
constexpr int titleStringId = TITLE_STRING_ID;
constexpr int classNameStringId = CLASS_NAME_STRING_ID;
constexpr int trayIconId = TRAY_ICON_ID;
constexpr int smallIconId = SMALL_ICON_ID;
constexpr int skinResourceId = SKIN_RESOURCE_ID;
