#include "replacing_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "file_ops.h"
#include "long_path.h"
#include "side_files.h"

namespace fileio {

namespace {

// Writes run on the flushing threads too.
std::atomic<int64_t> g_writeBudget{-1};

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
    for (int64_t budget = g_writeBudget.load(); budget >= 0;) {
        if (static_cast<uint64_t>(budget) < size) {
            // What this write got in is freed again with its temporary file.
            WriteAll(file, data, static_cast<size_t>(budget));
            return ERROR_DISK_FULL;
        }
        if (g_writeBudget.compare_exchange_weak(budget, budget - static_cast<int64_t>(size))) break;
    }
    return WriteAll(file, data, size);
}

}  // namespace

void SetWriteBudgetForTesting(int64_t bytes) { g_writeBudget = bytes; }

ReplacingWriter::ReplacingWriter(std::wstring target, Waiter& waiter, Target look)
    : target_(LongPath(target)),
      temp_(LongPath(look == Target::InStagingFolder ? StagedPathFor(target) : TempPathFor(target))),
      given_(std::move(target)),
      waiter_(&waiter),
      look_(look) {}

ReplacingWriter::~ReplacingWriter() { Discard(); }

void ReplacingWriter::Discard() {
    old_.Reset();
    file_.Reset();
    if (tempStands_) {
        tempStands_ = false;
        Delete(temp_, *waiter_);
    }
}

DWORD ReplacingWriter::Open() {
    if (look_ != Target::InNewFolder && look_ != Target::InStagingFolder) {
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
    file_ = OpenForWriting(temp_, CREATE_ALWAYS, *waiter_);
    tempStands_ = static_cast<bool>(file_);
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

void ReplacingWriter::StampLastWrite(uint64_t time) { stamp_ = time; }

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

void ReplacingWriter::Settle(Waiter& waiter) {
    if (comparing_ || !file_) return;
    settleError_ = PutNew(waiter);
    settled_ = true;
}

DWORD ReplacingWriter::PutNew(Waiter& waiter) {
    // The content must be on the disk before a name points at it: a power
    // cut after the rename would otherwise leave an empty file. A write
    // error can surface only when the file is closed.
    DWORD error = Status(::FlushFileBuffers(file_.Get()));
    // The time is set once the content is on the disk: a file system that
    // writes cached data late (a network drive, FUSE) would move it again.
    if (error == ERROR_SUCCESS && stamp_) {
        const FILETIME time{static_cast<DWORD>(stamp_), static_cast<DWORD>(stamp_ >> 32)};
        ::SetFileTime(file_.Get(), nullptr, nullptr, &time);
    }
    if (!::CloseHandle(file_.Release()) && error == ERROR_SUCCESS) error = ::GetLastError();
    if (error != ERROR_SUCCESS) return error;
    if (look_ == Target::InStagingFolder) {
        // Written under its own name already; its folder takes the rest.
        tempStands_ = false;
        change_ = Change::Created;
        return ERROR_SUCCESS;
    }
    // A rename that never replaces: it takes a new name in one step, and
    // fails when a file stands there already, which saves a look before
    // every write.
    error = Rename(temp_, target_, 0, waiter);
    if (error == ERROR_SUCCESS) {
        tempStands_ = false;
        change_ = Change::Created;
    }
    return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
}

DWORD ReplacingWriter::Commit(bool keepOld) {
    if (comparing_) {
        if (matched_ == oldSize_) {
            // The target holds these very bytes: nothing to write. A
            // temporary file a killed run left beside it goes.
            old_.Reset();
            comparing_ = false;
            if (look_ == Target::MayExist) RemoveStaleTemp(given_, *waiter_);
            return ERROR_SUCCESS;
        }
        // The new content is the old one cut short: written only now.
        if (const DWORD error = Diverge()) return error;
    }
    if (!settled_ && !file_) return ERROR_INVALID_HANDLE;
    DWORD error = settled_ ? settleError_ : PutNew(*waiter_);
    if (error == ERROR_ALREADY_EXISTS) error = ReplaceOld(keepOld);
    if (error != ERROR_SUCCESS) Discard();
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
        if (const DWORD error = KeepOldFile(given_, keptNow, *waiter_)) return error;
    }
    if (const DWORD error = Rename(temp_, target_, MOVEFILE_REPLACE_EXISTING, *waiter_)) {
        // The old file stays where it was; a kept copy made for it now would
        // only be a stray duplicate.
        if (keptNow) Delete(LongPath(KeptPathFor(given_)), *waiter_);
        return error;
    }
    tempStands_ = false;
    change_ = keptNow ? Change::ReplacedAndKept : Change::Replaced;
    return ERROR_SUCCESS;
}

DWORD WriteCopyOf(const std::wstring& source, ReplacingWriter& out, std::unique_ptr<char[]>& buffer) {
    win::UniqueFile in = OpenForReading(source);
    if (!in) return ::GetLastError();  // a folder cannot be opened like this either
    LARGE_INTEGER size{};
    FILETIME written{};
    if (!::GetFileSizeEx(in.Get(), &size) || !::GetFileTime(in.Get(), nullptr, nullptr, &written))
        return ::GetLastError();
    if (const DWORD error = out.Open()) return error;
    if (const DWORD error = out.ExpectSize(static_cast<uint64_t>(size.QuadPart))) return error;
    // Not zero-filled: clearing a large buffer for each of a thousand small
    // pictures cost more than copying them.
    if (!buffer) buffer.reset(new (std::nothrow) char[kCopyChunk]);
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.Get(), buffer.get(), kCopyChunk, &got, nullptr)) return ::GetLastError();
        if (got == 0) break;
        if (const DWORD error = out.Write(std::string_view(buffer.get(), got))) return error;
        // A disk file reads short only at its end: no call to learn it again.
        if (got < kCopyChunk) break;
    }
    out.StampLastWrite(StampTime(FileSize(written.dwHighDateTime, written.dwLowDateTime)));
    // The source closes as this returns: a source copied onto itself must
    // be closed before it is replaced.
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

}  // namespace fileio
