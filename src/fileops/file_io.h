// Reading files whole, and writing them so that they are never half-written:
// the new content goes to a temporary file beside the target, which then
// replaces the target in one step. Every function returns a Win32 error code,
// ERROR_SUCCESS when it worked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "handles.h"
#include "long_path.h"

namespace fileio {

// The temporary file that stands beside `target` while it is being written.
// Always the same name for the same target, so a file left behind by a killed
// run is taken over and removed by the next run that writes that target.
std::wstring TempPathFor(const std::wstring& target);

// Removes a temporary file of `target` left behind by an interrupted run.
void RemoveStaleTemp(const std::wstring& target);

// The kept copy of what stood at `target` before the install replaced it:
// the user's own file, given back by the uninstall. One fixed name per
// target, so the first kept copy is never overwritten by a later install.
std::wstring KeptPathFor(const std::wstring& target);

// Whether the name is that of a temporary file of ours.
bool IsTempName(std::wstring_view name);

// The target whose kept copy `path` is, or nothing when it is not a kept copy.
std::optional<std::wstring> TargetOfKept(std::wstring_view path);

// Puts the kept copy of `target` back in its place, in one step. ERROR_SUCCESS
// with `restored` false when there is no kept copy; a read-only target is
// refused, as Windows itself would refuse to replace it.
DWORD PutBackKept(const std::wstring& target, bool& restored);

// Whether the file at `path` exists (as a file, not a folder).
bool FileExists(const std::wstring& path);

// Deletes a file; ERROR_SUCCESS also when it was not there. A read-only file
// is refused with ERROR_ACCESS_DENIED, as on Windows (Wine run as root would
// delete it).
DWORD DeleteIfPresent(const std::wstring& path);

// Whether an error means the file or a folder on its path is not there.
inline bool IsMissingPathError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens a file to read it from start to end, letting others read, write and
// delete it meanwhile.
win::UniqueFile OpenForReading(const std::wstring& path);

// Whether the two files hold the same bytes. Anything unreadable counts as
// different.
bool SameBytes(const std::wstring& a, const std::wstring& b);

// Reads a whole file. Files larger than `maxSize` bytes are refused with
// ERROR_FILE_TOO_LARGE, and a file that does not fit in memory gives
// ERROR_NOT_ENOUGH_MEMORY.
DWORD ReadWholeFile(const std::wstring& path, std::string& content,
                    uint64_t maxSize = UINT64_MAX);

// Builds the new content of one file beside it and swaps it in on Commit.
// Until Commit succeeds the target is untouched; a writer destroyed before
// that removes its temporary file.
class ReplacingWriter {
public:
    explicit ReplacingWriter(std::wstring target);
    ~ReplacingWriter();
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    DWORD Open();
    DWORD Write(std::string_view bytes);
    // Puts the new file at the target. An old file there is replaced, after
    // the new content is on the disk; a read-only one is refused with
    // ERROR_ACCESS_DENIED (Windows would refuse to replace it; Wine run as
    // root would not, and the program must behave the same on both). With
    // keepOld, the old file is first kept under KeptPathFor(target), unless
    // a kept copy is there already or its bytes are the new ones. A kill at
    // any moment leaves the old file or the new one at the target, and the
    // kept copy absent or whole.
    DWORD Commit(bool keepOld = false);

private:
    void Discard();
    DWORD ReplaceOld(bool keepOld);

    // Both as the file APIs take them.
    std::wstring target_;
    std::wstring temp_;
    // The target as it was given, for the name of its kept copy.
    std::wstring given_;
    win::UniqueFile file_;
};

DWORD WriteFileReplacing(const std::wstring& target, std::string_view content);

// Makes every write through ReplacingWriter fail with ERROR_DISK_FULL once this
// many more bytes have been written, as a full disk would. A negative budget,
// the default, turns the fault off. Only tests set it.
void SetWriteBudgetForTesting(int64_t bytes);

}  // namespace fileio
