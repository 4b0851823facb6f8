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
// each file is settled (flushed, and named where its name is free) on a
// thread of its own while the next file is written; its commit ends on the
// caller's thread once that is done, the first settled first, and replaces
// an old file there. At most a few files wait so. A flush that fails leaves
// its target as it was.
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
    // Commits every file taken, waiting for their flushes.
    void Finish();

private:
    enum class State { Queued, Flushing, Flushed };
    struct Pending {
        std::unique_ptr<ReplacingWriter> writer;
        std::wstring target;
        bool keepOld;
        State state = State::Queued;
    };
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
};

}  // namespace fileio
