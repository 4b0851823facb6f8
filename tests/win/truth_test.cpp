// What the procedures tell the user when they cannot do their work, and what
// they refuse to do: AutoCAD running, a menu that could not be patched,
// files the uninstall could not remove.
#include <gtest/gtest.h>

#include "install_record.h"
#include "messages.h"
#include "procedures.h"
#include "reports.h"
#include "running.h"
#include "test_support.h"

using namespace test;

namespace {

class TruthTest : public ::testing::Test {
protected:
    Sandbox box;
    std::wstring cad;

    void SetUp() override {
        cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
        box.MakePayload(3);
    }
    RecordingHost Install() { return RunToEnd(deploy::CadImport, box.folders); }
    RecordingHost Uninstall() { return RunToEnd(deploy::CadExport, box.folders); }
};

}  // namespace

// Both ways of reading a process's path, the newer one and Windows XP's.
TEST_F(TruthTest, TheRunningCheckKnowsTheProgramByItsFullPathOnly) {
    MakeDirs(box.dir / L"elsewhere");
    const std::wstring exe = cad + L"acad.exe";
    for (const deploy::ImagePathReader reader : {deploy::ImagePathByQuery, deploy::ImagePathByModules}) {
        SCOPED_TRACE(reader == deploy::ImagePathByQuery ? "QueryFullProcessImageNameW" : "Module32FirstW");
        EXPECT_FALSE(deploy::IsProgramRunning(exe, reader));
        {
            RunningStandIn acad(exe);
            ASSERT_TRUE(acad.Started());
            EXPECT_TRUE(deploy::IsProgramRunning(exe, reader));
            // Other case and a doubled separator name the same file.
            std::wstring upper = box.dir / L"C\\\\PROGRAM FILES\\AUTOCAD 2002\\ACAD.EXE";
            EXPECT_TRUE(deploy::IsProgramRunning(upper, reader));
            EXPECT_FALSE(deploy::IsProgramRunning(box.dir / L"elsewhere\\acad.exe", reader));
        }
        EXPECT_FALSE(deploy::IsProgramRunning(exe, reader));
    }
}

TEST_F(TruthTest, AutoCadRunningStopsTheInstallAndTheUninstallBeforeAnyChange) {
    const std::wstring exe = cad + L"acad.exe";
    RunningStandIn acad(exe);
    ASSERT_TRUE(acad.Started());
    const Snapshot before = Snap(box.dir.Path());
    const std::vector<std::wstring> refused{deploy::CadRunningText(exe)};
    EXPECT_EQ(Install().messages, refused);
    EXPECT_EQ(Snap(box.dir.Path()), before);

    // A record of an earlier install, and the files it deployed.
    WriteBytes(box.folders.InstallRecordPath(), deploy::EncodeInstallRecord(cad));
    WriteBytes(cad + L"TS_DATA.mdb", "deployed");
    const Snapshot installed = Snap(box.dir.Path());
    const RecordingHost uninstall = Uninstall();
    EXPECT_EQ(uninstall.messages, refused);
    EXPECT_TRUE(uninstall.progress.empty());
    EXPECT_EQ(Snap(box.dir.Path()), installed);
}

