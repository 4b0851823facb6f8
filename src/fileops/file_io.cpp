#include "file_io.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace fileio {

namespace {

int64_t g_writeBudget = -1;

DWORD WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        data += written;
        size -= written;
    }
    return ERROR_SUCCESS;
}

constexpr wchar_t kTempSuffix[] = L"~TsSetup.tmp";
constexpr wchar_t kKeptSuffix[] = L"~TsSetup.bak";

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Reads as much as fits into `buffer`, fewer bytes only at the end.
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

// Keeps what stands at `target` under its kept name, unless a kept copy is
// there already. `created` tells whether this call made it.
DWORD KeepOldFile(const std::wstring& target, bool& created) {
    created = false;
    const std::wstring kept = LongPath(KeptPathFor(target));
    const std::wstring from = LongPath(target);
    // A second name for the old file: one step, nothing copied.
    if (::CreateHardLinkW(kept.c_str(), from.c_str(), nullptr)) {
        created = true;
        return ERROR_SUCCESS;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return ERROR_SUCCESS;
    // A file system without hard links (FAT, some shares): a whole copy beside
    // it, named in one step, never over an existing kept copy.
    const std::wstring temp = LongPath(TempPathFor(KeptPathFor(target)));
    if (!::CopyFileW(from.c_str(), temp.c_str(), FALSE)) {
        error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        return error;
    }
    if (!::MoveFileExW(temp.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
    }
    created = true;
    return ERROR_SUCCESS;
}

}  // namespace

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

void SetWriteBudgetForTesting(int64_t bytes) { g_writeBudget = bytes; }

std::wstring TempPathFor(const std::wstring& target) { return target + kTempSuffix; }

std::wstring KeptPathFor(const std::wstring& target) { return target + kKeptSuffix; }

bool IsTempName(std::wstring_view name) { return EndsWith(name, kTempSuffix); }

std::optional<std::wstring> TargetOfKept(std::wstring_view path) {
    const std::wstring_view suffix = kKeptSuffix;
    if (path.size() <= suffix.size() || !EndsWith(path, suffix)) return std::nullopt;
    return std::wstring(path.substr(0, path.size() - suffix.size()));
}

void RemoveStaleTemp(const std::wstring& target) {
    ::DeleteFileW(LongPath(TempPathFor(target)).c_str());
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD DeleteIfPresent(const std::wstring& path) {
    const std::wstring name = LongPath(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return IsMissingPathError(error) ? ERROR_SUCCESS : error;
    }
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ACCESS_DENIED;
    if (::DeleteFileW(name.c_str())) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return IsMissingPathError(error) ? ERROR_SUCCESS : error;
}

DWORD PutBackKept(const std::wstring& target, bool& restored) {
    restored = false;
    const std::wstring kept = LongPath(KeptPathFor(target));
    if (::GetFileAttributesW(kept.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return IsMissingPathError(error) ? ERROR_SUCCESS : error;
    }
    const std::wstring name = LongPath(target);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;
    if (!::MoveFileExW(kept.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ::GetLastError();
    restored = true;
    return ERROR_SUCCESS;
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

ReplacingWriter::ReplacingWriter(std::wstring target)
    : target_(LongPath(target)), temp_(LongPath(TempPathFor(target))), given_(std::move(target)) {}

ReplacingWriter::~ReplacingWriter() { Discard(); }

void ReplacingWriter::Discard() {
    if (file_) {
        file_.Reset();
        ::DeleteFileW(temp_.c_str());
    }
}

DWORD ReplacingWriter::Open() {
    // No look at the target here: in a large folder, Wine answers a question
    // about a name that is not there by reading the whole folder, and most
    // targets of an install are new. Commit learns what stands there.
    file_.Reset(::CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_ ? ERROR_SUCCESS : ::GetLastError();
}

DWORD ReplacingWriter::Write(std::string_view bytes) {
    if (!file_) return ERROR_INVALID_HANDLE;
    if (g_writeBudget >= 0) {
        const size_t allowed = static_cast<size_t>(std::min<int64_t>(g_writeBudget, bytes.size()));
        g_writeBudget -= static_cast<int64_t>(allowed);
        if (allowed < bytes.size()) {
            WriteAll(file_.Get(), bytes.data(), allowed);
            return ERROR_DISK_FULL;
        }
    }
    return WriteAll(file_.Get(), bytes.data(), bytes.size());
}

DWORD ReplacingWriter::Commit(bool keepOld) {
    if (!file_) return ERROR_INVALID_HANDLE;
    // A write error can surface only when the file is closed.
    if (!::CloseHandle(file_.Release())) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temp_.c_str());
        return error;
    }
    // A rename that never replaces: it takes a new name in one step, and
    // fails when a file stands there already. A new file has nothing to lose,
    // so it is not flushed: flushing each of a thousand pictures would cost
    // the user minutes.
    if (::MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) return ERROR_SUCCESS;
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) error = ReplaceOld(keepOld);
    if (error != ERROR_SUCCESS) ::DeleteFileW(temp_.c_str());
    return error;
}

DWORD ReplacingWriter::ReplaceOld(bool keepOld) {
    // Windows refuses to replace a read-only file; Wine run as root would not,
    // and the program must behave the same on both.
    const DWORD attributes = ::GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    // The new content must be on the disk before the name points at it, or a
    // power cut right after the swap could leave an empty file where the old
    // one was. Flushing through a second handle writes the file's data all
    // the same.
    {
        win::UniqueFile temp(::CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!temp || !::FlushFileBuffers(temp.Get())) return ::GetLastError();
    }
    // Only a file that is someone else's is kept: not one equal to ours (a
    // second install), and never over the first kept copy. The old file gets
    // its kept name before the new one takes its place, so there is no moment
    // at which it has no name.
    bool keptNow = false;
    if (keepOld && !FileExists(KeptPathFor(given_)) && !SameBytes(temp_, target_)) {
        if (const DWORD error = KeepOldFile(given_, keptNow)) return error;
    }
    if (!::MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        // The old file stays where it was; a kept copy made for it now would
        // only be a stray duplicate.
        if (keptNow) ::DeleteFileW(LongPath(KeptPathFor(given_)).c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

DWORD WriteFileReplacing(const std::wstring& target, std::string_view content) {
    ReplacingWriter writer(target);
    DWORD error = writer.Open();
    if (error == ERROR_SUCCESS) error = writer.Write(content);
    if (error == ERROR_SUCCESS) error = writer.Commit();
    return error;
}

}  // namespace fileio
