// Decisions made on a folder entry's attribute bits. Kept apart from the file
// system so every combination can be checked, including ones a test file
// system cannot produce (Wine, for one, never reports read-only folders).
#pragma once

#include <cstdint>

namespace attr {

inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kSystem = 0x04;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;

// The five bits the folder search looks at; any other bit (not-content-indexed,
// compressed, reparse point, ...) has no say.
inline constexpr uint32_t kConsidered = kReadOnly | kHidden | kSystem | kDirectory | kArchive;

// A plain folder: a directory with none of read-only, hidden, system or archive.
constexpr bool IsPlainFolder(uint32_t attributes) {
    return (attributes & kConsidered) == kDirectory;
}

// An entry a listing of plain files yields: neither a folder nor hidden nor
// system. Read-only and archive files are included.
constexpr bool IsListedPlainFile(uint32_t attributes) {
    return (attributes & (kDirectory | kHidden | kSystem)) == 0;
}

// A file the uninstall may delete from the picture folder: what the install
// can have put there. The install copies plain files and never carries
// attributes over, so what it wrote is never read-only, hidden or system.
constexpr bool IsRemovablePicture(uint32_t attributes) {
    return (attributes & (kDirectory | kHidden | kSystem | kReadOnly)) == 0;
}

}  // namespace attr
