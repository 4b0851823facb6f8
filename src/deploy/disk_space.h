// Whether the drives an install writes to have room for it, asked before
// anything is changed. A careful count from sizes and one look at each
// target, without reading the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace deploy {

// One file the install is about to write: where, how many bytes, and whether
// a different file standing there is kept for the uninstall to give back.
struct PlannedFile {
    std::wstring target;
    uint64_t size = 0;
    bool keepOld = false;
    // What stands at the target, when the caller knows it from a listing of
    // its folder: a look at a name that is not there costs much in a large
    // folder.
    enum class Old { Unknown, None, Present };
    Old old = Old::Unknown;
    uint64_t oldSize = 0;
    // With Old::Present: whether a kept copy of it stands there already.
    bool oldKept = false;
};

// What the install needs on one drive, and what the drive has.
struct DriveSpace {
    // The drive's root folder, "E:\" (or a share's or mount point's root).
    std::wstring root;
    uint64_t cluster = 1;
    // Whether a kept file can be a second name of the old one (NTFS), or must
    // be a copy (FAT32).
    bool hardLinks = true;
    // What the files written take beyond what they replace, in whole clusters.
    uint64_t growth = 0;
    // While a new file replaces an old one, both stand for a moment: as many
    // of the largest such new files as the install has in flight at once.
    uint64_t replacing = 0;
    // Free space for the user running the program; `known` false when the
    // drive did not say.
    uint64_t available = 0;
    bool known = false;

    uint64_t Needed() const { return growth + replacing; }
    bool IsShort() const { return known && available < Needed(); }
};

// The need of every drive the files go to, in the order they first appear. A
// target that already holds a file of the same size counts as holding these
// bytes (a second install rewrites nothing) and costs nothing.
std::vector<DriveSpace> CountSpace(const std::vector<PlannedFile>& files);

// The root of the drive `path` lies on, as the file system names it.
std::wstring DriveRootOf(const std::wstring& path);

// The drive as a user names it: "E:" for a lettered drive, else its root.
std::wstring DriveName(const std::wstring& root);

}  // namespace deploy
