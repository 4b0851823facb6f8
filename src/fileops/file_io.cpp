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

// WriteAll, failing as a full disk would once the test budget is spent.
DWORD WriteBudgeted(HANDLE file, const char* data, size_t size) {
    if (g_writeBudget >= 0) {
        const size_t allowed = static_cast<size_t>(std::min<int64_t>(g_writeBudget, size));
        g_writeBudget -= static_cast<int64_t>(allowed);
        if (allowed < size) {
            WriteAll(file, data, allowed);
            return ERROR_DISK_FULL;
        }
    }
    return WriteAll(file, data, size);
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

// Opens a file of ours to flush it, or to write it from the start.
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

// Keeps what stands at `target` under its kept name, unless a kept copy is
// there already. `created` tells whether this call made it.
DWORD KeepOldFile(const std::wstring& target, bool& created, Waiter& waiter) {
    created = false;
    const std::wstring kept = LongPath(KeptPathFor(target));
    const std::wstring from = LongPath(target);
    // A second name for the old file: one step, nothing copied, nothing new
    // to flush.
    DWORD error = Retried(from, waiter, [&] {
        return Status(::CreateHardLinkW(kept.c_str(), from.c_str(), nullptr));
    });
    if (error == ERROR_SUCCESS) {
        created = true;
        return ERROR_SUCCESS;
    }
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return ERROR_SUCCESS;
    // A file system without hard links (FAT, some shares): a whole copy beside
    // it, on the disk before it is named, in one step, never over an existing
    // kept copy.
    const std::wstring temp = LongPath(TempPathFor(KeptPathFor(target)));
    error = Retried(from, waiter, [&] { return Status(::CopyFileW(from.c_str(), temp.c_str(), FALSE)); });
    if (error == ERROR_SUCCESS) {
        const win::UniqueFile copy = OpenForWriting(temp, OPEN_EXISTING, waiter);
        error = copy && ::FlushFileBuffers(copy.Get()) ? ERROR_SUCCESS : ::GetLastError();
    }
    if (error == ERROR_SUCCESS) error = Rename(temp, kept, 0, waiter);
    if (error != ERROR_SUCCESS) {
        Delete(temp, waiter);
        return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
    }
    created = true;
    return ERROR_SUCCESS;
}

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
    constexpr ULONGLONG kPatienceMs = 3000;
    constexpr DWORD kLongestWaitMs = 500;
    constexpr DWORD kSliceMs = 10;
    const ULONGLONG now = ::GetTickCount64();
    if (start_ == 0) start_ = now;
    if (now - start_ >= kPatienceMs) return false;
    const ULONGLONG until = now + std::min<ULONGLONG>(next_, kPatienceMs - (now - start_));
    next_ = std::min(next_ * 2, kLongestWaitMs);
    for (ULONGLONG t = now; t < until; t = ::GetTickCount64()) {
        waiter.EventsService();
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kSliceMs, until - t)));
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

void SetWriteBudgetForTesting(int64_t bytes) { g_writeBudget = bytes; }

std::wstring TempPathFor(const std::wstring& target) { return target + kTempSuffix; }

std::wstring KeptPathFor(const std::wstring& target) { return target + kKeptSuffix; }

bool IsTempName(std::wstring_view name) { return EndsWith(name, kTempSuffix); }

std::optional<std::wstring> TargetOfKept(std::wstring_view path) {
    const std::wstring_view suffix = kKeptSuffix;
    if (path.size() <= suffix.size() || !EndsWith(path, suffix)) return std::nullopt;
    return std::wstring(path.substr(0, path.size() - suffix.size()));
}

void RemoveStaleTemp(const std::wstring& target, Waiter& waiter) {
    Delete(LongPath(TempPathFor(target)), waiter);
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

DWORD PutBackKept(const std::wstring& target, bool& restored, Waiter& waiter) {
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
    if (const DWORD error = Rename(kept, name, MOVEFILE_REPLACE_EXISTING, waiter)) return error;
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

ReplacingWriter::ReplacingWriter(std::wstring target, Waiter& waiter, Target look)
    : target_(LongPath(target)),
      temp_(LongPath(TempPathFor(target))),
      given_(std::move(target)),
      waiter_(waiter),
      look_(look) {}

ReplacingWriter::~ReplacingWriter() { Discard(); }

void ReplacingWriter::Discard() {
    old_.Reset();
    if (file_) {
        file_.Reset();
        Delete(temp_, waiter_);
    }
}

DWORD ReplacingWriter::Open() {
    if (look_ != Target::InNewFolder) {
        // The old file is read alongside the new content; only where they
        // part is anything written.
        old_ = OpenForReading(target_);
        LARGE_INTEGER size{};
        if (old_ && ::GetFileSizeEx(old_.Get(), &size)) {
            oldSize_ = static_cast<uint64_t>(size.QuadPart);
            comparing_ = true;
            return ERROR_SUCCESS;
        }
        old_.Reset();
    }
    return CreateTemp();
}

DWORD ReplacingWriter::CreateTemp() {
    // CREATE_ALWAYS takes over a temporary file a killed run left behind.
    file_ = OpenForWriting(temp_, CREATE_ALWAYS, waiter_);
    return file_ ? ERROR_SUCCESS : ::GetLastError();
}

DWORD ReplacingWriter::ExpectSize(uint64_t size) {
    return comparing_ && size != oldSize_ ? Diverge() : ERROR_SUCCESS;
}

bool ReplacingWriter::Scratch(size_t size) {
    if (scratchSize_ < size) {
        scratch_.reset(new (std::nothrow) char[size]);
        scratchSize_ = scratch_ ? size : 0;
    }
    return scratch_ != nullptr;
}

bool ReplacingWriter::SameAsOld(std::string_view bytes) {
    constexpr size_t kChunk = 256u << 10;
    if (bytes.size() > oldSize_ - matched_) return false;
    const size_t size = std::min(bytes.size(), kChunk);
    if (!Scratch(size)) return false;
    for (size_t done = 0; done < bytes.size();) {
        const DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, size));
        DWORD got = 0;
        if (!ReadFull(old_.Get(), scratch_.get(), want, got) || got != want ||
            std::memcmp(scratch_.get(), bytes.data() + done, got) != 0)
            return false;
        done += got;
    }
    return true;
}

