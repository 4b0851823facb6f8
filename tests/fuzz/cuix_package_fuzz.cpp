// libFuzzer target for the .cuix package reader and writer. Takes arbitrary
// bytes as a package and traps as soon as one of the properties the installer
// relies on stops holding:
//   - a refused read or write leaves nothing behind, and reading refuses a
//     package for the reason listing its parts does;
//   - a package is refused for bad data only when one of its parts does not
//     read back;
//   - a written package lists the same parts in the same order, every part of
//     it reads back (CRC-32 checked), a replaced part with its new content,
//     and every other part but the listing of dates with its local header and
//     data byte for byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cuix_package.h"

// Names the broken property, then stops the fuzzer with the input kept.
#define CHECK(cond)                                                                            \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "cuix_package_fuzz:%d: check failed: %s\n", __LINE__, #cond); \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

namespace {

uint32_t Get(std::string_view b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes; i-- > 0;) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

// The local header and data of the i-th entry of the central directory, of a
// package ListParts has accepted (so every offset read is in range); found
// the way the module finds them, independently written.
std::string_view RawLocal(std::string_view zip, size_t index) {
    size_t end = zip.size() - 22;
    while (Get(zip, end, 4) != 0x06054b50 || Get(zip, end + 20, 2) != zip.size() - 22 - end) --end;
    size_t at = Get(zip, end + 16, 4);
    for (size_t i = 0; i < index; ++i) {
        at += 46 + Get(zip, at + 28, 2) + Get(zip, at + 30, 2) + Get(zip, at + 32, 2);
    }
    const size_t local = Get(zip, at + 42, 4);
    return zip.substr(
        local, 30 + Get(zip, local + 26, 2) + Get(zip, local + 28, 2) + Get(zip, at + 20, 4));
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view zip(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    const cuix::Refusal listed = cuix::ListParts(zip, names);
    CHECK(listed == cuix::Refusal::None || names.empty());

    // Reads refuse as the listing does, or find the part or say it is absent.
    std::vector<std::string> contents;
    bool unreadable = false;
    for (const std::string& name : names) {
        std::string content = "left over";
        const cuix::Refusal r = cuix::ReadPart(zip, name, content);
        CHECK(r == cuix::Refusal::None || content.empty());
        CHECK(r != cuix::Refusal::NoPart);
        unreadable = unreadable || r != cuix::Refusal::None;
        contents.push_back(content);
    }
    std::string content = "left over";
    const cuix::Refusal absent = cuix::ReadPart(zip, "MenuGroup.cui", content);
    CHECK(absent == cuix::Refusal::None || content.empty());
    if (listed != cuix::Refusal::None) {
        CHECK(absent == listed);
    } else {
        bool listedName = false;
        for (const std::string& name : names)
            listedName = listedName || SameName(name, "MenuGroup.cui");
        CHECK(listedName || absent == cuix::Refusal::NoPart);
    }

    // Replaces up to two parts the last bytes choose, with content taken from
    // the input, so that stored, deflated and empty contents all come up.
    std::vector<cuix::Replacement> parts;
    std::vector<bool> replaced(names.size(), false);
    if (!names.empty() && size >= 2) {
        for (size_t k = 1; k <= 2; ++k) {
            const size_t i = data[size - k] % names.size();
            const size_t length = data[size - k] % 97 * (size / 64 + 1);
            parts.push_back({names[i], std::string(zip.substr(0, std::min(length, size)))});
            replaced[i] = true;
        }
    } else {
        parts.push_back({"MenuGroup.cui", "<MenuGroup/>"});
    }
    std::string out = "left over";
    const cuix::Refusal r =
        cuix::ReplaceParts(zip, parts, "2026-12-09T05:40:12.1234567+08:00", 0x1234, 0x5678, out);
    if (r != cuix::Refusal::None) {
        CHECK(out.empty());
        if (listed != cuix::Refusal::None) CHECK(r == listed);
        if (r == cuix::Refusal::BadCrc) CHECK(unreadable);
        if (r == cuix::Refusal::NoPart) CHECK(names.empty());
        return 0;
    }
    CHECK(listed == cuix::Refusal::None && !unreadable);

    std::vector<std::string> outNames;
    CHECK(cuix::ListParts(out, outNames) == cuix::Refusal::None);
    CHECK(outNames == names);
    for (size_t i = 0; i < names.size(); ++i) {
        std::string readBack;
        CHECK(cuix::ReadPart(out, names[i], readBack) == cuix::Refusal::None);
        if (SameName(names[i], cuix::kInfoName)) continue;
        if (replaced[i]) {
            // The later replacement of the same part wins.
            CHECK(readBack == (SameName(parts[1].name, names[i]) ? parts[1] : parts[0]).content);
        } else {
            CHECK(readBack == contents[i]);
            CHECK(RawLocal(out, i) == RawLocal(zip, i));
        }
    }
    return 0;
}
