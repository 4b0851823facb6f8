#include "file_ops.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "long_path.h"

namespace fileio {

win::UniqueFile OpenForWriting(const std::wstring& path, DWORD disposition, Waiter& waiter) {
    win::UniqueFile file;
    Retried(path, waiter, [&] {
        file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        return file ? ERROR_SUCCESS : ::GetLastError();
    });
    return file;
}

DWORD Rename(const std::wstring& from, const std::wstring& to, DWORD flags, Waiter& waiter) {
    return Retried(to, waiter, [&] {
        return Status(::MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH));
    });
}

DWORD Delete(const std::wstring& path, Waiter& waiter) {
    return Retried(path, waiter, [&] { return Status(::DeleteFileW(path.c_str())); });
}

bool ReadFull(HANDLE file, char* buffer, DWORD size, DWORD& got) {
    got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer + got, size - got, &n, nullptr)) return false;
        if (n == 0) break;
        got += n;
    }
    return true;
}

win::UniqueFile OpenForReading(const std::wstring& path) {
    return win::UniqueFile(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool SameBytes(const std::wstring& a, const std::wstring& b) {
    constexpr DWORD kChunk = 256u << 10;
    const win::UniqueFile left = OpenForReading(a), right = OpenForReading(b);
    LARGE_INTEGER leftSize{}, rightSize{};
    if (!left || !right || !::GetFileSizeEx(left.Get(), &leftSize) ||
        !::GetFileSizeEx(right.Get(), &rightSize) || leftSize.QuadPart != rightSize.QuadPart)
        return false;
    const std::unique_ptr<char[]> leftBytes(new (std::nothrow) char[kChunk]);
    const std::unique_ptr<char[]> rightBytes(new (std::nothrow) char[kChunk]);
    if (!leftBytes || !rightBytes) return false;
    for (;;) {
        DWORD gotLeft = 0, gotRight = 0;
        if (!ReadFull(left.Get(), leftBytes.get(), kChunk, gotLeft) ||
            !ReadFull(right.Get(), rightBytes.get(), kChunk, gotRight) || gotLeft != gotRight ||
            std::memcmp(leftBytes.get(), rightBytes.get(), gotLeft) != 0)
            return false;
        if (gotLeft == 0) return true;
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD DeleteIfPresent(const std::wstring& path, Waiter& waiter) {
    const std::wstring name = LongPath(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (IsMissingPathError(error)) return ERROR_SUCCESS;
        if (!MayBeHeld(error, path)) return error;
    } else if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_ACCESS_DENIED;
    }
    const DWORD error = Delete(name, waiter);
    return IsMissingPathError(error) ? ERROR_SUCCESS : error;
}

DWORD RemoveFolder(const std::wstring& path, Waiter& waiter) {
    const std::wstring name = LongPath(path);
    return Retried(path, waiter, [&] { return Status(::RemoveDirectoryW(name.c_str())); });
}

DWORD ReadWholeFile(const std::wstring& path, std::string& content, uint64_t maxSize) {
    const win::UniqueFile file = OpenForReading(path);
    if (!file) return ::GetLastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) return ::GetLastError();
    if (static_cast<uint64_t>(size.QuadPart) > maxSize) return ERROR_FILE_TOO_LARGE;
    if (static_cast<uint64_t>(size.QuadPart) > content.max_size()) return ERROR_NOT_ENOUGH_MEMORY;
    try {
        content.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), content.data() + done, chunk, &got, nullptr))
            return ::GetLastError();
        if (got == 0) break;  // the file shrank while we read it
        done += got;
    }
    content.resize(done);
    return ERROR_SUCCESS;
}

}  // namespace fileio
