// Why a start of Parlex did not come through, as each step of it reports.
#pragma once

// The text of its box; where quiet, a text for a debugger alone. Empty: the
// step came through.
struct StartFailure {
    const wchar_t* text = nullptr;
    bool quiet = false;
    explicit operator bool() const { return text != nullptr; }
};
