// The small file operations every part of the program shares: looking,
// reading, renaming and deleting. Each returns a Win32 error code,
// ERROR_SUCCESS when it worked, and waits out another program's brief hold.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "handles.h"
#include "waits.h"

namespace fileio {

// Whether an error means the file or a folder on its path is not there.
inline bool IsMissingPathError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Whether an error means the disk has no room left.
inline bool IsDiskFullError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// A file's size from the two halves the file APIs give it in.
inline uint64_t FileSize(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// Calls query(buffer, size), which answers as the system's path queries do
// (the length without the NUL, or the size needed when the buffer is too
// small), with a buffer that grows until the answer fits, so a path of any
// length is read whole; "" when the query fails.
template <typename Query>
std::wstring AskOs(Query query) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::wstring();
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(static_cast<size_t>(n) + 1);
    }
}

// Whether the file at `path` exists (as a file, not a folder).
bool FileExists(const std::wstring& path);

// Whether the folder at `path` exists.
bool FolderExists(const std::wstring& path);

// Deletes a file; ERROR_SUCCESS also when it was not there. A read-only file
// is refused with ERROR_ACCESS_DENIED, as on Windows (Wine run as root would
// delete it).
DWORD DeleteIfPresent(const std::wstring& path, Waiter& waiter = NoWindow());

// Removes a folder; it fails, as it should, while the folder holds anything.
DWORD RemoveFolder(const std::wstring& path, Waiter& waiter = NoWindow());

// The following take paths as the file APIs take them (fileio::LongPath).

// Deletes a file, waiting out a hold.
DWORD Delete(const std::wstring& path, Waiter& waiter);

// MoveFileExW written through, waiting out a hold on `to`.
DWORD Rename(const std::wstring& from, const std::wstring& to, DWORD flags, Waiter& waiter);

// Opens a file of ours to flush it, or to write it from the start.
win::UniqueFile OpenForWriting(const std::wstring& path, DWORD disposition, Waiter& waiter);

// Opens a file to read it from start to end, letting others read, write and
// delete it meanwhile.
win::UniqueFile OpenForReading(const std::wstring& path);

// Reads as much as fits into `buffer`, fewer bytes only at the end.
bool ReadFull(HANDLE file, char* buffer, DWORD size, DWORD& got);

// Whether the two files hold the same bytes. Anything unreadable counts as
// different.
bool SameBytes(const std::wstring& a, const std::wstring& b);

// Reads a whole file. Files larger than `maxSize` bytes are refused with
// ERROR_FILE_TOO_LARGE, and a file that does not fit in memory gives
// ERROR_NOT_ENOUGH_MEMORY.
DWORD ReadWholeFile(const std::wstring& path, std::string& content,
                    uint64_t maxSize = UINT64_MAX);

}  // namespace fileio
