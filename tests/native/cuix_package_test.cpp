// The .cuix package: parts read as unzip gives them, replaced parts read back
// with their new content while every other entry keeps its bytes, the dates of
// re-written parts, and broken packages refused without output.
#include "cuix_package.h"
#include "cui_text.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, static_cast<uint16_t>(v & 0xFFFF));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

uint16_t Get16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

uint32_t Get32(const std::string& b, size_t at) {
    return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}

std::string Le16(uint16_t v) {
    std::string s(2, '\0');
    Put16(s, 0, v);
    return s;
}

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    Put32(s, 0, v);
    return s;
}

std::string RawDeflate(const std::string& data) {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, data.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(out.size() - s.avail_out);
    deflateEnd(&s);
    return out;
}

struct TestEntry {
    std::string name;
    std::string content;
    bool deflated;
};

// A zip laid out as AutoCAD writes a .cuix: deflated entries with flag bit 1,
// a 28-byte padding extra field (ID 0xA220) in each local header only, and
// here an end-record comment too.
std::string BuildZip(const std::vector<TestEntry>& entries, const std::string& comment) {
    std::string zip, central;
    for (const TestEntry& e : entries) {
        const std::string data = e.deflated ? RawDeflate(e.content) : e.content;
        const uint16_t flags = e.deflated ? 2 : 0;
        const std::string fields =
            Le16(flags) + Le16(e.deflated ? 8 : 0) + Le16(0x0400) + Le16(0x4248) +
            Le32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.content.data()),
                                             static_cast<uInt>(e.content.size())))) +
            Le32(static_cast<uint32_t>(data.size())) +
            Le32(static_cast<uint32_t>(e.content.size()));
        const std::string extra = Le16(0xA220) + Le16(24) + std::string(24, '\0');
        central += Le32(0x02014b50) + Le16(45) + Le16(20) + fields +
                   Le16(static_cast<uint16_t>(e.name.size())) + Le16(0) + Le16(0) + Le16(0) +
                   Le16(0) + Le32(0) + Le32(static_cast<uint32_t>(zip.size())) + e.name;
        zip += Le32(0x04034b50) + Le16(20) + fields + Le16(static_cast<uint16_t>(e.name.size())) +
               Le16(static_cast<uint16_t>(extra.size())) + e.name + extra + data;
    }
    const uint16_t count = static_cast<uint16_t>(entries.size());
    const uint32_t centralStart = static_cast<uint32_t>(zip.size());
    zip += central + Le32(0x06054b50) + Le16(0) + Le16(0) + Le16(count) + Le16(count) +
           Le32(static_cast<uint32_t>(central.size())) + Le32(centralStart) +
           Le16(static_cast<uint16_t>(comment.size())) + comment;
    return zip;
}

struct RawEntry {
    std::string name;
    std::string local;    // local header, name, extra field and data
    std::string central;  // the central record without its local offset
    size_t localOffset;
};

// Each entry's bytes in the central directory's order, read with no code of
// the module under test. Expects a package that module wrote or accepted.
std::vector<RawEntry> RawEntries(const std::string& zip) {
    const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    const size_t count = Get16(zip, end + 10);
    size_t at = Get32(zip, end + 16);
    std::vector<RawEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const size_t nameLen = Get16(zip, at + 28);
        const size_t size = 46 + nameLen + Get16(zip, at + 30) + Get16(zip, at + 32);
        RawEntry e;
        e.name = zip.substr(at + 46, nameLen);
        e.central = zip.substr(at, 42) + zip.substr(at + 46, size - 46);
        e.localOffset = Get32(zip, at + 42);
        const size_t local = e.localOffset;
        const size_t localSize =
            30 + Get16(zip, local + 26) + Get16(zip, local + 28) + Get32(zip, local + 18);
        e.local = zip.substr(local, localSize);
        entries.push_back(e);
        at += size;
    }
    return entries;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t Fnv1a(const std::string& data) {
    uint64_t h = 0xcbf29ce484222325u;
    for (char c : data) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3u;
    return h;
}

std::string Read(const std::string& zip, const std::string& name) {
    std::string content;
    EXPECT_EQ(cuix::ReadPart(zip, name, content), cuix::Refusal::None) << name;
    return content;
}

const std::string kModified = "2026-12-09T05:40:12.1234567+08:00";

std::string InfoXml(const std::vector<std::string>& names) {
    std::string xml =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<MenuPackageParts>\r\n";
    for (const std::string& n : names) {
        xml += "  <PartData PartData_Name=\"/" + n +
               "\" PartData_Modified=\"2014-04-01T20:00:17.3157082+09:00\" />\r\n";
    }
    return xml + "</MenuPackageParts>";
}

