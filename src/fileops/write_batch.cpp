#include "write_batch.h"

#include <algorithm>
#include <climits>
#include <new>

#include "file_ops.h"

namespace fileio {

WriteBatch::WriteBatch(Waiter& waiter, Done& done)
    : waiter_(waiter),
      done_(done),
      work_(::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)),
      flushed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    ::InitializeCriticalSection(&lock_);
}

WriteBatch::~WriteBatch() {
    Finish();
    ::EnterCriticalSection(&lock_);
    stop_ = true;
    ::LeaveCriticalSection(&lock_);
    if (!threads_.empty()) ::ReleaseSemaphore(work_.Get(), static_cast<LONG>(threads_.size()), nullptr);
    for (const win::UniqueKernel& thread : threads_) ::WaitForSingleObject(thread.Get(), INFINITE);
    ::DeleteCriticalSection(&lock_);
}

DWORD WINAPI WriteBatch::Flushing(void* self) {
    static_cast<WriteBatch*>(self)->FlushAll();
    return 0;
}

void WriteBatch::FlushAll() {
    // A copy's chunks pass through this thread's own buffer.
    std::unique_ptr<char[]> buffer;
    for (;;) {
        ::WaitForSingleObject(work_.Get(), INFINITE);
        ::EnterCriticalSection(&lock_);
        if (stop_) break;
        // Each count of work_ stands for a file queued, and each thread
        // takes one file a count: there is one.
        const auto next = std::find_if(pending_.begin(), pending_.end(),
                                       [](const Pending& p) { return p.state == State::Queued; });
        if (next == pending_.end()) {
            ::LeaveCriticalSection(&lock_);
            continue;
        }
        // A file of the list keeps its place in memory while others come
        // and go, and the caller's thread does not touch it until it is
        // marked done.
        next->state = State::Flushing;
        // Once a disk was found full, copying stops: a copy not yet begun
        // is not written at all.
        const bool full = full_;
        ReplacingWriter& writer = *next->writer;
        const std::wstring& source = next->source;
        ::LeaveCriticalSection(&lock_);
        // A hold on a name is waited out here, while the window's thread
        // goes on; so this thread needs no window.
        DWORD error = ERROR_DISK_FULL;
        if (!full) {
            try {
                error = WriteCopyOf(source, writer, buffer);
                if (error == ERROR_SUCCESS) writer.Settle(NoWindow());
            } catch (const std::bad_alloc&) {
                error = ERROR_NOT_ENOUGH_MEMORY;
            }
        }
        ::EnterCriticalSection(&lock_);
        next->error = error;
        next->state = State::Flushed;
        if (IsDiskFullError(error)) full_ = true;
        ::LeaveCriticalSection(&lock_);
        ::SetEvent(flushed_.Get());
    }
    ::LeaveCriticalSection(&lock_);
}

bool WriteBatch::StartThreads() {
    // Four at a time: a large file's flush does not hold up the small ones
    // behind it, the file system writes several in one go, and one file's
    // copying overlaps another's flush and naming. Each thread reserves a
    // megabyte of stack (a scanner hooking the file calls runs on it), of
    // which only what is used is committed.
    constexpr size_t kThreads = 4;
    while (work_ && flushed_ && threads_.size() < kThreads) {
        win::UniqueKernel thread(::CreateThread(nullptr, 1 << 20, Flushing, this,
                                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!thread) break;
        threads_.push_back(std::move(thread));
    }
    return !threads_.empty();
}

void WriteBatch::Queue(Pending pending) {
    ::EnterCriticalSection(&lock_);
    pending_.push_back(std::move(pending));
    ::LeaveCriticalSection(&lock_);
    ::ReleaseSemaphore(work_.Get(), 1, nullptr);
    while (CommitFlushed(false)) {
    }
    for (;;) {
        ::EnterCriticalSection(&lock_);
        const size_t waiting = pending_.size();
        ::LeaveCriticalSection(&lock_);
        if (waiting <= kMaxWaiting || !CommitFlushed(true)) break;
    }
}

void WriteBatch::AddCopy(std::wstring source, std::wstring target, Target look, bool keepOld) {
    if (!StartThreads()) {
        // No thread to spare: this file is copied, flushed and named here.
        auto writer = std::make_unique<ReplacingWriter>(target, waiter_, look);
        DWORD error = WriteCopyOf(source, *writer, buffer_);
        if (error == ERROR_SUCCESS) error = writer->Commit(keepOld);
        const ReplacingWriter::Change change = writer->Done();
        writer.reset();
        done_.Committed(target, error, change);
        return;
    }
    // Until it is back on this thread, the writer waits without the window.
    auto writer = std::make_unique<ReplacingWriter>(target, NoWindow(), look);
    Queue({std::move(writer), std::move(target), keepOld, std::move(source)});
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
        ::LeaveCriticalSection(&lock_);
        // The window keeps answering while the disk catches up.
        ::WaitForSingleObject(flushed_.Get(), 10);
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
    file.writer->WaitWith(waiter_);
    const DWORD error = file.error != ERROR_SUCCESS ? file.error : file.writer->Commit(file.keepOld);
    const ReplacingWriter::Change change = file.error != ERROR_SUCCESS ? ReplacingWriter::Change::None
                                                                       : file.writer->Done();
    // A writer that did not commit removes its temporary file as it goes.
    file.writer.reset();
    done_.Committed(file.target, error, change);
    return true;
}

}  // namespace fileio
