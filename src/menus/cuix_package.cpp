#include "cuix_package.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cuix {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagMaskedHeaders = 0x2000;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kAes = 99;

uint16_t Get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

uint32_t Get32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(Get16(b, at)) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}

void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, static_cast<uint16_t>(v & 0xFFFF));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// Field offsets shared by the local header (at +4 from its start) and the
// central record (at +6): flags, method, time, date, CRC-32, sizes.
constexpr size_t kLocalFields = 6;
constexpr size_t kCentralFields = 8;
constexpr size_t kTimeAt = 4, kDateAt = 6, kCrcAt = 8, kPackedAt = 12, kUnpackedAt = 16;

struct Entry {
    size_t central;      // where its central record starts
    size_t centralSize;  // the record with its name, extra field and comment
    size_t local;        // where its local header starts
    size_t dataStart;    // where its packed data start, as the local header says
    uint32_t crc, packed, unpacked;
    uint16_t method;
    std::string_view name;
};

struct Package {
    std::vector<Entry> entries;        // in the order of the central directory
    std::vector<const Entry*> inFile;  // the same, in the order they lie in the file
    size_t centralStart = 0;           // the central directory, up to the end record
    size_t end = 0;                    // the end record
};

// Orders entries, for qsort, by where their local headers lie.
int ByPlace(const void* a, const void* b) {
    const size_t x = (*static_cast<const Entry* const*>(a))->local;
    const size_t y = (*static_cast<const Entry* const*>(b))->local;
    return x < y ? -1 : x > y ? 1 : 0;
}

// Orders entries, for qsort, by name without regard to ASCII case.
int ByName(const void* a, const void* b) {
    const std::string_view x = (*static_cast<const Entry* const*>(a))->name;
    const std::string_view y = (*static_cast<const Entry* const*>(b))->name;
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
        const int d =
            static_cast<uint8_t>(AsciiLower(x[i])) - static_cast<uint8_t>(AsciiLower(y[i]));
        if (d != 0) return d;
    }
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

// Finds the end record: the last signature whose comment length reaches
// exactly the end of the bytes.
bool FindEnd(std::string_view zip, size_t& end) {
    if (zip.size() < kEndSize) return false;
    const size_t last = zip.size() - kEndSize;
    const size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
    for (size_t at = last + 1; at-- > first;) {
        if (Get32(zip, at) == kEndSig && Get16(zip, at + 20) == last - at) {
            end = at;
            return true;
        }
    }
    return false;
}

// What refuses an entry, from its central record's fields, before its local
// header is looked at.
Refusal CheckFields(uint16_t flags, uint16_t method, uint32_t packed, uint32_t unpacked,
                    uint32_t local, uint16_t disk) {
    if (packed == 0xFFFFFFFF || unpacked == 0xFFFFFFFF || local == 0xFFFFFFFF || disk == 0xFFFF) {
        return Refusal::Zip64;
    }
    if ((flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders)) != 0 ||
        method == kAes) {
        return Refusal::Encrypted;
    }
    if ((method != kStored && method != kDeflated) || (flags & kFlagDescriptor) != 0) {
        return Refusal::Method;
    }
    if (disk != 0 || (method == kStored && packed != unpacked)) return Refusal::NotZip;
    return Refusal::None;
}

