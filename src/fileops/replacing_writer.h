// The one way this program writes a file: whole, beside the target, on the
// disk, then renamed onto the target in one step. Every function returns a
// Win32 error code, ERROR_SUCCESS when it worked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "handles.h"
#include "waits.h"

namespace fileio {

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
    // Nothing: the target's folder is being staged (StagedPathFor), made
    // just now under a temporary name that it trades for its own only once
    // every file in it is on the disk. The file is written under its own
    // name there, with no temporary file and no rename of its own; once
    // committed it stands at StagedPathFor(target) until the folder is named.
    InStagingFolder,
};

// The one way this program writes a file. The new content goes to a
// temporary file beside the target, reaches the disk, and only then takes
// the target's name, in one step: a kill or a power cut at any moment leaves
// the old file or the whole new one. A target that already holds exactly
// the new bytes is left as it is (a second install rewrites nothing). A
// brief hold of another program on either file is waited out. Until Commit
// succeeds the target is untouched; a writer destroyed before that removes
// its temporary file.
// The last-write time this program gives a file it copies: its source's
// (FILETIME units), rounded down to an even 2 seconds, which every file
// system stores exactly (FAT keeps times to 2 seconds). A file that still
// has it, and its size, is as this program wrote it.
inline uint64_t StampTime(uint64_t fileTime) { return fileTime - fileTime % 20000000; }

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
    // The last-write time (FILETIME units) the new file gets at Commit.
    void StampLastWrite(uint64_t time);
    // The waiter this writer waits with from now on: a writer filled on
    // another thread waits there without a window, and with the window once
    // it is back on the window's thread.
    void WaitWith(Waiter& waiter) { waiter_ = &waiter; }
    // The first half of Commit, which needs no window and may run on
    // another thread while the owner leaves the writer alone (see
    // WriteBatch): the temporary file written so far is flushed, stamped,
    // closed and, where no file has the target's name, given it. Nothing
    // when the target may already hold the new bytes. `waiter` waits out
    // holds on the name.
    void Settle(Waiter& waiter);
    // Puts the new file at the target, once its content is on the disk. An old file there is replaced; a
    // read-only one is refused with ERROR_ACCESS_DENIED (Windows would
    // refuse to replace it; Wine run as root would not, and the program must
    // behave the same on both). With keepOld, the old file is first kept
    // under KeptPathFor(target), unless a kept copy is there already or its
    // bytes are the new ones. A kill at any moment leaves the old file or
    // the new one at the target, and the kept copy absent or whole.
    DWORD Commit(bool keepOld = false);

    // What a successful Commit did at the target, so that a run cut short can
    // take it back: nothing (the target held these bytes), a new file where
    // there was none, an old file replaced, or an old file replaced and kept
    // as KeptPathFor(target) by this very commit.
    enum class Change { None, Created, Replaced, ReplacedAndKept };
    Change Done() const { return change_; }

private:
    DWORD CreateTemp();
    // The buffer the old file is read into, at least `size` bytes long.
    bool Scratch(size_t size);
    bool SameAsOld(std::string_view bytes);
    DWORD Diverge();
    void Discard();
    // Flushes, stamps and closes the temporary file, then names it the
    // target unless a file has that name (ERROR_ALREADY_EXISTS).
    DWORD PutNew(Waiter& waiter);
    DWORD ReplaceOld(bool keepOld);

    // Both as the file APIs take them.
    std::wstring target_;
    std::wstring temp_;
    // The target as it was given, for the name of its kept copy.
    std::wstring given_;
    Waiter* waiter_;
    Target look_;
    win::UniqueFile file_;
    // Whether the temporary file stands, open or closed, and goes unless it
    // takes the target's name.
    bool tempStands_ = false;
    // Whether Settle ran, and what PutNew gave it.
    bool settled_ = false;
    DWORD settleError_ = ERROR_SUCCESS;
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
    Change change_ = Change::None;
    uint64_t stamp_ = 0;
};

// The chunk a copy reads and writes at a time.
inline constexpr DWORD kCopyChunk = 256u << 10;

// Streams the file at `source` into `out`, which it opens, telling it the
// source's size and giving it the source's last-write time (StampTime of
// it). `buffer` (kCopyChunk bytes) is made on first use and kept for the
// next call. The source is closed on return, so that a file copied onto
// itself can be replaced.
DWORD WriteCopyOf(const std::wstring& source, ReplacingWriter& out, std::unique_ptr<char[]>& buffer);

DWORD WriteFileReplacing(const std::wstring& target, std::string_view content,
                         Waiter& waiter = NoWindow());

// Makes every write through ReplacingWriter fail with ERROR_DISK_FULL once this
// many more bytes have been written, as a full disk would; the bytes of the
// write that fails are not counted, as its temporary file goes. A negative budget,
// the default, turns the fault off. Only tests set it.
void SetWriteBudgetForTesting(int64_t bytes);

}  // namespace fileio