class CuixRealPackage : public ::testing::Test {
  protected:
    void SetUp() override {
        zip_ = ReadFile(std::string(TS_SHARED_CUI) + "/acad2014-enu.cuix");
        if (zip_.empty()) GTEST_SKIP() << "no " TS_SHARED_CUI "/acad2014-enu.cuix";
    }
    std::string zip_;
};

// Sizes and FNV-1a hashes of what `unzip -p` gives.
TEST_F(CuixRealPackage, ReadsPartsAsUnzipDoes) {
    const std::string menuGroup = Read(zip_, "MenuGroup.cui");
    EXPECT_EQ(menuGroup.size(), 1189811u);
    EXPECT_EQ(Fnv1a(menuGroup), 0x0a517c06c1b835edu);
    const std::string popMenus = Read(zip_, "popmenuroot.CUI");
    EXPECT_EQ(popMenus.size(), 414957u);
    EXPECT_EQ(Fnv1a(popMenus), 0xf1eb02a3c80b649bu);

    std::string content = "left over";
    EXPECT_EQ(cuix::ReadPart(zip_, "MenuGroup", content), cuix::Refusal::NoPart);
    EXPECT_TRUE(content.empty());
}

TEST_F(CuixRealPackage, ReplacingKeepsOtherEntriesAndDatesOnlyReplacedParts) {
    const std::string oldInfo = Read(zip_, "Menu_Package_Info.xml");
    const std::string menuGroup = Read(zip_, "MenuGroup.cui") + "<!-- added -->\r\n";
    std::string out;
    ASSERT_EQ(cuix::ReplaceParts(zip_, {{"MenuGroup.cui", menuGroup}, {"PopMenuRoot.cui", "<x/>"}},
                                 kModified, 0x1234, 0x5D89, out),
              cuix::Refusal::None);
    EXPECT_EQ(Read(out, "MenuGroup.cui"), menuGroup);
    EXPECT_EQ(Read(out, "PopMenuRoot.cui"), "<x/>");

    const std::vector<RawEntry> before = RawEntries(zip_), after = RawEntries(out);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(after[i].name, before[i].name);
        if (i > 0) {
            EXPECT_GT(after[i].localOffset, after[i - 1].localOffset) << after[i].name;
        }
        const std::string& n = before[i].name;
        if (n == "MenuGroup.cui" || n == "PopMenuRoot.cui" || n == "Menu_Package_Info.xml") {
            EXPECT_EQ(Get16(after[i].local, 10), 0x1234) << n;
            EXPECT_EQ(Get16(after[i].local, 12), 0x5D89) << n;
            EXPECT_EQ(after[i].local.substr(30, 28 + n.size()),
                      before[i].local.substr(30, 28 + n.size()));
        } else {
            EXPECT_EQ(after[i].local, before[i].local) << n;
            EXPECT_EQ(after[i].central, before[i].central) << n;
        }
    }

    // The old listing with the three re-written parts' dates changed.
    std::string expected = oldInfo;
    for (const std::string part :
         {"/MenuGroup.cui\" PartData_Modified=\"2013-02-08T00:15:00.9899139-08:00",
          "/PopMenuRoot.cui\" PartData_Modified=\"2013-02-08T00:15:04.6559609-08:00",
          "/Menu_Package_Info.xml\" PartData_Modified=\"2013-02-08T00:15:05.4827715-08:00"}) {
        const size_t at = expected.find(part);
        ASSERT_NE(at, std::string::npos) << part;
        expected.replace(at + part.size() - kModified.size(), kModified.size(), kModified);
    }
    EXPECT_EQ(Read(out, "Menu_Package_Info.xml"), expected);
}

