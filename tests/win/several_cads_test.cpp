#include <gtest/gtest.h>

#include <algorithm>

#include "cad_find.h"
#include "handles.h"
#include "install_record.h"
#include "menu_text.h"
#include "messages.h"
#include "procedures.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kDone{deploy::text::kImportDone};
const std::vector<std::wstring> kUndone{deploy::text::kExportDone};

// Two AutoCADs as offices keep them: an old release on C: for old drawings,
// the one in use on D:, each with its own menu.
class SeveralCads : public ::testing::Test {
protected:
    Sandbox box;
    std::wstring older = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    std::wstring newer = box.ProgramFiles(L'D') + L"\\Autodesk\\AutoCAD 2014\\";

    void SetUp() override {
        WriteBytes(older + L"acad.exe", "AutoCAD");
        MakeDirs(newer + L"support");
        WriteBytes(newer + L"support\\acad.mns", kSampleMenu + "***POP9\r\n");
        WriteBytes(newer + L"acad.exe", "AutoCAD");
        box.MakePayload(3);
    }
    // The AutoCAD folder as it must be again after the uninstall: its
    // CPUID.dll stays, as it always has.
    static Snapshot Untouched(Snapshot before) {
        before[L"CPUID.dll"] = "content of CPUID.dll";
        return before;
    }
    RecordingHost Run(void (*procedure)(deploy::Host&, const deploy::Folders&),
                      std::optional<std::vector<size_t>> choice = std::nullopt) {
        RecordingHost host(box.folders.appDir);
        if (choice) host.chooseAnswer = choice;
        procedure(host, box.folders);
        EXPECT_TRUE(host.ended);
        EXPECT_FALSE(host.calledAfterEnd);
        return host;
    }
};

}  // namespace

TEST_F(SeveralCads, BothAreServedInOneInstallAndGivenBackInOneUninstall) {
    const Snapshot olderBefore = Snap(older);
    Snapshot newerBefore = Snap(newer);
    const RecordingHost install = Run(deploy::CadImport);
    ASSERT_EQ(install.offered.size(), 1u);
    ASSERT_EQ(install.offered[0].size(), 2u);
    EXPECT_EQ(install.offered[0][0].Label(), L"AutoCAD 2002  (" + older.substr(0, older.size() - 1) + L")");
    EXPECT_EQ(install.offered[0][1].dir, newer);
    EXPECT_EQ(install.messages, kDone);
    // One run of the bar over both, never past its end.
    const std::vector<float> shown = install.Shown();
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end());
    EXPECT_LE(shown.back(), 48.0f);
    for (const std::wstring& cad : {older, newer}) {
        EXPECT_EQ(ReadBytes(cad + L"TS_DATA.mdb"), "content of TS_DATA.mdb");
        EXPECT_EQ(FileNames(cad + L"Pictrue").size(), 3u);
        EXPECT_NE(ReadBytes(cad + L"support\\acad.mns")->find(menu::kMenuLine), std::string::npos);
    }
    const deploy::InstallRecord record = deploy::ReadInstallRecord(box.folders.InstallRecordPath());
    EXPECT_EQ(record.cadDir, older);
    ASSERT_EQ(record.more.size(), 1u);
    EXPECT_EQ(record.more[0].cadDir, newer);
    EXPECT_EQ(record.more[0].pictures.size(), 3u);
    EXPECT_EQ(record.menus.size(), 2u);

    // Nothing changes while either of them runs, and the user hears which.
    {
        RunningStandIn acad(newer + L"acad.exe");
        ASSERT_TRUE(acad.Started());
        const Snapshot world = Snap(box.dir.Path());
        const RecordingHost refused = Run(deploy::CadExport);
        ASSERT_EQ(refused.messages.size(), 1u);
        EXPECT_NE(refused.messages[0].find(newer + L"acad.exe"), std::wstring::npos);
        EXPECT_EQ(refused.outcome, deploy::Outcome::CadRunning);
        EXPECT_EQ(Snap(box.dir.Path()), world);
    }
    // The stand-in took acad.exe's place.
    newerBefore[L"acad.exe"] = ReadBytes(newer + L"acad.exe").value_or("");
    EXPECT_EQ(Run(deploy::CadExport).messages, kUndone);
    EXPECT_EQ(Snap(older), Untouched(olderBefore));
    EXPECT_EQ(Snap(newer), Untouched(newerBefore));
    EXPECT_TRUE(LeftoverTemps(box.dir.Path()).empty());
}

