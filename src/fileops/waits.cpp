#include "waits.h"

#include <algorithm>

#include "file_ops.h"
#include "long_path.h"

namespace fileio {

namespace {

class Quiet final : public Waiter {
public:
    void EventsService() override {}
};

}  // namespace

Waiter& NoWindow() {
    static Quiet quiet;
    return quiet;
}

bool MayBeHeld(DWORD error, const std::wstring& path) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    if (error != ERROR_ACCESS_DENIED) return false;
    // A file being deleted by another program reads as access denied too,
    // and has no attributes to read meanwhile. A file that is not there is
    // held by nobody: the folder itself refuses.
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return !IsMissingPathError(::GetLastError());
    return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

bool Backoff::Wait(Waiter& waiter) {
    // Scanners hold a fresh file for tens to hundreds of milliseconds; other
    // installers wait 4 to 10 s in all. Three seconds waits out a scan
    // without making a user wait long for a file that stays locked.
    constexpr DWORD kPatienceMs = 3000;
    constexpr DWORD kLongestWaitMs = 500;
    constexpr DWORD kSliceMs = 10;
    const DWORD now = ::GetTickCount();
    if (!started_) {
        started_ = true;
        start_ = now;
    }
    const DWORD waited = TicksBetween(start_, now);
    if (waited >= kPatienceMs) return false;
    const DWORD length = std::min(next_, kPatienceMs - waited);
    next_ = std::min(next_ * 2, kLongestWaitMs);
    for (DWORD slept = 0; slept < length; slept = MsSince(now)) {
        waiter.EventsService();
        ::Sleep(std::min(kSliceMs, length - slept));
    }
    return true;
}

}  // namespace fileio
