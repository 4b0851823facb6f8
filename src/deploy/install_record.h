// The install record "INFOFILE": its first line is the AutoCAD folder, and
// every line ends in CR LF. Written in the ANSI code page when its text fits
// it, otherwise as UTF-8 with a byte-order mark; read in either form. The
// install writes, after the folder, the name of every picture it puts into
// the picture folder, one a line (a bare file name), so that the uninstall
// removes those and no file of the user's. The uninstall adds the full path
// of each file it gave back to the user (a file the install had found in its
// way and kept), so that a later uninstall leaves those files alone; an
// install writes the record anew without them. Lines that begin with ":",
// which no file name or path does, say more: ":menu <path>" names a menu
// file the install put its item into (":menu <word> <path>" where the kind
// of menu file keeps a word of what the install did to it); ":file <size> <time> <path>" (both in
// 16 hex digits, the time in FILETIME units) a file the install wrote, by
// its size and last-write time as written, so that a later install knows
// it for its own as long as nothing else changed it. A version of the program that does
// not know them reads them as paths given back, which match no file.
// An install into several AutoCADs names the first in the first line and
// each other in a line ":cad <folder>", followed by the names of the
// pictures it put there; a version that does not know the word skips the
// line and takes those names for pictures of the first.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "waits.h"

namespace deploy {

// Paths of files that are the user's again, by their path as built.
using GivenBack = std::set<std::wstring>;

// Names of the pictures the install deployed, as listed in the payload.
using Pictures = std::vector<std::wstring>;

// Menu files the install put its item into, by full path.
using Menus = std::vector<std::wstring>;

// The files the install wrote, each as OwnedKey gives it.
using Owned = std::set<std::wstring>;

// A file at `path` of `size` bytes, last written at `time`.
std::wstring OwnedKey(const std::wstring& path, uint64_t size, uint64_t time);

// The path of such a key.
std::wstring_view OwnedKeyPath(std::wstring_view key);

// An AutoCAD the install served besides the first, and the pictures it put
// into its picture folder.
struct RecordedCad {
    std::wstring cadDir;
    Pictures pictures;
};

enum class RecordStatus {
    Usable,
    Missing,     // no record file
    Unreadable,  // the file could not be read or its bytes are not text
    Invalid,     // empty, or its first line is not an absolute folder path ending in "\"
    FolderGone,  // the recorded folder does not exist (or is not a folder)
};

struct InstallRecord {
    RecordStatus status = RecordStatus::Missing;
    // The recorded AutoCAD folder; meaningful only when status is Usable, and
    // then an absolute path of an existing folder ending in "\".
    std::wstring cadDir;
    GivenBack givenBack;
    Pictures pictures;
    // None in a record of a version that patched only AutoCAD's own menu.
    Menus menus;
    // "<word> <path>" for each menu of `menus` whose kind keeps a word of
    // it; none for most (MenuWord reads them).
    std::set<std::wstring> menuWords;
    // None in a record of a version that did not know its own files.
    Owned owned;
    // The other AutoCADs served, each folder existing when the record was
    // read; none in a record of one AutoCAD.
    std::vector<RecordedCad> more;

    // Every AutoCAD folder the record names, the first line's first.
    std::vector<std::wstring> CadDirs() const;
};

// Whether `record` is usable and names `cadDir` among its AutoCADs, first or
// not; the pictures it names there then go into `pictures` when given.
bool RecordNames(const InstallRecord& record, const std::wstring& cadDir, Pictures* pictures = nullptr);

// The word `record` keeps for the menu at `path`, "" for none.
std::wstring MenuWord(const InstallRecord& record, const std::wstring& path);

// The bytes of `record` (its status is not written).
std::string EncodeInstallRecord(const InstallRecord& record);

// The bytes of the record for `cadDir`, its pictures and the files given back.
std::string EncodeInstallRecord(const std::wstring& cadDir, const GivenBack& givenBack = {},
                                const Pictures& pictures = {});

InstallRecord ReadInstallRecord(const std::wstring& path);

DWORD WriteInstallRecord(const std::wstring& path, const InstallRecord& record,
                         fileio::Waiter& waiter);

// The first line of the record's bytes as text, or nothing when they are
// not valid text in their encoding.
std::optional<std::wstring> DecodeInstallRecord(std::string_view bytes);

// Every line of the record as text (empty lines dropped after the first).
std::optional<std::vector<std::wstring>> DecodeInstallRecordLines(std::string_view bytes);

// An absolute folder path: "X:\..." or "\\server\share\...", ending in "\",
// without NUL characters.
bool IsAbsoluteFolderPath(const std::wstring& path);

}  // namespace deploy
