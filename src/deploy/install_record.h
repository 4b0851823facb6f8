// The install record "INFOFILE": one line, the AutoCAD folder, ended by CR LF.
// Written in the ANSI code page when the folder's name fits it, otherwise as
// UTF-8 with a byte-order mark; read in either form.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace deploy {

// The bytes of the record for `cadDir`.
std::string EncodeInstallRecord(const std::wstring& cadDir);

DWORD WriteInstallRecord(const std::wstring& path, const std::wstring& cadDir);

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
};

InstallRecord ReadInstallRecord(const std::wstring& path);

// The first line of the record's bytes as text, or nothing when they are
// not valid text in their encoding.
std::optional<std::wstring> DecodeInstallRecord(std::string_view bytes);

// An absolute folder path: "X:\..." or "\\server\share\...", ending in "\",
// without NUL characters.
bool IsAbsoluteFolderPath(const std::wstring& path);

}  // namespace deploy