DWORD ReplacingWriter::Diverge() {
    // The new content parts from the old file after `matched_` bytes: those
    // go to the temporary file from the old one, and the rest is written.
    comparing_ = false;
    differs_ = true;
    if (const DWORD error = CreateTemp()) return error;
    LARGE_INTEGER start{};
    if (matched_ > 0 && !::SetFilePointerEx(old_.Get(), start, nullptr, FILE_BEGIN)) return ::GetLastError();
    constexpr DWORD kChunk = 256u << 10;
    for (uint64_t left = matched_; left > 0;) {
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, kChunk));
        if (!Scratch(want)) return ERROR_NOT_ENOUGH_MEMORY;
        DWORD got = 0;
        if (!ReadFull(old_.Get(), scratch_.get(), want, got)) return ::GetLastError();
        if (got != want) return ERROR_HANDLE_EOF;
        if (const DWORD error = WriteBudgeted(file_.Get(), scratch_.get(), got)) return error;
        left -= got;
    }
    old_.Reset();
    return ERROR_SUCCESS;
}

DWORD ReplacingWriter::Write(std::string_view bytes) {
    if (comparing_) {
        if (SameAsOld(bytes)) {
            matched_ += bytes.size();
            return ERROR_SUCCESS;
        }
        if (const DWORD error = Diverge()) return error;
    }
    if (!file_) return ERROR_INVALID_HANDLE;
    return WriteBudgeted(file_.Get(), bytes.data(), bytes.size());
}

DWORD ReplacingWriter::Commit(bool keepOld, Flushed flushed) {
    if (comparing_) {
        if (matched_ == oldSize_) {
            // The target holds these very bytes: nothing to write. A
            // temporary file a killed run left beside it goes.
            old_.Reset();
            comparing_ = false;
            if (look_ == Target::MayExist) RemoveStaleTemp(given_, waiter_);
            return ERROR_SUCCESS;
        }
        // The new content is the old one cut short: written only now.
        if (const DWORD error = Diverge()) return error;
        flushed = Flushed::No;
    }
    if (!file_) return ERROR_INVALID_HANDLE;
    // The content must be on the disk before a name points at it: a power
    // cut after the rename would otherwise leave an empty file. A write
    // error can surface only when the file is closed.
    DWORD error = flushed == Flushed::Yes || ::FlushFileBuffers(file_.Get()) ? ERROR_SUCCESS
                                                                             : ::GetLastError();
    if (!::CloseHandle(file_.Release()) && error == ERROR_SUCCESS) error = ::GetLastError();
    if (error == ERROR_SUCCESS) {
        // A rename that never replaces: it takes a new name in one step, and
        // fails when a file stands there already, which saves a look before
        // every write.
        error = Rename(temp_, target_, 0, waiter_);
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) error = ReplaceOld(keepOld);
    }
    if (error != ERROR_SUCCESS) Delete(temp_, waiter_);
    return error;
}

DWORD ReplacingWriter::ReplaceOld(bool keepOld) {
    // Windows refuses to replace a read-only file; Wine run as root would not,
    // and the program must behave the same on both.
    const DWORD attributes = ::GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    // Only a file that is someone else's is kept: not one equal to ours (a
    // second install), and never over the first kept copy. The old file gets
    // its kept name before the new one takes its place, so there is no moment
    // at which it has no name.
    bool keptNow = false;
    if (keepOld && !FileExists(KeptPathFor(given_)) && (differs_ || !SameBytes(temp_, target_))) {
        if (const DWORD error = KeepOldFile(given_, keptNow, waiter_)) return error;
    }
    if (const DWORD error = Rename(temp_, target_, MOVEFILE_REPLACE_EXISTING, waiter_)) {
        // The old file stays where it was; a kept copy made for it now would
        // only be a stray duplicate.
        if (keptNow) Delete(LongPath(KeptPathFor(given_)), waiter_);
        return error;
    }
    return ERROR_SUCCESS;
}

