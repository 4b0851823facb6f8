// What the uninstall removes, in the order the progress bar follows, and
// how each file goes: back to what stood there before the install when a
// copy of that was kept, else deleted when it is ours.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "folders.h"
#include "install_record.h"
#include "waits.h"

namespace deploy {

// What the uninstall could not delete or give back, for the user to hear.
class Failures {
public:
    void Note(DWORD error, const std::wstring& path) {
        if (error != ERROR_SUCCESS) paths_.push_back(path);
    }
    bool Any() const { return !paths_.empty(); }
    const std::vector<std::wstring>& Paths() const { return paths_; }

private:
    std::vector<std::wstring> paths_;
};

// One file the uninstall handles, and whether it deletes ours when nothing
// was kept in its place.
struct Deployed {
    std::wstring path;
    bool deleteOurs;
};

// A deployed file goes back to what stood there before the install when a
// copy of that was kept. Otherwise ours is deleted (unless `deleteOurs` is
// false, or the file is one an earlier uninstall gave back: the user's
// again, not ours). A temporary file an interrupted install left beside it
// goes in either case.
void Undeploy(const Deployed& file, const GivenBack& givenBack, Failures& failures,
              fileio::Waiter& waiter);

// Everything the uninstall handles of one AutoCAD the install `record`
// describes.
struct Removal {
    // The add-on's files in the AutoCAD folder, and the library in the
    // System folder (with the first AutoCAD's; an empty path with the
    // others'), each deleted or given back.
    std::vector<Deployed> cadFiles;
    Deployed sysLibrary;
    // The picture folder, without a trailing "\", the pictures that were
    // ours (nothing when nothing tells), and the files there the uninstall
    // handles.
    std::wstring pictureFolder;
    std::optional<Pictures> ours;
    std::vector<Deployed> pictures;
    // The library copies the uninstall keeps when nothing was there before.
    std::vector<Deployed> keptLibraries;

    // Every file of the removal, the kept libraries last.
    std::vector<Deployed> All() const;
};

// Lists what the uninstall handles of the AutoCAD `cad` of the record's
// (0 for its first line's). Temporary files of an interrupted copy in the
// picture folder go at once.
Removal PlanRemoval(const InstallRecord& record, size_t cad, const Folders& folders, fileio::Waiter& waiter);

// The files that are the user's again once the uninstall has put them back,
// and whether it may put them back.
struct GiveBack {
    GivenBack givenBack;
    bool allowed = true;
};

// Every file with a kept copy is about to be the user's again. The record
// says so before any of them is put back, so that no later uninstall, even
// after this one was killed half-way, takes one of them for ours. On a full
// drive our own files, those with nothing to give back, go first to make
// room for that note. Without the note the user's files stay kept beside
// ours, and `failures` names them.
GiveBack NoteGivenBack(const std::wstring& recordPath, const InstallRecord& record,
                       const std::vector<Removal>& removals, Failures& failures, fileio::Waiter& waiter);

}  // namespace deploy