// Reads and checks every header of the package: nothing read later is out of
// the bytes, local headers agree with their central records, entries do not
// overlap, and no two share a name.
Refusal Parse(std::string_view zip, Package& pkg) {
    if (zip.size() > kMaxSize) return Refusal::TooLarge;
    size_t end = 0;
    if (!FindEnd(zip, end)) return Refusal::NotZip;
    if (end >= kZip64LocatorSize && Get32(zip, end - kZip64LocatorSize) == kZip64LocatorSig) {
        return Refusal::Zip64;
    }
    const uint16_t disk = Get16(zip, end + 4), centralDisk = Get16(zip, end + 6);
    const uint16_t onDisk = Get16(zip, end + 8), count = Get16(zip, end + 10);
    const uint32_t centralSize = Get32(zip, end + 12), centralStart = Get32(zip, end + 16);
    if (onDisk == 0xFFFF || count == 0xFFFF || centralSize == 0xFFFFFFFF ||
        centralStart == 0xFFFFFFFF) {
        return Refusal::Zip64;
    }
    // Both are at most kMaxSize here, so the sum does not wrap.
    if (disk != 0 || centralDisk != 0 || onDisk != count || centralStart > end ||
        centralSize != end - centralStart) {
        return Refusal::NotZip;
    }
    pkg.centralStart = centralStart;
    pkg.end = end;
    pkg.entries.clear();
    pkg.entries.reserve(count);

    size_t at = centralStart;
    size_t total = 0;
    for (uint16_t i = 0; i < count; ++i) {
        if (end - at < kCentralSize || Get32(zip, at) != kCentralSig) return Refusal::NotZip;
        const size_t nameLen = Get16(zip, at + 28);
        const size_t recordSize =
            kCentralSize + nameLen + Get16(zip, at + 30) + Get16(zip, at + 32);
        if (end - at < recordSize) return Refusal::NotZip;
        Entry e;
        e.central = at;
        e.centralSize = recordSize;
        const uint16_t flags = Get16(zip, at + kCentralFields);
        e.method = Get16(zip, at + kCentralFields + 2);
        e.crc = Get32(zip, at + kCentralFields + kCrcAt);
        e.packed = Get32(zip, at + kCentralFields + kPackedAt);
        e.unpacked = Get32(zip, at + kCentralFields + kUnpackedAt);
        e.local = Get32(zip, at + 42);
        e.name = zip.substr(at + kCentralSize, nameLen);
        const Refusal r = CheckFields(flags, e.method, e.packed, e.unpacked, Get32(zip, at + 42),
                                      Get16(zip, at + 34));
        if (r != Refusal::None) return r;
        if (e.unpacked > kMaxSize - total) return Refusal::TooLarge;
        total += e.unpacked;

        // The local header must lie before the central directory, name the
        // same entry and give the same flags, method, CRC-32 and sizes.
        if (e.local > centralStart || centralStart - e.local < kLocalSize ||
            Get32(zip, e.local) != kLocalSig || Get16(zip, e.local + kLocalFields) != flags ||
            Get16(zip, e.local + kLocalFields + 2) != e.method ||
            Get32(zip, e.local + kLocalFields + kCrcAt) != e.crc ||
            Get32(zip, e.local + kLocalFields + kPackedAt) != e.packed ||
            Get32(zip, e.local + kLocalFields + kUnpackedAt) != e.unpacked ||
            Get16(zip, e.local + 26) != nameLen) {
            return Refusal::NotZip;
        }
        const size_t headerSize = kLocalSize + nameLen + Get16(zip, e.local + 28);
        if (centralStart - e.local < headerSize ||
            zip.substr(e.local + kLocalSize, nameLen) != e.name) {
            return Refusal::NotZip;
        }
        e.dataStart = e.local + headerSize;
        if (centralStart - e.dataStart < e.packed) return Refusal::NotZip;
        pkg.entries.push_back(e);
        at += recordSize;
    }
    if (at != end) return Refusal::NotZip;

    // qsort rather than std::sort: the C library's, shared, where each
    // std::sort would add its own code to the shipped program. An empty
    // package has nothing to sort, and qsort takes no null array.
    std::vector<const Entry*>& order = pkg.inFile;
    order.resize(pkg.entries.size());
    if (order.empty()) return Refusal::None;
    for (size_t i = 0; i < order.size(); ++i) order[i] = &pkg.entries[i];
    std::qsort(order.data(), order.size(), sizeof order[0], ByName);
    for (size_t i = 1; i < order.size(); ++i) {
        if (SameName(order[i - 1]->name, order[i]->name)) return Refusal::NotZip;
    }
    std::qsort(order.data(), order.size(), sizeof order[0], ByPlace);
    for (size_t i = 1; i < order.size(); ++i) {
        if (order[i - 1]->dataStart + order[i - 1]->packed > order[i]->local) {
            return Refusal::NotZip;
        }
    }
    return Refusal::None;
}