TEST_F(TruthTest, TheSameProgramRunningFromAnotherFolderBlocksNothing) {
    MakeDirs(box.dir / L"elsewhere");
    RunningStandIn other(box.dir / L"elsewhere\\acad.exe");
    ASSERT_TRUE(other.Started());
    EXPECT_EQ(Install().messages, std::vector<std::wstring>{deploy::text::kImportDone});
    EXPECT_TRUE(Exists(cad + L"TS_DATA.mdb"));
    EXPECT_EQ(Uninstall().messages, std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_FALSE(Exists(cad + L"TS_DATA.mdb"));
}

TEST_F(TruthTest, AMenuThatCannotBePatchedIsToldBeforeTheEnd) {
    const std::wstring menu = cad + L"support\\acad.mns";
    ::DeleteFileW(menu.c_str());
    const RecordingHost missing = Install();
    ASSERT_EQ(missing.messages.size(), 2u);
    // Where it looked, and how Tesmora starts without its item.
    EXPECT_EQ(missing.messages[0], deploy::MenusNotPatchedText({}, {}, std::vector<std::wstring>{
                                       menu, box.folders.roamingDir + L"\\Autodesk"}));
    EXPECT_NE(missing.messages[0].find(L"没有找到"), std::wstring::npos);
    EXPECT_NE(missing.messages[0].find(L"-VBARUN"), std::wstring::npos);
    EXPECT_NE(missing.messages[0].find(L"Ts_main.Ts_main"), std::wstring::npos);
    EXPECT_EQ(missing.messages[1], deploy::text::kImportDone);
    // Everything else was deployed and recorded.
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), ReadBytes(box.Payload(L"acad.dvb")));
    EXPECT_TRUE(Exists(box.folders.InstallRecordPath()));

    // Held open without sharing: it cannot be read.
    WriteBytes(menu, kSampleMenu);
    {
        win::UniqueFile lock(::CreateFileW(menu.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        const RecordingHost locked = Install();
        ASSERT_EQ(locked.messages.size(), 2u);
        EXPECT_NE(locked.messages[0].find(L"无法读取"), std::wstring::npos);
        EXPECT_EQ(locked.messages[1], deploy::text::kImportDone);
    }
    EXPECT_EQ(ReadBytes(menu), kSampleMenu);
}

TEST_F(TruthTest, TheUninstallListsExactlyTheFileItCouldNotRemove) {
    ASSERT_EQ(Install().messages, std::vector<std::wstring>{deploy::text::kImportDone});
    const std::wstring held = cad + L"PROJECT.dvb";
    {
        win::UniqueFile lock(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        const RecordingHost host = Uninstall();
        EXPECT_EQ(host.messages, (std::vector<std::wstring>{deploy::NotRemovedText({held}),
                                                             deploy::text::kExportDone}));
    }
    EXPECT_TRUE(Exists(held));
    for (const wchar_t* gone : {L"TS_DATA.mdb", L"acadstk.dmp", L"acad.dvb", L"TS_DATA.ldb", L"Pictrue"})
        EXPECT_FALSE(Exists(cad + gone)) << gone;
    EXPECT_FALSE(Exists(box.folders.sysDir + L"\\CPUID.dll"));

    // Read-only: Windows refuses to delete it, and so does the uninstall.
    ASSERT_TRUE(::SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Uninstall().messages, (std::vector<std::wstring>{deploy::NotRemovedText({held}),
                                                                deploy::text::kExportDone}));
    ::SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Uninstall().messages, std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_FALSE(Exists(held));
    // Nothing left to remove is no failure.
    EXPECT_EQ(Uninstall().messages, std::vector<std::wstring>{deploy::text::kExportDone});
}

TEST_F(TruthTest, ALockedMenuIsListedAndTheUsersOwnPicturesAreNot) {
    ASSERT_EQ(Install().messages, std::vector<std::wstring>{deploy::text::kImportDone});
    MakeDirs(cad + L"Pictrue\\mine");  // keeps the folder: not a failure
    const std::wstring menu = cad + L"support\\acad.mns";
    win::UniqueFile lock(::CreateFileW(menu.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(Uninstall().messages, (std::vector<std::wstring>{deploy::NotRemovedText({menu}),
                                                                deploy::text::kExportDone}));
    EXPECT_TRUE(IsDir(cad + L"Pictrue\\mine"));
}

TEST(NotRemovedText, ListsTenPathsThenHowManyMore) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 13; ++i) paths.push_back(L"C:\\CAD\\Pictrue\\p" + std::to_wstring(i) + L".bmp");
    const std::wstring text = deploy::NotRemovedText(paths);
    EXPECT_NE(text.find(L"p9.bmp\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"p10.bmp"), std::wstring::npos);
    EXPECT_NE(text.find(L"另有3个文件"), std::wstring::npos);
    EXPECT_EQ(deploy::NotRemovedText({paths[0]}).find(L"另有"), std::wstring::npos);
}
