// The plan of one install, made before anything is written: every file and
// where it goes, for each AutoCAD served, which of the targets are ours, the
// menus that get the item, the record that says so, and the room each drive
// needs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cad_menus.h"
#include "disk_space.h"
#include "folders.h"
#include "install_record.h"
#include "module1.h"

namespace deploy {

// One copy of the install but a picture, what it does to the progress bar
// afterwards, and its source's size and last-write time (`found` false when
// it is missing).
struct Copy {
    std::wstring source, dest;
    enum class Bar { ShowAndAdvance, Advance, Stay } bar;
    bool found = false;
    uint64_t size = 0, time = 0;
};

// What the install does for one AutoCAD.
struct CadPlan {
    FoundCad cad;
    // The add-on's files but its pictures, in the order they are copied
    // (the Windows and System folders' library with the first AutoCAD's).
    std::vector<Copy> copies;
    // The pictures of the payload, where they come from and go (each
    // ending in "\"), and what stands in the picture folder already, by
    // upper-case name: one listing serves every question about it.
    std::vector<module1::Entry> pictures;
    std::wstring pictureSource, pictureFolder;
    std::map<std::wstring, module1::Entry> present;
    // This AutoCAD's menus, which get the item in turn, and the size of
    // each once patched (kUnreadable for one that cannot be read).
    CadMenus menus;
    std::vector<uint64_t> menuSizes;
    static constexpr uint64_t kUnreadable = ~uint64_t{0};
    // Whether the record before this install named this folder, whether as
    // its first line (where no picture named means every picture of the
    // payload, as a version that did not name them wrote it), and the
    // pictures it named there.
    bool recordedBefore = false;
    bool firstBefore = false;
    Pictures earlierPictures;

    const std::wstring& Dir() const { return cad.dir; }
};

struct InstallPlan {
    // The AutoCADs served, in the order chosen; the first is the record's
    // first line.
    std::vector<CadPlan> cads;
    // The record as it stood before this install, and the menus it named,
    // which this install keeps named: those of AutoCADs served before stay
    // recorded until the uninstall.
    InstallRecord previous;
    Menus earlierMenus;
    // The record this install writes before it copies anything: the menus
    // it means to change and the files it means to write, as ours.
    InstallRecord record;
    std::string recordBytes;
    // The room each drive written to needs, and has.
    std::vector<DriveSpace> drives;

    // How a target whose key is `key` is replaced: without being kept when
    // it is still one of ours, else kept for the uninstall to give back.
    module1::Replaced ReplacedFor(const std::wstring& key) const;
    // Whether the target whose key is `key` is still the very file an
    // earlier install wrote at `dest` from a source of this size and
    // last-write time: a copy would write the same bytes, so the target is
    // taken as equal without reading it.
    bool WrittenBefore(const std::wstring& key, const std::wstring& dest, uint64_t size,
                       uint64_t time) const;
    bool ShortOfRoom() const;
};

// Plans the install into `cads` (one at least): lists the payload and each
// picture folder, reads the record there is and each AutoCAD's menus, and
// counts the room over every drive.
InstallPlan PlanInstall(const Folders& folders, const std::vector<FoundCad>& cads);

// Whether `record` is a usable record whose first line is `cadDir`.
bool Records(const InstallRecord& record, const std::wstring& cadDir);

// Adds to `menus` those of `more` it does not name yet.
void AddMenus(Menus& menus, const Menus& more);

}  // namespace deploy