DWORD WriteFileReplacing(const std::wstring& target, std::string_view content, Waiter& waiter) {
    ReplacingWriter writer(target, waiter);
    DWORD error = writer.Open();
    if (error == ERROR_SUCCESS) error = writer.ExpectSize(content.size());
    if (error == ERROR_SUCCESS) error = writer.Write(content);
    if (error == ERROR_SUCCESS) error = writer.Commit();
    return error;
}

WriteBatch::WriteBatch(Waiter& waiter, Done& done) : waiter_(waiter), done_(done) {
    ::InitializeCriticalSection(&lock_);
    ::InitializeConditionVariable(&work_);
    ::InitializeConditionVariable(&flushed_);
}

WriteBatch::~WriteBatch() {
    Finish();
    ::EnterCriticalSection(&lock_);
    stop_ = true;
    ::LeaveCriticalSection(&lock_);
    ::WakeAllConditionVariable(&work_);
    for (const win::UniqueKernel& thread : threads_) ::WaitForSingleObject(thread.Get(), INFINITE);
    ::DeleteCriticalSection(&lock_);
}

DWORD WINAPI WriteBatch::Flushing(void* self) {
    static_cast<WriteBatch*>(self)->FlushAll();
    return 0;
}

void WriteBatch::FlushAll() {
    ::EnterCriticalSection(&lock_);
    for (;;) {
        auto next = pending_.end();
        while (!stop_) {
            next = std::find_if(pending_.begin(), pending_.end(),
                                [](const Pending& p) { return p.state == State::Queued; });
            if (next != pending_.end()) break;
            ::SleepConditionVariableCS(&work_, &lock_, INFINITE);
        }
        if (stop_) break;
        // A file of the list keeps its place in memory while others come
        // and go, and the caller's thread does not touch it until its flush
        // is marked done.
        next->state = State::Flushing;
        const HANDLE file = next->writer->PendingFile();
        ::LeaveCriticalSection(&lock_);
        const DWORD error = file == INVALID_HANDLE_VALUE || ::FlushFileBuffers(file)
                                ? ERROR_SUCCESS
                                : ::GetLastError();
        ::EnterCriticalSection(&lock_);
        next->flushError = error;
        next->state = State::Flushed;
        ::WakeConditionVariable(&flushed_);
    }
    ::LeaveCriticalSection(&lock_);
}

void WriteBatch::Add(std::unique_ptr<ReplacingWriter> writer, std::wstring target, bool keepOld) {
    // Files held back for their flushes keep their handles open; a few
    // suffice to keep the disk busy while the next ones are written. Two
    // flushes at a time: a large file's flush does not hold up the small
    // ones behind it, and the file system writes several in one go.
    constexpr size_t kMaxWaiting = 16;
    constexpr size_t kFlushers = 2;
    while (threads_.size() < kFlushers) {
        win::UniqueKernel thread(::CreateThread(nullptr, 64 << 10, Flushing, this,
                                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!thread) break;
        threads_.push_back(std::move(thread));
    }
    if (threads_.empty()) {
        // No thread to spare: this file is flushed and named here.
        done_.Committed(target, writer->Commit(keepOld));
        return;
    }
    ::EnterCriticalSection(&lock_);
    pending_.push_back({std::move(writer), std::move(target), keepOld});
    ::LeaveCriticalSection(&lock_);
    ::WakeConditionVariable(&work_);
    while (CommitFlushed(false)) {
    }
    for (;;) {
        ::EnterCriticalSection(&lock_);
        const size_t waiting = pending_.size();
        ::LeaveCriticalSection(&lock_);
        if (waiting <= kMaxWaiting || !CommitFlushed(true)) break;
    }
}

void WriteBatch::Finish() {
    while (CommitFlushed(true)) {
    }
}

bool WriteBatch::CommitFlushed(bool wait) {
    ::EnterCriticalSection(&lock_);
    auto flushed = pending_.end();
    for (;;) {
        flushed = std::find_if(pending_.begin(), pending_.end(),
                               [](const Pending& p) { return p.state == State::Flushed; });
        if (flushed != pending_.end() || !wait || pending_.empty()) break;
        // The window keeps answering while the disk catches up.
        ::SleepConditionVariableCS(&flushed_, &lock_, 10);
        ::LeaveCriticalSection(&lock_);
        waiter_.EventsService();
        ::EnterCriticalSection(&lock_);
    }
    if (flushed == pending_.end()) {
        ::LeaveCriticalSection(&lock_);
        return false;
    }
    Pending file = std::move(*flushed);
    pending_.erase(flushed);
    ::LeaveCriticalSection(&lock_);
    const DWORD error = file.flushError != ERROR_SUCCESS
                            ? file.flushError
                            : file.writer->Commit(file.keepOld, ReplacingWriter::Flushed::Yes);
    // A writer that did not commit removes its temporary file as it goes.
    file.writer.reset();
    done_.Committed(file.target, error);
    return true;
}

}  // namespace fileio
