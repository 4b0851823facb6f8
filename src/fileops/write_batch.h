// Many files written one after the other, their flushes to the disk
// overlapping the writing of the next ones.
#pragma once

#include <windows.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"
#include "replacing_writer.h"
#include "waits.h"

namespace fileio {

// Many files written one after the other. A flush waits for the disk, so
// each file is settled (copied where it is a copy, flushed, and named where
// its name is free) on one of two threads while the caller goes on with the
// next; its commit ends on the caller's thread once that is done, the first
// settled first, and replaces an old file there. At most a few files wait
// so. A file that fails leaves its target as it was.
class WriteBatch {
public:
    // Called on the caller's thread with the result of a file's Commit.
    class Done {
    public:
        virtual void Committed(const std::wstring& target, DWORD error,
                               ReplacingWriter::Change change) = 0;

    protected:
        ~Done() = default;
    };

    // Files held back for their flushes keep their handles open; a few
    // suffice to keep the disk busy while the next ones are written. So
    // many temporary files stand beside their targets at most, with the one
    // being written.
    static constexpr size_t kMaxWaiting = 16;
    static constexpr size_t kMostInFlight = kMaxWaiting + 1;

    WriteBatch(Waiter& waiter, Done& done);
    // Commits every file still waiting.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Takes a writer whose content is all written, to be committed with
    // keepOld once it is on the disk. Files flushed by then are committed now.
    void Add(std::unique_ptr<ReplacingWriter> writer, std::wstring target, bool keepOld);
    // Takes a copy of `source` to `target` (WriteCopyOf), to be written and
    // flushed on a thread of the batch and committed with keepOld. A copy
    // that fails is committed with its error.
    void AddCopy(std::wstring source, std::wstring target, Target look, bool keepOld);
    // Commits every file taken, waiting for their flushes.
    void Finish();

private:
    enum class State { Queued, Flushing, Flushed };
    struct Pending {
        std::unique_ptr<ReplacingWriter> writer;
        std::wstring target;
        bool keepOld;
        // For a copy: its source, and the error writing it met.
        std::wstring source;
        DWORD error = ERROR_SUCCESS;
        State state = State::Queued;
    };
    // Starts the flushing threads, unless they run; false when none could.
    bool StartThreads();
    void Queue(Pending pending);
    static DWORD WINAPI Flushing(void* self);
    void FlushAll();
    // Commits a file whose flush is done; waits for one only when `wait`.
    // False when there was none (or none is left to wait for).
    bool CommitFlushed(bool wait);

    Waiter& waiter_;
    Done& done_;
    CRITICAL_SECTION lock_;
    // Counts the files queued for a flushing thread, and one more for each
    // thread when they are to stop.
    win::UniqueKernel work_;
    // Set (auto-reset) whenever a file's flush is done.
    win::UniqueKernel flushed_;
    std::list<Pending> pending_;
    bool stop_ = false;
    std::vector<win::UniqueKernel> threads_;
    // For copies made on the caller's thread, when no thread could start.
    std::unique_ptr<char[]> buffer_;
};

}  // namespace fileio
