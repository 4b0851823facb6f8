// The install record "INFOFILE": its first line is the AutoCAD folder, and
// every line ends in CR LF. Written in the ANSI code page when its text fits
// it, otherwise as UTF-8 with a byte-order mark; read in either form. The
// install writes, after the folder, the name of every picture it puts into
// the picture folder, one a line (a bare file name), so that the uninstall
// removes those and no file of the user's. The uninstall adds the full path
// of each file it gave back to the user (a file the install had found in its
// way and kept), so that a later uninstall leaves those files alone; an
// install writes the record anew without them.
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

// The bytes of the record for `cadDir`, its pictures and the files given back.
std::string EncodeInstallRecord(const std::wstring& cadDir, const GivenBack& givenBack = {},
                                const Pictures& pictures = {});

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
};

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
