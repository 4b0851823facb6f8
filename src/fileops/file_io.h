// Reading files whole, and writing them so that they are never half-written:
// the new content goes to a temporary file beside the target, which then
// replaces the target in one step. Every function returns a Win32 error code,
// ERROR_SUCCESS when it worked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "handles.h"
#include "long_path.h"

namespace fileio {

// What a file operation lets happen while it waits for another program to let
// go of a file: the window keeps answering.
class Waiter {
public:
    // Lets every pending window event run once.
    virtual void EventsService() = 0;

protected:
    ~Waiter() = default;
};

// A waiter for callers without a window: it only waits.
Waiter& NoWindow();

// Whether `error`, met on `path`, may be another program's brief hold on the
// file: a virus scanner, an indexer or a backup opens a file that was just
// written and keeps it for a moment without sharing it. Access denied counts
// only for a file that is not read-only and not a folder: those are refused
// for good.
bool MayBeHeld(DWORD error, const std::wstring& path);

// Waits that grow from 10 ms to 500 ms, about 3 s in all, servicing the
// window meanwhile.
class Backoff {
public:
    // Waits once; false, without waiting, when the time is up.
    bool Wait(Waiter& waiter);

private:
    ULONGLONG start_ = 0;
    DWORD next_ = 10;
};

// Runs `attempt` (which returns a Win32 error code) again while it fails
// because another program holds `path`, for about 3 s; any other outcome is
// returned at once. Nothing waits when nothing holds the file.
template <typename Attempt>
DWORD Retried(const std::wstring& path, Waiter& waiter, Attempt attempt) {
    Backoff backoff;
    for (;;) {
        const DWORD error = attempt();
        if (error == ERROR_SUCCESS || !MayBeHeld(error, path) || !backoff.Wait(waiter)) return error;
    }
}

// The error code of a Win32 call's result.
inline DWORD Status(BOOL ok) { return ok ? ERROR_SUCCESS : ::GetLastError(); }

// The temporary file that stands beside `target` while it is being written.
// Always the same name for the same target, so a file left behind by a killed
// run is taken over and removed by the next run that writes that target.
std::wstring TempPathFor(const std::wstring& target);

// Removes a temporary file of `target` left behind by an interrupted run.
void RemoveStaleTemp(const std::wstring& target, Waiter& waiter = NoWindow());

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
DWORD PutBackKept(const std::wstring& target, bool& restored, Waiter& waiter = NoWindow());

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

// What may stand at a writer's target already. In a large folder under Wine
// a look at a name that is not there reads the whole folder, so a writer
// looks only where something may be.
enum class Target {
    // The target, and a temporary file of it that a killed run left.
    MayExist,
    // The target, but no temporary file: the caller cleared the folder of them.
    MayExistNoLeftover,
    // Nothing: the folder was made just now.
    InNewFolder,
};

// The one way this program writes a file. The new content goes to a
// temporary file beside the target, reaches the disk, and only then takes
// the target's name, in one step: a kill or a power cut at any moment leaves
// the old file or the whole new one. A target that already holds exactly
// the new bytes is left as it is (a second install rewrites nothing). A
// brief hold of another program on either file is waited out. Until Commit
// succeeds the target is untouched; a writer destroyed before that removes
// its temporary file.
class ReplacingWriter {
public:
    explicit ReplacingWriter(std::wstring target, Waiter& waiter = NoWindow(),
                             Target look = Target::MayExist);
    ~ReplacingWriter();
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    DWORD Open();
    // The new content's length, when the caller knows it: a target of
    // another length is known to differ without reading it.
    DWORD ExpectSize(uint64_t size);
    DWORD Write(std::string_view bytes);
    // The temporary file written so far, for a flush on another thread (see
    // WriteBatch); none when the target already holds the new bytes.
    HANDLE PendingFile() const { return file_.Get(); }
    // Whether the content was flushed already.
    enum class Flushed { No, Yes };
    // Puts the new file at the target, once its content is on the disk. An old file there is replaced; a
    // read-only one is refused with ERROR_ACCESS_DENIED (Windows would
    // refuse to replace it; Wine run as root would not, and the program must
    // behave the same on both). With keepOld, the old file is first kept
    // under KeptPathFor(target), unless a kept copy is there already or its
    // bytes are the new ones. A kill at any moment leaves the old file or
    // the new one at the target, and the kept copy absent or whole.
    DWORD Commit(bool keepOld = false, Flushed flushed = Flushed::No);

private:
    DWORD CreateTemp();
    // The buffer the old file is read into, at least `size` bytes long.
    bool Scratch(size_t size);
    bool SameAsOld(std::string_view bytes);
    DWORD Diverge();
    void Discard();
    DWORD ReplaceOld(bool keepOld);

    // Both as the file APIs take them.
    std::wstring target_;
    std::wstring temp_;
    // The target as it was given, for the name of its kept copy.
    std::wstring given_;
    Waiter& waiter_;
    Target look_;
    win::UniqueFile file_;
    // While the new content still equals the start of the old file, nothing
    // is written: `old_` is read alongside, `matched_` bytes of it so far.
    win::UniqueFile old_;
    uint64_t oldSize_ = 0;
    uint64_t matched_ = 0;
    bool comparing_ = false;
    // Whether the old file is known to differ from the new content.
    bool differs_ = false;
    std::unique_ptr<char[]> scratch_;
    size_t scratchSize_ = 0;
};

DWORD WriteFileReplacing(const std::wstring& target, std::string_view content,
                         Waiter& waiter = NoWindow());

// Many files written one after the other. A flush waits for the disk, so
// each file's flush runs on a thread of its own while the next file is
// written; each file is committed (named) on the caller's thread once its
// flush is done, the first flushed first. At most a few files wait so.
// A flush that fails leaves its target as it was.
class WriteBatch {
public:
    // Called on the caller's thread with the result of a file's Commit.
    class Done {
    public:
        virtual void Committed(const std::wstring& target, DWORD error) = 0;

    protected:
        ~Done() = default;
    };

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
        DWORD flushError = ERROR_SUCCESS;
    };
    static DWORD WINAPI Flushing(void* self);
    void FlushAll();
    // Commits a file whose flush is done; waits for one only when `wait`.
    // False when there was none (or none is left to wait for).
    bool CommitFlushed(bool wait);

    Waiter& waiter_;
    Done& done_;
    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE work_;
    CONDITION_VARIABLE flushed_;
    std::list<Pending> pending_;
    bool stop_ = false;
    std::vector<win::UniqueKernel> threads_;
};

// Makes every write through ReplacingWriter fail with ERROR_DISK_FULL once this
// many more bytes have been written, as a full disk would. A negative budget,
// the default, turns the fault off. Only tests set it.
void SetWriteBudgetForTesting(int64_t bytes);

}  // namespace fileio
