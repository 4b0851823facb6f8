// AutoCAD's .cuix menu package: a plain zip (Open Packaging Conventions) of
// .cui parts. Reads parts out of it and writes a new package with some parts
// replaced, every other entry kept byte for byte. Works on the package's bytes
// in memory; needs no Windows API. Deflate goes through zlib's raw streams.
//
// Only what AutoCAD writes is taken: no zip64, no encryption, no sizes after
// the data (data descriptors), only stored and deflated entries, one disk, the
// central directory right before its end record. Part names are matched
// without regard to ASCII case, as the packaging conventions compare them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cuix {

// Why a package was not read or not written; None when it was.
enum class Refusal {
    None,
    NotZip,     // not a zip this code reads: no end record, a header out of place,
                // headers that disagree, more than one disk, two parts of one name
    Zip64,      // a zip64 field or record
    Encrypted,  // an encrypted entry
    Method,     // a compression other than stored and deflated, or a data descriptor
    TooLarge,   // the package, or its parts unpacked together, over kMaxSize, or no
                // memory for them
    BadCrc,     // an entry's data do not unpack to the length and CRC-32 its headers give
    NoPart,     // no entry of the name asked for
};

// The most a package may hold, packed or unpacked: parts are read whole into
// memory, and a 32-bit program has little of it.
inline constexpr size_t kMaxSize = size_t{64} << 20;

// The package's listing of part dates, whose entry for every part re-written
// gets the time of the change.
inline constexpr std::string_view kInfoName = "Menu_Package_Info.xml";

// The names of the package's entries, in the order of its central directory.
// Checks the package's headers, not its data.
Refusal ListParts(std::string_view zip, std::vector<std::string>& names);

// The unpacked bytes of the entry `name` of the package `zip`, checked against
// the length and CRC-32 the headers give. Empty on refusal.
Refusal ReadPart(std::string_view zip, std::string_view name, std::string& content);

struct Replacement {
    std::string name;     // an entry of the package
    std::string content;  // its new unpacked bytes
};

// Writes to `out` the package `zip` with the content of each named part
// replaced; a name given twice takes its later content. Checks the whole
// package first, every entry's data against its CRC-32, and refuses a broken
// one. A replaced entry keeps its place, name, flags, compression (deflated
// again when it was deflated), and its local and central extra fields; it gets
// the caller's DOS time and date and its new CRC-32 and sizes in both headers.
// Every other entry keeps its local header and data byte for byte; entries
// keep their order in the file and in the central directory, whose records
// change only in the offsets of entries that moved; bytes between entries,
// which no entry owns, are not kept. The end record's comment is kept.
// When parts are replaced and the package has kInfoName, it is re-written
// too: the PartData_Modified of each replaced part's PartData, and of its own,
// becomes `modified` (such as "2026-12-09T05:40:12.1234567+08:00"); other
// bytes of it stay, and a replaced part it does not list gets no PartData.
// Empty on refusal.
Refusal ReplaceParts(std::string_view zip, const std::vector<Replacement>& parts,
                     std::string_view modified, uint16_t dosTime, uint16_t dosDate,
                     std::string& out);

}  // namespace cuix
