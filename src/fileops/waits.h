// Waiting out another program's brief hold on a file: a virus scanner, an
// indexer or a backup opens a file that was just written and keeps it for a
// moment without sharing it.
#pragma once

#include <windows.h>

#include <string>

namespace fileio {

// What a file operation lets happen while it waits for another program to let
// go of a file: the window keeps answering.
class Waiter {
public:
    // Lets every pending window event run once.
    virtual void EventsService() = 0;

protected:
    ~Waiter() = default;
};

// A waiter for callers without a window: it only waits.
Waiter& NoWindow();

// Whether `error`, met on `path`, may be another program's brief hold on the
// file. Access denied counts only for a file that is not read-only and not a
// folder: those are refused for good.
bool MayBeHeld(DWORD error, const std::wstring& path);

// Milliseconds from the tick count `from` to `to`. The 32-bit count wraps to
// 0 every 49.7 days; the unsigned difference is right across the wrap for
// any span shorter than that.
constexpr DWORD TicksBetween(DWORD from, DWORD to) { return to - from; }

// Milliseconds since the tick count `from` (a GetTickCount).
inline DWORD MsSince(DWORD from) { return TicksBetween(from, ::GetTickCount()); }

// Waits that grow from 10 ms to 500 ms, about 3 s in all, servicing the
// window meanwhile.
class Backoff {
public:
    // Waits once; false, without waiting, when the time is up.
    bool Wait(Waiter& waiter);

private:
    bool started_ = false;
    DWORD start_ = 0;  // GetTickCount at the first wait
    DWORD next_ = 10;
};

// Runs `attempt` (which returns a Win32 error code) again while it fails
// because another program holds `path`, for about 3 s; any other outcome is
// returned at once. Nothing waits when nothing holds the file.
template <typename Attempt>
DWORD Retried(const std::wstring& path, Waiter& waiter, Attempt attempt) {
    Backoff backoff;
    for (;;) {
        const DWORD error = attempt();
        if (error == ERROR_SUCCESS || !MayBeHeld(error, path) || !backoff.Wait(waiter)) return error;
    }
}

// The error code of a Win32 call's result.
inline DWORD Status(BOOL ok) { return ok ? ERROR_SUCCESS : ::GetLastError(); }

}  // namespace fileio