const Entry* FindEntry(const Package& pkg, std::string_view name) {
    for (const Entry& e : pkg.entries) {
        if (SameName(e.name, name)) return &e;
    }
    return nullptr;
}

// Frees a zlib stream however the function using it returns.
template <int (*End)(z_stream*)>
struct StreamGuard {
    z_stream* stream;
    ~StreamGuard() { End(stream); }
};

// Unpacks the entry's data, checked against the length and CRC-32 of its
// headers, into `content` when given; only checks them otherwise. Never holds
// more than the headers' length, which Parse has bounded.
Refusal Unpack(std::string_view zip, const Entry& e, std::string* content) {
    const std::string_view data = zip.substr(e.dataStart, e.packed);
    if (e.method == kStored) {
        if (crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())) !=
            e.crc) {
            return Refusal::BadCrc;
        }
        if (content) content->assign(data);
        return Refusal::None;
    }
    if (content) {
        content->clear();
        content->reserve(e.unpacked);
    }
    z_stream s{};
    if (inflateInit2(&s, -MAX_WBITS) != Z_OK) return Refusal::TooLarge;
    StreamGuard<inflateEnd> guard{&s};
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    unsigned char buffer[32768];
    uLong crc = crc32(0, nullptr, 0);
    size_t total = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        s.next_out = buffer;
        s.avail_out = sizeof buffer;
        rc = inflate(&s, Z_NO_FLUSH);
        if (rc == Z_MEM_ERROR) return Refusal::TooLarge;
        // Anything else but progress is bad or cut-short data.
        if (rc != Z_OK && rc != Z_STREAM_END) return Refusal::BadCrc;
        const size_t got = sizeof buffer - s.avail_out;
        if (got > e.unpacked - total) return Refusal::BadCrc;
        total += got;
        crc = crc32(crc, buffer, static_cast<uInt>(got));
        if (content) content->append(reinterpret_cast<const char*>(buffer), got);
    }
    // The stream must end exactly where the packed data do.
    if (s.avail_in != 0 || total != e.unpacked || crc != e.crc) return Refusal::BadCrc;
    return Refusal::None;
}

// Appends `data` to `out` as one raw deflate stream, at zlib's default level,
// which gives the bytes AutoCAD's own packages hold.
Refusal Deflate(std::string_view data, std::string& out) {
    z_stream s{};
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return Refusal::TooLarge;
    }
    StreamGuard<deflateEnd> guard{&s};
    const size_t start = out.size();
    const uLong bound = deflateBound(&s, static_cast<uLong>(data.size()));
    out.resize(start + bound);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[start]);
    s.avail_out = static_cast<uInt>(bound);
    // deflateBound leaves room for the whole stream, so one call finishes it.
    const int rc = deflate(&s, Z_FINISH);
    out.resize(start + bound - s.avail_out);
    return rc == Z_STREAM_END ? Refusal::None : Refusal::TooLarge;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Appends `text` made fit for an XML attribute value in either quote.
void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            case '\'':
                out.append("&apos;");
                break;
            default:
                out.push_back(c);
        }
    }
}