// Windows lists AutoCADs under a key of this layout in both views of
// HKEY_LOCAL_MACHINE; a test key of the user's stands for it.
TEST(RegisteredCads, OnlyAbsoluteFoldersHoldingAcadExeCountEachOnce) {
    TempDir dir;
    const std::wstring good = dir / L"AutoCAD 2014", lt = dir / L"AutoCAD LT";
    MakeDirs(good);
    WriteBytes(good + L"\\acad.exe", "AutoCAD");
    MakeDirs(lt);
    WriteBytes(lt + L"\\acadlt.exe", "AutoCAD LT");
    const std::wstring root = L"Software\\TsSetupTest-" + std::to_wstring(::GetCurrentProcessId());
    struct Value {
        const wchar_t* key;
        DWORD type;
        std::wstring data;
    };
    const std::vector<Value> values = {
        {L"R19.1\\ACAD-D001:804", REG_SZ, good},
        {L"R19.1\\ACAD-D001:409", REG_SZ, good + L"\\"},  // the same folder again
        {L"R19.1\\ACAD-D001:411", REG_SZ, L""},
        {L"R19.1\\ACAD-D001:412", REG_DWORD, L"xx"},
        {L"R19.1\\ACAD-D001:413", REG_SZ, L"AutoCAD 2014"},
        {L"R19.1\\ACAD-D001:414", REG_SZ, dir / L"gone"},
        {L"R19.1\\ACAD-D001:415", REG_SZ, lt},
        {L"R19.1\\ACAD-D001:416", REG_SZ, std::wstring(40000, L'x')},
        {L"R19.1\\ACADLT-D001:804", REG_SZ, good},  // not an AutoCAD's key
    };
    for (const Value& value : values) {
        HKEY created = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (root + L"\\AutoCAD\\" + value.key).c_str(), 0, nullptr, 0,
                                    KEY_WRITE, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        win::UniqueRegKey key(created);
        ::RegSetValueExW(key.Get(), L"AcadLocation", 0, value.type, reinterpret_cast<const BYTE*>(value.data.c_str()),
                         static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
        ::RegSetValueExW(key.Get(), L"ProductName", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"AutoCAD 2014 - 简体中文"),
                         sizeof(L"AutoCAD 2014 - 简体中文"));
    }
    const std::vector<deploy::FoundCad> found =
        deploy::RegisteredCads(HKEY_CURRENT_USER, (root + L"\\AutoCAD").c_str(), KEY_WOW64_64KEY);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(module1::SameFolder(found[0].dir, good));
    EXPECT_EQ(found[0].dir.back(), L'\\');
    EXPECT_EQ(found[0].Label(), L"AutoCAD 2014 - 简体中文  (" + good + L")");
}

// An AutoCAD Windows lists outside the searched folders is found, after
// those of the search, and one found both ways counts once.
TEST_F(SeveralCads, AnAutoCadWindowsListsIsFoundWhereverItLies) {
    const std::wstring elsewhere = box.dir / L"D\\设计软件\\AutoCAD 2014\\";
    MakeDirs(elsewhere);
    WriteBytes(elsewhere + L"acad.exe", "AutoCAD");
    box.folders.registered = {{older.substr(0, older.size() - 1), L"AutoCAD 2002 中文版"}, {elsewhere, L""}};
    const RecordingHost host = Run(deploy::CadImport, std::vector<size_t>{2});
    ASSERT_EQ(host.offered.size(), 1u);
    ASSERT_EQ(host.offered[0].size(), 3u);
    EXPECT_EQ(host.offered[0][0].productName, L"AutoCAD 2002 中文版");
    EXPECT_EQ(host.offered[0][2].dir, elsewhere);
    EXPECT_EQ(ReadBytes(elsewhere + L"TS_DATA.mdb"), "content of TS_DATA.mdb");
}

// What an uninstall took out is not carried on by a later install into
// another AutoCAD: the user's own file given back there stays theirs. And
// where the first AutoCAD's folder has gone, the others still come out.
TEST_F(SeveralCads, AnUninstalledAutoCadIsNotCarriedOnAndAGoneFirstOneHoldsBackNone) {
    WriteBytes(older + L"acad.dvb", "the user's own macros");
    EXPECT_EQ(Run(deploy::CadImport).messages, kDone);
    EXPECT_EQ(Run(deploy::CadExport).messages, kUndone);
    EXPECT_EQ(Run(deploy::CadImport, std::vector<size_t>{1}).messages, kDone);
    EXPECT_EQ(deploy::ReadInstallRecord(box.folders.InstallRecordPath()).CadDirs(), std::vector<std::wstring>{newer});
    EXPECT_EQ(Run(deploy::CadExport).messages, kUndone);
    EXPECT_EQ(ReadBytes(older + L"acad.dvb"), "the user's own macros");

    const Snapshot newerBefore = Snap(newer);
    EXPECT_EQ(Run(deploy::CadImport).messages, kDone);
    RemoveTree(older.substr(0, older.size() - 1));
    EXPECT_EQ(Run(deploy::CadExport).messages, kUndone);
    EXPECT_EQ(Snap(newer), newerBefore);
}

// Where nobody follows the run, a folder without acad.exe is never taken;
// and AutoCAD LT picked in the file dialog is refused.
TEST_F(SeveralCads, NoFolderIsGuessedUnattendedAndAutoCadLtPickedIsRefused) {
    for (const std::wstring& cad : {older, newer}) ::DeleteFileW((cad + L"acad.exe").c_str());
    RecordingHost unattended(box.folders.appDir);
    unattended.attended = false;
    const Snapshot world = Snap(box.dir.Path());
    deploy::CadImport(unattended, box.folders);
    EXPECT_EQ(unattended.messages, std::vector<std::wstring>{deploy::text::kNoCadFound});
    EXPECT_EQ(unattended.outcome, deploy::Outcome::NoCad);
    EXPECT_EQ(Snap(box.dir.Path()), world);

    RemoveTree(older.substr(0, older.size() - 1));
    RemoveTree(newer.substr(0, newer.size() - 1));
    const std::wstring lt = box.dir / L"LT\\";
    MakeDirs(lt);
    WriteBytes(lt + L"acadlt.exe", "AutoCAD LT");
    RecordingHost host(box.folders.appDir);
    host.pickAnswers = {lt + L"acadlt.exe"};
    deploy::CadImport(host, box.folders);
    EXPECT_EQ(host.messages.back(), deploy::text::kPickedLt + lt + deploy::text::kLtHasNoVba);
    EXPECT_EQ(host.outcome, deploy::Outcome::NoCad);
    EXPECT_EQ(FileNames(lt.substr(0, lt.size() - 1)), std::vector<std::wstring>{L"acadlt.exe"});
}
