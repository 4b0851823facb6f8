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

// Many files copied one after the other. A flush waits for the disk, so
// each file is copied, flushed and, where its name is free, named on one of
// four threads while the caller hands out the next; its commit ends on the
// caller's thread once that is done, the first done first, and replaces an
// old file there. At most a few files wait so. A file that fails leaves its
// target as it was.
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

    // Copies handed out and not yet committed keep their temporary files
    // open; a few suffice to keep the threads and the disk busy. So many
    // temporary files stand beside their targets at most, with the one
    // just handed out.
    static constexpr size_t kMaxWaiting = 16;
    static constexpr size_t kMostInFlight = kMaxWaiting + 1;

    WriteBatch(Waiter& waiter, Done& done);
    // Commits every file still waiting.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Takes a copy of `source` to `target` (WriteCopyOf), to be written and
    // flushed on a thread of the batch and committed with keepOld; copies
    // done by then are committed now. A copy that fails is committed with
    // its error, and once one found its disk full, those not yet begun are
    // committed unwritten with ERROR_DISK_FULL.
    void AddCopy(std::wstring source, std::wstring target, Target look, bool keepOld);
    // Commits every file taken, waiting for their flushes.
    void Finish();

private:
    enum class State { Queued, Flushing, Flushed };
    struct Pending {
        std::unique_ptr<ReplacingWriter> writer;
        std::wstring target;
        bool keepOld;
        std::wstring source;
        // The error copying it met.
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
    // Whether a copy found its disk full.
    bool full_ = false;
    std::vector<win::UniqueKernel> threads_;
    // For copies made on the caller's thread, when no thread could start.
    std::unique_ptr<char[]> buffer_;
};

}  // namespace fileio