// The package's listing of part dates with PartData_Modified set to
// `modified` in each PartData element whose PartData_Name is "/" and one of
// `names`. Reads the elements' attributes one by one, so other elements,
// attributes and bytes go through as they are; a PartData it cannot read to
// its end stops the search there.
std::string StampDates(std::string_view xml, const std::vector<std::string_view>& names,
                       std::string_view modified) {
    constexpr std::string_view kTag = "<PartData";
    std::string out;
    out.reserve(xml.size() + names.size() * (modified.size() + 8));
    size_t copied = 0;
    size_t pos = 0;
    while ((pos = xml.find(kTag, pos)) != std::string_view::npos) {
        pos += kTag.size();
        if (pos >= xml.size() || !IsSpace(xml[pos])) continue;
        bool wanted = false;
        size_t valueStart = 0, valueEnd = 0;  // the PartData_Modified value, if any
        bool closed = false;
        while (pos < xml.size()) {
            while (pos < xml.size() && IsSpace(xml[pos])) ++pos;
            if (pos < xml.size() && (xml[pos] == '/' || xml[pos] == '>')) {
                closed = true;
                break;
            }
            const size_t nameStart = pos;
            while (pos < xml.size() && xml[pos] != '=' && !IsSpace(xml[pos]) && xml[pos] != '>') {
                ++pos;
            }
            const std::string_view attr = xml.substr(nameStart, pos - nameStart);
            while (pos < xml.size() && IsSpace(xml[pos])) ++pos;
            if (pos >= xml.size() || xml[pos] != '=') break;
            ++pos;
            while (pos < xml.size() && IsSpace(xml[pos])) ++pos;
            if (pos >= xml.size() || (xml[pos] != '"' && xml[pos] != '\'')) break;
            const size_t close = xml.find(xml[pos], pos + 1);
            if (close == std::string_view::npos) break;
            const std::string_view value = xml.substr(pos + 1, close - pos - 1);
            if (attr == "PartData_Name" && !value.empty() && value[0] == '/') {
                for (std::string_view n : names) wanted = wanted || SameName(value.substr(1), n);
            } else if (attr == "PartData_Modified") {
                valueStart = pos + 1;
                valueEnd = close;
            }
            pos = close + 1;
        }
        if (!closed) break;
        if (wanted && valueEnd != 0) {
            out.append(xml.substr(copied, valueStart - copied));
            AppendEscaped(out, modified);
            copied = valueEnd;
        }
    }
    out.append(xml.substr(copied));
    return out;
}

