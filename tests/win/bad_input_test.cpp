// Bad input of every kind, each a named fixture: the message the user sees,
// and nothing outside the files the program owns changed.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "encoding.h"
#include "replacing_writer.h"
#include "reports.h"
#include "side_files.h"
#include "disk_space.h"
#include "handles.h"
#include "install_record.h"
#include "menu_file.h"
#include "menu_text.h"
#include "messages.h"
#include "module1.h"
#include "procedures.h"
#include "test_support.h"

using namespace test;

namespace {

using Messages = std::vector<std::wstring>;
const Messages kDone{deploy::text::kImportDone};

// What changed between two snapshots, outside the paths `owned` allows
// (a path is allowed when it starts with one of them).
std::vector<std::wstring> ChangedOutside(const Snapshot& before, const Snapshot& after,
                                         const std::vector<std::wstring>& owned) {
    std::set<std::wstring> paths;
    for (const auto& [p, c] : before) paths.insert(p);
    for (const auto& [p, c] : after) paths.insert(p);
    std::vector<std::wstring> changed;
    for (const std::wstring& p : paths) {
        const auto b = before.find(p), a = after.find(p);
        const bool same = b != before.end() && a != after.end() && b->second == a->second;
        if (same) continue;
        bool ours = false;
        for (const std::wstring& o : owned) ours |= p.compare(0, o.size(), o) == 0;
        if (!ours) changed.push_back(p);
    }
    return changed;
}

// The install into a sandbox, with what it may change, relative to the
// sandbox's root.
struct InstallCase {
    Sandbox box;
    RecordingHost host{box.folders.appDir};
    std::wstring cad;
    std::wstring cadRel;

    explicit InstallCase(const std::wstring& cadName = L"AutoCAD 2002") {
        cad = box.MakeCad(cadName, kSampleMenu);
        cadRel = cad.substr(box.dir.Path().size() + 1);
        box.MakePayload(3);
    }
    std::vector<std::wstring> Owned() const {
        std::vector<std::wstring> owned = {L"app\\INFOFILE", L"app\\acad.mns",
                                           L"windows\\CPUID.dll", L"windows\\system32\\CPUID.dll",
                                           cadRel + L"Pictrue", cadRel + L"support\\acad.mns"};
        for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                    L"TS_DATA.ldb", L"CPUID.dll"})
            owned.push_back(cadRel + name);
        return owned;
    }
    // Runs the install; checks nothing outside what it owns changed and that
    // no temporary file stayed; returns the messages shown.
    Messages Run() {
        const Snapshot before = Snap(box.dir.Path());
        deploy::CadImport(host, box.folders);
        EXPECT_TRUE(host.ended);
        EXPECT_EQ(ChangedOutside(before, Snap(box.dir.Path()), Owned()), std::vector<std::wstring>{});
        EXPECT_EQ(LeftoverTemps(box.dir.Path()), std::vector<std::wstring>{});
        return host.messages;
    }
};

std::string Repeat(const std::string& s, size_t times) {
    std::string out;
    out.reserve(s.size() * times);
    for (size_t i = 0; i < times; ++i) out += s;
    return out;
}

}  // namespace

TEST(BadMenu, EveryMenuIsPatchedByItsLinesAndNothingElseChanges) {
    const std::string pop7 = "***POP7\r\n**DRAW\r\nID_Line [&Line]^C^C_line\r\n";
    const std::string line = std::string(menu::kMenuLine) + "\r\n";
    struct Case {
        const char* name;
        std::string menu;
        std::string patched;  // AutoCAD's menu after the install
    };
    const std::vector<Case> cases = {
        {"no marker", pop7, pop7},
        {"lower-case marker", pop7 + "***pop8\r\nx\r\n", pop7 + "***pop8\r\nx\r\n"},
        {"marker and a blank", pop7 + "***POP8 \r\nx\r\n", pop7 + "***POP8 \r\nx\r\n"},
        {"***POP80", pop7 + "***POP80\r\nx\r\n", pop7 + "***POP80\r\nx\r\n"},
        {"CR only", "***POP7\rID_A [A]\r***POP8\rx\r",
         "***POP7\r\nID_A [A]\r\n" + line + "***POP8\r\nx\r\n"},
        // A lone LF does not end a line: the whole file is one line.
        {"LF only", "***POP7\nID_A [A]\n***POP8\nx\n", "***POP7\nID_A [A]\n***POP8\nx\n\r\n"},
        {"mixed line ends", "***POP7\r\nID_A\n[A]\r***POP8\r\nx",
         "***POP7\r\nID_A\n[A]\r\n" + line + "***POP8\r\nx\r\n"},
        {"a NUL byte", std::string("***POP7\r\nID_\0A\r\n***POP8\r\n", 25),
         std::string("***POP7\r\nID_\0A\r\n", 16) + line + "***POP8\r\n"},
        {"empty", "", ""},
        {"only the marker", "***POP8", line + "***POP8\r\n"},
        {"a line of 1 MB", pop7 + std::string(1 << 20, 'x') + "\r\n***POP8\r\n",
         pop7 + std::string(1 << 20, 'x') + "\r\n" + line + "***POP8\r\n"},
        {"bytes invalid in code page 936", pop7 + "\x81\x7F\xFF\r\n***POP8\r\n",
         pop7 + "\x81\x7F\xFF\r\n" + line + "***POP8\r\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        InstallCase c;
        WriteBytes(c.cad + L"support\\acad.mns", k.menu);
        EXPECT_EQ(c.Run(), kDone);
        EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), k.patched);
    }
}