TEST(CuixBuiltPackage, ReplacesStoredAndDeflatedPartsInPlace) {
    const std::vector<std::string> names = {"Header.cui", "_rels/.rels", "MenuGroup.cui",
                                            "Menu_Package_Info.xml", "[Content_Types].xml"};
    const std::string zip = BuildZip({{names[0], "<Header/>", true},
                                      {names[1], "<Relationships/>", false},
                                      {names[2], std::string(5000, 'm'), true},
                                      {names[3], InfoXml({names[0], names[2], names[3]}), true},
                                      {names[4], "<Types/>", true}},
                                     "kept");
    const std::string rels(3000, 'r');
    std::string out;
    ASSERT_EQ(cuix::ReplaceParts(
                  zip, {{"_RELS/.rels", "first"}, {"header.cui", ""}, {"_rels/.rels", rels}},
                  kModified, 0x1111, 0x2222, out),
              cuix::Refusal::None);

    EXPECT_EQ(Read(out, names[0]), "");
    EXPECT_EQ(Read(out, names[1]), rels);
    EXPECT_EQ(Read(out, names[2]), std::string(5000, 'm'));
    EXPECT_EQ(Read(out, names[4]), "<Types/>");
    std::string info = InfoXml({names[0], names[2], names[3]});
    for (const std::string& n : {names[0], names[3]}) {
        const size_t at = info.find("/" + n + "\" PartData_Modified=\"") + n.size() + 22;
        info.replace(at, 33, kModified);
    }
    EXPECT_EQ(Read(out, names[3]), info);

    const std::vector<RawEntry> before = RawEntries(zip), after = RawEntries(out);
    ASSERT_EQ(after.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(after[i].name, names[i]);
        if (i > 0) {
            EXPECT_GT(after[i].localOffset, after[i - 1].localOffset);
        }
    }
    // The stored part stays stored, the deflated one deflated; both keep flags
    // and extra fields.
    EXPECT_EQ(Get16(after[1].local, 8), 0);
    EXPECT_EQ(Get32(after[1].local, 18), rels.size());
    EXPECT_EQ(Get16(after[0].local, 8), 8);
    EXPECT_EQ(Get16(after[0].local, 6), 2);
    EXPECT_EQ(after[0].local.substr(30, 38), before[0].local.substr(30, 38));
    EXPECT_EQ(after[2].local, before[2].local);
    EXPECT_EQ(after[4].local, before[4].local);
    EXPECT_EQ(out.substr(out.size() - 4), "kept");

    out = "left over";
    EXPECT_EQ(cuix::ReplaceParts(zip, {{"Absent.cui", "x"}}, kModified, 0, 0, out),
              cuix::Refusal::NoPart);
    EXPECT_TRUE(out.empty());
}

TEST(CuixBuiltPackage, RefusesBrokenPackagesAndWritesNothing) {
    const std::string zip = BuildZip(
        {{"_rels/.rels", "<Relationships/>", false}, {"MenuGroup.cui", "<MenuGroup/>", true}}, "");
    const size_t central0 = zip.find(std::string("PK\x01\x02", 4));
    const size_t central1 = zip.find(std::string("PK\x01\x02", 4), central0 + 4);
    const size_t local1 = Get32(zip, central1 + 42);

    struct Case {
        const char* what;
        std::string zip;
        cuix::Refusal refusal;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, cuix::Refusal refusal, auto&& change) {
        Case c{what, zip, refusal};
        change(c.zip);
        cases.push_back(c);
    };
    add("stored byte changed", cuix::Refusal::BadCrc, [](std::string& z) { z[30 + 11 + 28] ^= 1; });
    add("deflated byte changed", cuix::Refusal::BadCrc,
        [&](std::string& z) { z[local1 + 30 + 13 + 28 + 2] ^= 0x20; });
    add("zip64 size", cuix::Refusal::Zip64, [&](std::string& z) {
        Put32(z, central1 + 20, 0xFFFFFFFF);
        Put32(z, local1 + 18, 0xFFFFFFFF);
    });
    add("encrypted", cuix::Refusal::Encrypted, [&](std::string& z) {
        Put16(z, central1 + 8, 3);
        Put16(z, local1 + 6, 3);
    });
    add("method 12", cuix::Refusal::Method, [&](std::string& z) {
        Put16(z, central1 + 10, 12);
        Put16(z, local1 + 8, 12);
    });
    add("data descriptor", cuix::Refusal::Method, [&](std::string& z) {
        Put16(z, central1 + 8, 10);
        Put16(z, local1 + 6, 10);
    });
    add("local name differs", cuix::Refusal::NotZip, [&](std::string& z) { z[local1 + 30] = 'N'; });
    add("truncated", cuix::Refusal::NotZip, [](std::string& z) { z.pop_back(); });
    add("zip64 locator", cuix::Refusal::Zip64,
        [](std::string& z) { z.insert(z.size() - 22, Le32(0x07064b50) + std::string(16, '\0')); });

    for (const Case& c : cases) {
        std::string out = "left over";
        EXPECT_EQ(cuix::ReplaceParts(c.zip, {{"MenuGroup.cui", "<new/>"}}, kModified, 0, 0, out),
                  c.refusal)
            << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
    }
}

}  // namespace