Refusal Rebuild(std::string_view zip, const std::vector<Replacement>& parts,
                std::string_view modified, uint16_t dosTime, uint16_t dosDate, std::string& out) {
    Package pkg;
    Refusal r = Parse(zip, pkg);
    if (r != Refusal::None) return r;

    // Which entry each replacement names; a later one of the same name wins.
    std::vector<const std::string*> contents(pkg.entries.size(), nullptr);
    size_t replacedSize = 0;
    for (const Replacement& part : parts) {
        const Entry* e = FindEntry(pkg, part.name);
        if (!e) return Refusal::NoPart;
        if (part.content.size() > kMaxSize) return Refusal::TooLarge;
        contents[e - pkg.entries.data()] = &part.content;
    }

    // Every entry's data checked, the listing of dates kept to re-write.
    const Entry* info = parts.empty() ? nullptr : FindEntry(pkg, kInfoName);
    std::string infoText;
    for (const Entry& e : pkg.entries) {
        r = Unpack(zip, e, &e == info ? &infoText : nullptr);
        if (r != Refusal::None) return r;
    }
    if (info) {
        std::vector<std::string_view> names;
        for (size_t i = 0; i < pkg.entries.size(); ++i) {
            if (contents[i]) names.push_back(pkg.entries[i].name);
        }
        names.push_back(info->name);
        const size_t index = info - pkg.entries.data();
        infoText = StampDates(contents[index] ? std::string_view(*contents[index]) : infoText,
                              names, modified);
        contents[index] = &infoText;
    }
    for (const std::string* c : contents) replacedSize += c ? c->size() : 0;
    if (replacedSize > kMaxSize) return Refusal::TooLarge;

    out.clear();
    out.reserve(zip.size() + replacedSize / 4 + 1024);

    // Local entries in the order they lie in the file.
    std::vector<size_t> newLocal(pkg.entries.size());
    for (const Entry* inFile : pkg.inFile) {
        const Entry& e = *inFile;
        const size_t i = inFile - pkg.entries.data();
        newLocal[i] = out.size();
        if (!contents[i]) {
            out.append(zip.substr(e.local, e.dataStart + e.packed - e.local));
            continue;
        }
        const std::string_view content = *contents[i];
        const size_t header = out.size();
        out.append(zip.substr(e.local, e.dataStart - e.local));
        if (e.method == kStored) {
            out.append(content);
        } else {
            r = Deflate(content, out);
            if (r != Refusal::None) return r;
        }
        const size_t packed = out.size() - (header + (e.dataStart - e.local));
        if (packed > kMaxSize) return Refusal::TooLarge;
        const size_t fields = header + kLocalFields;
        Put16(out, fields + kTimeAt, dosTime);
        Put16(out, fields + kDateAt, dosDate);
        Put32(out, fields + kCrcAt,
              static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                          static_cast<uInt>(content.size()))));
        Put32(out, fields + kPackedAt, static_cast<uint32_t>(packed));
        Put32(out, fields + kUnpackedAt, static_cast<uint32_t>(content.size()));
    }
    if (out.size() > kMaxSize) return Refusal::TooLarge;

    // Central records in their own order, each pointing at its entry's new
    // place; a replaced entry's copies the fields of its new local header.
    const size_t centralStart = out.size();
    for (size_t i = 0; i < pkg.entries.size(); ++i) {
        const Entry& e = pkg.entries[i];
        const size_t record = out.size();
        out.append(zip.substr(e.central, e.centralSize));
        Put32(out, record + 42, static_cast<uint32_t>(newLocal[i]));
        if (contents[i]) {
            std::memcpy(&out[record + kCentralFields + kTimeAt],
                        &out[newLocal[i] + kLocalFields + kTimeAt], kUnpackedAt + 4 - kTimeAt);
        }
    }
    const size_t endRecord = out.size();
    out.append(zip.substr(pkg.end));
    Put32(out, endRecord + 12, static_cast<uint32_t>(endRecord - centralStart));
    Put32(out, endRecord + 16, static_cast<uint32_t>(centralStart));
    return Refusal::None;
}

}  // namespace

Refusal ListParts(std::string_view zip, std::vector<std::string>& names) {
    try {
        names.clear();
        Package pkg;
        const Refusal r = Parse(zip, pkg);
        if (r != Refusal::None) return r;
        names.reserve(pkg.entries.size());
        for (const Entry& e : pkg.entries) names.emplace_back(e.name);
        return Refusal::None;
    } catch (...) {  // only allocation throws
        names.clear();
        return Refusal::TooLarge;
    }
}

// Both build their result apart and hand it over at the end, so that `zip`
// may view the string the result goes to.
Refusal ReadPart(std::string_view zip, std::string_view name, std::string& content) {
    try {
        std::string result;
        Package pkg;
        Refusal r = Parse(zip, pkg);
        if (r == Refusal::None) {
            const Entry* e = FindEntry(pkg, name);
            r = e ? Unpack(zip, *e, &result) : Refusal::NoPart;
        }
        if (r == Refusal::None) {
            result.swap(content);
        } else {
            content.clear();
        }
        return r;
    } catch (...) {  // only allocation throws
        content.clear();
        return Refusal::TooLarge;
    }
}

Refusal ReplaceParts(std::string_view zip, const std::vector<Replacement>& parts,
                     std::string_view modified, uint16_t dosTime, uint16_t dosDate,
                     std::string& out) {
    try {
        std::string result;
        const Refusal r = Rebuild(zip, parts, modified, dosTime, dosDate, result);
        if (r == Refusal::None) {
            result.swap(out);
        } else {
            out.clear();
        }
        return r;
    } catch (...) {  // only allocation throws
        out.clear();
        return Refusal::TooLarge;
    }
}

}  // namespace cuix
