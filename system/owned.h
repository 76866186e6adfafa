// What a handle holds, its holder frees: one small holder for every kind of
// handle both programs own (kernel objects, GDI+ objects, COM interfaces,
// sockets, C files), each with the function that closes it and the value
// that means "none".
#pragma once

#include <utility>

template <typename Handle> constexpr Handle noHandle() {
    return Handle{};
}

// A function gives the "none" value, since some (INVALID_HANDLE_VALUE) are
// casts that cannot be template arguments.
template <typename Handle, auto close, Handle (*none)() = noHandle<Handle>> class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle owned) : handle(owned) {}
    Owned(Owned&& other) noexcept : handle(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    explicit operator bool() const { return handle != none(); }
    Handle get() const { return handle; }
    // Where a call that makes the handle writes it; whatever was held goes
    // first.
    Handle* put() {
        reset();
        return &handle;
    }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle, none()); }
    // Closes what is held, and holds the given handle instead.
    void reset(Handle owned = none()) {
        if (handle != none())
            close(handle);
        handle = owned;
    }

  private:
    Handle handle = none();
};

#include <windows.h>

inline HANDLE invalidHandleValue() {
    return INVALID_HANDLE_VALUE;
}
// A kernel object whose failure is null (an event, a mutex, a thread).
using OwnedObject = Owned<HANDLE, CloseHandle>;
// A file or a folder, whose failure is INVALID_HANDLE_VALUE.
using OwnedFile = Owned<HANDLE, CloseHandle, invalidHandleValue>;

inline void releaseAndCloseMutex(HANDLE mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}
// A mutex made owned by the thread that holds it (an instance mutex): given
// up, then closed. Given up from another thread, or one that opened a mutex
// someone else owns, it is only closed, as ReleaseMutex then fails.
using OwnedMutex = Owned<HANDLE, releaseAndCloseMutex>;