namespace {

// Every occurrence of `from` in `text` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Two readers that are not ours open the package: Python's zipfile, with
// every CRC checked, and .NET's packaging API where Mono is installed.
// The package goes to a folder of its own under the temporary folder; the
// readers' build is kept in the build folder.
void ExpectOthersRead(const std::string& zip, const std::string& name) {
    char folder[] = "/tmp/tssetup-cuix.XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/" + name + ".cuix", log = path + ".log";
    std::ofstream(path, std::ios::binary) << zip;
    const std::string command =
        "python3 \"" TS_PACKAGE_CHECKER "\" \"" TS_BUILD_DIR "\" \"" + path + "\" >\"" + log + "\" 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(log);
    std::remove(path.c_str());
    std::remove(log.c_str());
    ::rmdir(folder);
}

}  // namespace

// The package as other releases and other users' machines hold it: a
// byte-order mark where the shipped one has none and none where it has one,
// the declaration and the opening comment on one line, "/>" with no space
// before it, a partial menu named by an absolute path in Chinese, and dozens
// of images. The item goes in and out again, and every part comes back.
TEST_F(CuixRealPackage, AnotherWritersPackageTakesTheItemAndGivesEveryPartBack) {
    std::vector<std::string> names;
    ASSERT_EQ(cuix::ListParts(zip_, names), cuix::Refusal::None);
    const std::string bom = "\xEF\xBB\xBF";
    std::vector<TestEntry> entries;
    for (const std::string& name : names) {
        std::string content = Read(zip_, name);
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cui") == 0) {
            content = Replaced(content, "<?xml version=\"1.0\"?>\r\n<!--", "<?xml version=\"1.0\"?><!--");
            content = Replaced(content, "\" />", "\"/>");
            if (name == "MenuGroup.cui") content = content.substr(bom.size());
            if (name == "PopMenuRoot.cui") content = bom + content;
        }
        if (name == "Header.cui")
            content = Replaced(content, "<PartialMenuFile>custom.cuix</PartialMenuFile>",
                               "<PartialMenuFile>D:\\\xE8\xAE\xBE\xE8\xAE\xA1\\\xE8\x8F\x9C\xE5\x8D\x95"
                               "\\\xE8\x87\xAA\xE5\xAE\x9A\xE4\xB9\x89.cuix</PartialMenuFile>");
        if (name == "_rels/.rels") content = content.substr(bom.size());
        if (name == "[Content_Types].xml")
            content = Replaced(content, "</Types>", "<Default Extension=\"bmp\" ContentType=\"image/bmp\" /></Types>");
        entries.push_back({name, content, name != "_rels/.rels"});
    }
    for (int i = 0; i < 40; ++i)
        entries.push_back({"Images/RCDATA_16_" + std::to_string(i) + ".bmp",
                           "BM" + std::string(800 + i, static_cast<char>(i)), true});
    const std::string zip = BuildZip(entries, "");
    ExpectOthersRead(zip, "another-writer");
    const std::string macros = Read(zip, "MenuGroup.cui"), menus = Read(zip, "PopMenuRoot.cui");

    const cui::PartsEdit added = cui::AddItemToParts(macros, menus);
    ASSERT_EQ(added.refusal, cui::Refusal::None);
    ASSERT_TRUE(added.macrosChanged && added.menusChanged);
    EXPECT_EQ(added.menus.substr(0, 3), bom);
    EXPECT_NE(added.macros.substr(0, 3), bom);
    std::string with;
    ASSERT_EQ(cuix::ReplaceParts(zip, {{"MenuGroup.cui", added.macros}, {"PopMenuRoot.cui", added.menus}},
                                 kModified, 0x1234, 0x5D89, with),
              cuix::Refusal::None);
    ExpectOthersRead(with, "another-writer-with-item");

    const cui::PartsEdit removed = cui::RemoveItemFromParts(
        Read(with, "MenuGroup.cui"), Read(with, "PopMenuRoot.cui"), added.madeUserGroup);
    ASSERT_EQ(removed.refusal, cui::Refusal::None);
    EXPECT_EQ(removed.macros, macros);
    EXPECT_EQ(removed.menus, menus);
    std::string without;
    ASSERT_EQ(cuix::ReplaceParts(with, {{"MenuGroup.cui", removed.macros}, {"PopMenuRoot.cui", removed.menus}},
                                 kModified, 0x1234, 0x5D89, without),
              cuix::Refusal::None);
    ExpectOthersRead(without, "another-writer-without-item");
    std::vector<std::string> after;
    ASSERT_EQ(cuix::ListParts(without, after), cuix::Refusal::None);
    ASSERT_EQ(after.size(), entries.size());
    for (const TestEntry& e : entries) {
        if (e.name != cuix::kInfoName) {
            EXPECT_EQ(Read(without, e.name), e.content) << e.name;
        }
    }
}