TEST(BadMenu, A50MegabyteMenuIsPatched) {
    InstallCase c;
    const std::string big = Repeat("ID_Item     [Item]^C^C_line\r\n", 50 * 1024 * 1024 / 29) +
                            "***POP8\r\n**DIMENSION\r\n";
    WriteBytes(c.cad + L"support\\acad.mns", big);
    EXPECT_EQ(c.Run(), kDone);
    const std::optional<std::string> patched = ReadBytes(c.cad + L"support\\acad.mns");
    ASSERT_TRUE(patched);
    EXPECT_EQ(patched->size(), big.size() + menu::kMenuLine.size() + 2);
    EXPECT_EQ(*patched, menu::AddMenuLine(big));
}

TEST(BadPayload, MissingFilesGiveOneMessageEachAndTheRestIsDeployed) {
    InstallCase c;
    for (const wchar_t* name : {L"TS_DATA.mdb", L"CPUID.dll"}) ::DeleteFileW(c.box.Payload(name).c_str());
    // CPUID.dll goes to three places: three messages for it.
    EXPECT_EQ(c.Run(), (Messages{module1::kCopyError, module1::kCopyError, module1::kCopyError,
                                 module1::kCopyError, deploy::text::kImportDone}));
    EXPECT_FALSE(Exists(c.cad + L"TS_DATA.mdb"));
    EXPECT_TRUE(Exists(c.cad + L"acad.dvb"));
}

TEST(BadPayload, EmptyFilesAreCopiedEmptyWithoutAMessage) {
    InstallCase c;
    for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb", L"CPUID.dll"})
        WriteBytes(c.box.Payload(name), "");
    WriteBytes(c.box.Payload(L"Pictrue\\p0.jpg"), "");
    EXPECT_EQ(c.Run(), kDone);
    EXPECT_EQ(ReadBytes(c.cad + L"TS_DATA.mdb"), "");
    EXPECT_EQ(ReadBytes(c.cad + L"Pictrue\\p0.jpg"), "");
}

