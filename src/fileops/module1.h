// Finding the AutoCAD folder and copying one file whole.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "callback.h"
#include "replacing_writer.h"
#include "side_files.h"
#include "write_batch.h"

namespace module1 {

inline constexpr wchar_t kCopyError[] = L"Copy Error!, Please try again...";

// What these routines need of the window that runs them: a message box, and
// its pending events run (fileio::Waiter) while they search or wait.
class ModuleHost : public fileio::Waiter {
public:
    virtual void MessageShow(const std::wstring& text) = 0;

protected:
    ~ModuleHost() = default;
};

// `text` in upper case, as the system folds names.
std::wstring UpperCase(std::wstring text);

// Whether two folders are the same, without regard to case or a trailing "\".
bool SameFolder(const std::wstring& a, const std::wstring& b);

// Calls found(folder) for each plain subfolder of `root` whose full path,
// upper-cased, contains "CAD", each ending in "\", in the order the file
// system lists them, until found returns true. False when the listing fails
// (a drive that is not ready) before it ends or is stopped; a `root` that
// does not exist is listed as empty.
bool ForEachCadDir(std::wstring root, ModuleHost& host,
                   Callback<bool(const std::wstring& folder)> found);

// The first such folder; "" when there is none or `root` does not exist.
// Nothing when the listing itself fails.
std::optional<std::wstring> CadDirFind(std::wstring root, ModuleHost& host);

// Whether `folder` (ending in "\") holds AutoCAD's program, acad.exe.
bool HoldsAcadExe(const std::wstring& folder);

// What becomes of a file that `dest` replaces.
enum class Replaced {
    Discard,
    // Kept as fileio::KeptPathFor(dest) when its bytes differ from the new
    // ones and no kept copy exists yet, so the uninstall can give it back.
    Keep,
};

// Copies `source` over `dest`. A failure leaves `dest` as it was and is told
// to the user with one message; the caller always goes on. A `dest` that
// holds the same bytes already is left as it is. A copy written gets the
// source's last-write time (fileio::StampTime of it).
void FileCopy(const std::wstring& source, const std::wstring& dest, ModuleHost& host,
              Replaced replaced = Replaced::Discard,
              fileio::Target look = fileio::Target::MayExist);

// FileCopy for many files in a row: each is copied, flushed and named on
// one of the batch's threads while the caller goes on to the next, and its
// commit ends on the caller's thread (fileio::WriteBatch). A copy is in
// place, or told as failed, by Finish at the latest.
class Copier : private fileio::WriteBatch::Done {
public:
    explicit Copier(ModuleHost& host);
    Copier(const Copier&) = delete;
    Copier& operator=(const Copier&) = delete;
    // Who tells the user of a failed copy: the copier at once, or the caller,
    // who finds it in Untold() once the copy is finished.
    enum class Tell { Now, ByCaller };
    void FileCopy(const std::wstring& source, const std::wstring& dest,
                  Replaced replaced = Replaced::Discard,
                  fileio::Target look = fileio::Target::MayExist, Tell tell = Tell::Now);
    // Leaves `dest` as it is, as a copy that found the source's bytes there
    // would, for a caller who knows them to be there without reading it.
    void TakeAsEqual(const std::wstring& dest, fileio::Target look = fileio::Target::MayExist);
    void Finish() { batch_.Finish(); }
    // Once Finish has run: gives the staged folder of `folder` (without a
    // trailing "\"), whose files were copied with Target::InStagingFolder,
    // the folder's own name, in one step, once it holds nothing but whole
    // copies. Where that cannot be (another program holds one of its files,
    // or a failed copy's file cannot go), the folder is made and each whole
    // copy is moved into it; a file that cannot be moved is told as a failed
    // copy and stays in the staged folder, which the next run removes.
    // Whether `folder` stands now; when it could not be made, a full disk is
    // noted as DiskFullAt, any other failure told.
    bool NameStagedFolder(const std::wstring& folder);

    // A file this copier changed, as its commit left it.
    struct Changed {
        std::wstring dest;
        fileio::ReplacingWriter::Change change;
    };
    // Every file changed so far, in the order they were named.
    const std::vector<Changed>& Changes() const { return changes_; }
    // The destinations that held the source's bytes already and were left
    // as they were.
    const std::set<std::wstring>& Unchanged() const { return unchanged_; }

    // How many copies the caller tells have failed, and the last one's error.
    size_t UntoldCount() const { return untoldCount_; }
    DWORD UntoldError() const { return untoldError_; }

    // The file whose copy found its disk full, "" while none has. From then
    // on the copier copies nothing more and tells no failure: the caller
    // stops and says what happened, once.
    const std::wstring& DiskFullAt() const { return diskFullAt_; }

private:
    void Committed(const std::wstring& dest, DWORD error,
                   fileio::ReplacingWriter::Change change) override;
    void Failed(const std::wstring& dest, DWORD error);

    ModuleHost& host_;
    std::vector<Changed> changes_;
    std::set<std::wstring> unchanged_;
    // The destination of the last copy whose failure the caller tells.
    std::wstring toldByCaller_;
    size_t untoldCount_ = 0;
    DWORD untoldError_ = ERROR_SUCCESS;
    std::wstring diskFullAt_;
    fileio::WriteBatch batch_;
};

// One entry of a folder listing.
struct Entry {
    std::wstring name;
    uint32_t attributes;
    uint64_t size;
    // The last-write time, in 100-nanosecond units since 1601 (FILETIME).
    uint64_t lastWrite;
};

// Calls visit(entry) for every entry of `folder` (ending in "\") but "."
// and "..", in the order the file system lists them. Nothing when the folder
// is missing.
void ForEachEntry(const std::wstring& folder, Callback<void(const Entry& entry)> visit);

// The entries of `folder` (ending in "\") whose attributes `keep` accepts, in
// the order the file system lists them. Empty when the folder is missing.
std::vector<Entry> ListEntries(const std::wstring& folder, bool (*keep)(uint32_t attributes));

// Removes what a staged folder of `folder` (without a trailing "\") holds
// (see Copier::NameStagedFolder), and the staged folder itself: all of it is
// ours, since nothing else takes that name. Whether none of it is left (also
// when there was none).
bool RemoveStagedFolder(const std::wstring& folder, fileio::Waiter& waiter);

// The plain files of a folder: neither folders nor hidden nor system files.
std::vector<Entry> ListPlainFileEntries(const std::wstring& folder);

// Their names alone.
std::vector<std::wstring> ListPlainFiles(const std::wstring& folder);

}  // namespace module1