TEST(BadPayload, PicturesThatAreNotPlainFilesStayBehind) {
    InstallCase c;
    const std::wstring pictures = c.box.Payload(L"Pictrue\\");
    WriteBytes(pictures + L"hidden.jpg", "h");
    ::SetFileAttributesW((pictures + L"hidden.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(pictures + L"system.jpg", "s");
    ::SetFileAttributesW((pictures + L"system.jpg").c_str(), FILE_ATTRIBUTE_SYSTEM);
    WriteBytes(pictures + L"readonly.jpg", "r");
    ::SetFileAttributesW((pictures + L"readonly.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
    MakeDirs(pictures + L"sub");
    WriteBytes(pictures + L"sub\\deep.jpg", "d");
    EXPECT_EQ(c.Run(), kDone);
    EXPECT_EQ(FileNames(c.cad + L"Pictrue"),
              (std::vector<std::wstring>{L"p0.jpg", L"p1.jpg", L"p2.jpg", L"readonly.jpg"}));
    // The copy is an ordinary file the uninstall may remove again.
    EXPECT_FALSE(::GetFileAttributesW((c.cad + L"Pictrue\\readonly.jpg").c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(BadDestination, ReadOnlyAndLockedFilesAreKeptWithOneMessageEach) {
    InstallCase c;
    WriteBytes(c.cad + L"TS_DATA.mdb", "the user's read-only file");
    ::SetFileAttributesW((c.cad + L"TS_DATA.mdb").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(c.cad + L"acad.dvb", "open elsewhere");
    win::UniqueFile lock(::CreateFileW((c.cad + L"acad.dvb").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(c.Run(), (Messages{module1::kCopyError, module1::kCopyError, deploy::text::kImportDone}));
    lock.Reset();
    EXPECT_EQ(ReadBytes(c.cad + L"TS_DATA.mdb"), "the user's read-only file");
    EXPECT_EQ(ReadBytes(c.cad + L"acad.dvb"), "open elsewhere");
}

TEST(BadDestination, AReadOnlyOrLockedMenuFileIsKept) {
    InstallCase c;
    ::SetFileAttributesW((c.cad + L"support\\acad.mns").c_str(), FILE_ATTRIBUTE_READONLY);
    const std::vector<std::wstring> unwritable = c.Run();
    ASSERT_EQ(unwritable.size(), 2u);
    EXPECT_EQ(unwritable[0], deploy::MenusNotPatchedText({{c.cad + L"support\\acad.mns", ERROR_ACCESS_DENIED, true}}, {}, {}));
    EXPECT_NE(unwritable[0].find(L"无法写入"), std::wstring::npos);
    EXPECT_NE(unwritable[0].find(L"-VBARUN"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), kSampleMenu);

    InstallCase d;
    win::UniqueFile lock(::CreateFileW((d.cad + L"support\\acad.mns").c_str(), GENERIC_READ, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    // AutoCAD holds its menu open: it cannot even be read, so nothing is
    // patched, and the user hears so.
    const std::wstring menu = d.cad + L"support\\acad.mns";
    EXPECT_EQ(d.Run(), (Messages{deploy::MenusNotPatchedText({{menu, ERROR_SHARING_VIOLATION}}, {}, {}),
                                 deploy::text::kImportDone}));
    lock.Reset();
    EXPECT_EQ(ReadBytes(d.cad + L"support\\acad.mns"), kSampleMenu);
}

TEST(BadDestination, AChineseAutoCadFolderWorksEndToEnd) {
    InstallCase c(L"AutoCAD 2002 简体中文版");
    EXPECT_EQ(c.Run(), kDone);
    EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), menu::AddMenuLine(kSampleMenu));
    RecordingHost uninstall(c.box.folders.appDir);
    deploy::CadExport(uninstall, c.box.folders);
    EXPECT_EQ(uninstall.messages, Messages{deploy::text::kExportDone});
    EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), kSampleMenu);
    EXPECT_FALSE(Exists(c.cad + L"TS_DATA.mdb"));
}

TEST(BadDestination, APathLongerThan260CharactersWorksLikeAnyOther) {
    InstallCase c(L"AutoCAD " + std::wstring(230, L'x'));
    ASSERT_GT(c.cad.size(), 260u);
    EXPECT_EQ(c.Run(), kDone);
    for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                L"TS_DATA.ldb", L"CPUID.dll"})
        EXPECT_EQ(ReadBytes(c.cad + name), ReadBytes(c.box.Payload(name))) << name;
    EXPECT_EQ(FileNames(c.cad + L"Pictrue"), FileNames(c.box.Payload(L"Pictrue")));
    EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), menu::AddMenuLine(kSampleMenu));

    RecordingHost uninstall(c.box.folders.appDir);
    deploy::CadExport(uninstall, c.box.folders);
    EXPECT_EQ(uninstall.messages, Messages{deploy::text::kExportDone});
    EXPECT_EQ(ReadBytes(c.cad + L"support\\acad.mns"), kSampleMenu);
    EXPECT_FALSE(Exists(c.cad + L"TS_DATA.mdb"));
    EXPECT_FALSE(Exists(c.cad + L"Pictrue"));
}

TEST(InstallRecordCorpus, AnAnsiRecordNamingAChineseFolderIsUsable) {
    if (::GetACP() != 936) GTEST_SKIP() << "needs code page 936";
    TempDir dir;
    MakeDirs(dir / L"中文");
    const std::wstring folder = dir / L"中文\\";
    WriteBytes(dir / L"INFOFILE", *enc::ToAnsiExact(folder) + "\r\n");
    const deploy::InstallRecord record = deploy::ReadInstallRecord(dir / L"INFOFILE");
    EXPECT_EQ(record.status, deploy::RecordStatus::Usable);
    EXPECT_EQ(record.cadDir, folder);
}

// 33,000 pictures: the counter stops at 32767, the bar at 48, and every
// picture is still copied. Slow; runs when TS_SLOW is set (scripts/slow_tests.sh).
TEST(SlowPayload, ThirtyThreeThousandPicturesAreAllCopied) {
    wchar_t slow[8];
    if (!::GetEnvironmentVariableW(L"TS_SLOW", slow, 8)) GTEST_SKIP() << "set TS_SLOW=1 to run";
    Sandbox box;
    RecordingHost host(box.folders.appDir);
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(33000);
    deploy::CadImport(host, box.folders);
    EXPECT_EQ(host.messages, kDone);
    EXPECT_EQ(FileNames(cad + L"Pictrue").size(), 33000u);
    EXPECT_EQ(host.Shown().back(), 48.0f);
    float highest = 0;
    for (const ProgressCall& call : host.progress) highest = std::max(highest, call.value);
    EXPECT_EQ(highest, 32767.0f);
    EXPECT_EQ(host.progress.back().value, 32767.0f);
}

// The disk fills up in the middle of the third copy: the install stops at
// once, leaves the menu alone, takes back the file it made and gives back the
// user's file it replaced, puts the old record back, and says so once.
TEST(BadDestination, AFullDiskStopsTheInstallAndTakesItBack) {
    InstallCase c;
    WriteBytes(c.box.Payload(L"PROJECT.dvb"), std::string(3 << 20, 'n'));
    WriteBytes(c.cad + L"TS_DATA.mdb", "the user's database");
    WriteBytes(c.box.folders.InstallRecordPath(), "old record\r\n");
    const Snapshot before = Snap(c.box.dir.Path());
    fileio::SetWriteBudgetForTesting(1 << 20);
    const Messages messages = c.Run();
    fileio::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(messages, Messages{deploy::DiskFilledText(deploy::DriveRootOf(c.cad), {})});
    EXPECT_EQ(Snap(c.box.dir.Path()), before);
}

// The disk fills up only when the patched menu goes into AutoCAD: its menu
// stays, and the patched copy this run wrote goes with the rest.
TEST(BadDestination, AFullDiskAtTheMenuTakesBackThePatchedCopyToo) {
    InstallCase c;
    const Snapshot before = Snap(c.box.dir.Path());
    // Every byte the install writes but the last one: everything is new.
    uint64_t bytes = deploy::EncodeInstallRecord(c.cad, {}, module1::ListPlainFiles(c.box.Payload(L"Pictrue\\"))).size();
    for (const auto& [path, content] : Snap(c.box.folders.PayloadDir()))
        if (content != "<dir>") bytes += content.size() * (path == L"CPUID.dll" ? 3 : 1);
    bytes += 2 * menu::AddMenuLine(kSampleMenu).size();
    fileio::SetWriteBudgetForTesting(static_cast<int64_t>(bytes) - 1);
    const Messages messages = c.Run();
    fileio::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(messages, Messages{deploy::DiskFilledText(deploy::DriveRootOf(c.cad), {})});
    EXPECT_EQ(Snap(c.box.dir.Path()), before);
}

// Over an earlier install that kept the user's database, the new database
// replaces ours and stays when the disk fills: the record and the message
// name what is left for the uninstall.
TEST(BadDestination, AFullDiskLeavesAnEarlierInstallsFilesNamed) {
    InstallCase c;
    WriteBytes(c.cad + L"TS_DATA.mdb", "the user's database");
    ASSERT_EQ(c.Run().back(), deploy::text::kImportDone);
    WriteBytes(c.box.Payload(L"TS_DATA.mdb"), "a newer database");
    WriteBytes(c.box.Payload(L"PROJECT.dvb"), std::string(3 << 20, 'n'));
    c.host.messages.clear();
    fileio::SetWriteBudgetForTesting(1 << 20);
    const Messages messages = c.Run();
    fileio::SetWriteBudgetForTesting(-1);
    EXPECT_EQ(messages, Messages{deploy::DiskFilledText(deploy::DriveRootOf(c.cad), {c.cad + L"TS_DATA.mdb"})});
    EXPECT_EQ(ReadBytes(c.cad + L"TS_DATA.mdb"), "a newer database");
    EXPECT_EQ(ReadBytes(fileio::KeptPathFor(c.cad + L"TS_DATA.mdb")), "the user's database");
    const deploy::InstallRecord record = deploy::ReadInstallRecord(c.box.folders.InstallRecordPath());
    EXPECT_EQ(record.cadDir, c.cad);
    EXPECT_EQ(record.pictures.size(), 3u);
}
