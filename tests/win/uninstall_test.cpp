#include <gtest/gtest.h>

#include "encoding.h"
#include "side_files.h"
#include "install_record.h"
#include "menu_file.h"
#include "menu_text.h"
#include "messages.h"
#include "procedures.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kDone{deploy::text::kExportDone};
const std::vector<float> kBar{6, 12, 18, 24, 30, 36, 42, 48};

class UninstallTest : public ::testing::Test {
protected:
    Sandbox box;
    std::wstring cad;
    Snapshot cadBefore;

    void SetUp() override {
        cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
        WriteBytes(cad + L"acad.exe", "AutoCAD itself");
        box.MakePayload(3);
        cadBefore = Snap(cad);
    }
    void Install() {
        RecordingHost host(box.folders.appDir);
        deploy::CadImport(host, box.folders);
        ASSERT_EQ(host.messages, std::vector<std::wstring>{deploy::text::kImportDone});
    }
    RecordingHost Uninstall() { return RunToEnd(deploy::CadExport, box.folders); }
};

}  // namespace

TEST_F(UninstallTest, UndoesTheInstallButKeepsTheSharedLibraryCopies) {
    Install();
    const RecordingHost host = Uninstall();
    EXPECT_EQ(host.messages, kDone);
    EXPECT_EQ(host.Shown(), kBar);
    EXPECT_EQ(host.progress.size(), 10u);  // the last two advances are refused
    Snapshot expected = cadBefore;
    expected[L"CPUID.dll"] = *ReadBytes(box.Payload(L"CPUID.dll"));
    EXPECT_EQ(Snap(cad), expected);
    EXPECT_FALSE(Exists(box.folders.sysDir + L"\\CPUID.dll"));
    EXPECT_TRUE(Exists(box.folders.winDir + L"\\CPUID.dll"));
    EXPECT_TRUE(Exists(box.folders.InstallRecordPath()));
}

TEST_F(UninstallTest, ASecondUninstallFindsNothingAndStillSaysDone) {
    Install();
    Uninstall();
    const Snapshot after = Snap(box.dir.Path());
    const RecordingHost again = Uninstall();
    EXPECT_EQ(again.messages, kDone);
    EXPECT_EQ(again.Shown(), kBar);
    EXPECT_EQ(Snap(box.dir.Path()), after);
}

TEST_F(UninstallTest, KeepsWhatTheUserPutIntoThePictureFolder) {
    Install();
    MakeDirs(cad + L"Pictrue\\mine");
    WriteBytes(cad + L"Pictrue\\mine\\photo.jpg", "user's");
    WriteBytes(cad + L"Pictrue\\kept.jpg", "read-only");
    ::SetFileAttributesW((cad + L"Pictrue\\kept.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(cad + L"Pictrue\\hidden.jpg", "hidden");
    ::SetFileAttributesW((cad + L"Pictrue\\hidden.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const RecordingHost host = Uninstall();
    EXPECT_EQ(host.messages, kDone);
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\mine\\photo.jpg"), "user's");
    EXPECT_EQ(FileNames(cad + L"Pictrue"),
              (std::vector<std::wstring>{L"hidden.jpg", L"kept.jpg"}));
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), kSampleMenu);
}

TEST_F(UninstallTest, MenuChangesMadeAfterTheInstallSurvive) {
    Install();
    const std::string patched = *ReadBytes(cad + L"support\\acad.mns");
    const std::string changed = patched + "***POP11\r\nID_Other [Another add-on]\r\n";
    WriteBytes(cad + L"support\\acad.mns", changed);
    Uninstall();
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"),
              kSampleMenu + "***POP11\r\nID_Other [Another add-on]\r\n");
}

TEST_F(UninstallTest, AMissingMenuIsRestoredFromThePatchedCopy) {
    Install();
    ::DeleteFileW((cad + L"support\\acad.mns").c_str());
    Uninstall();
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), kSampleMenu);
}

TEST_F(UninstallTest, RemovesTemporaryFilesAnInterruptedInstallLeft) {
    Install();
    for (const std::wstring& target :
         {cad + L"TS_DATA.mdb", box.folders.sysDir + L"\\CPUID.dll",
          box.folders.winDir + L"\\CPUID.dll", box.folders.InstallRecordPath(),
          cad + L"Pictrue\\p1.jpg"})
        WriteBytes(fileio::TempPathFor(target), "half");
    Uninstall();
    EXPECT_EQ(LeftoverTemps(box.dir.Path()), std::vector<std::wstring>{});
}

TEST_F(UninstallTest, ReadsTheRecordOfTheProgramFolderWhateverTheWorkingDirectory) {
    Install();
    // A decoy record in the working directory points at another folder.
    TempDir elsewhere;
    MakeDirs(elsewhere / L"Decoy");
    WriteBytes(elsewhere / L"Decoy\\TS_DATA.mdb", "not ours");
    WriteBytes(elsewhere / L"INFOFILE", deploy::EncodeInstallRecord(elsewhere / L"Decoy\\"));
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(elsewhere.Path().c_str());
    Uninstall();
    ::SetCurrentDirectoryW(previous);
    EXPECT_TRUE(Exists(elsewhere / L"Decoy\\TS_DATA.mdb"));
    EXPECT_FALSE(Exists(cad + L"TS_DATA.mdb"));
}

// Every unusable record: one message saying what is wrong and that nothing
// was removed, and not a byte changed anywhere.
TEST_F(UninstallTest, AnUnusableRecordTouchesNothing) {
    Install();
    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // nothing: no record file at all
        const wchar_t* says;
    };
    const std::string existingFile = deploy::EncodeInstallRecord(cad + L"TS_DATA.mdb\\");
    const std::vector<Case> cases = {
        {"missing", std::nullopt, deploy::text::kRecordMissing},
        {"empty", std::string(), deploy::text::kRecordInvalid},
        {"blank first line", std::string("\r\n") + deploy::EncodeInstallRecord(cad),
         deploy::text::kRecordInvalid},
        {"relative", std::string("AutoCAD 2002\\\r\n"), deploy::text::kRecordInvalid},
        {"drive relative", std::string("C:AutoCAD\\\r\n"), deploy::text::kRecordInvalid},
        {"no trailing backslash", deploy::EncodeInstallRecord(cad.substr(0, cad.size() - 1)),
         deploy::text::kRecordInvalid},
        {"a file", existingFile, deploy::text::kRecordFolderGone},
        {"gone", deploy::EncodeInstallRecord(box.dir / L"Uninstalled AutoCAD\\"),
         deploy::text::kRecordFolderGone},
        {"very long", "C:\\" + std::string(5000, 'a') + "\\\r\n", deploy::text::kRecordFolderGone},
        {"larger than any record", deploy::EncodeInstallRecord(cad) + std::string(16 << 20, 'x'),
         deploy::text::kRecordInvalid},
        {"NUL byte", std::string("C:\\\0\\\r\n", 6), deploy::text::kRecordInvalid},
        // A lead byte of code page 936 without its trail byte.
        {"invalid bytes", std::string("C:\\\x81\x7F\\\r\n"), deploy::text::kRecordUnreadable},
        {"bad UTF-8", std::string("\xEF\xBB\xBF" "C:\\\xC0\\\r\n"), deploy::text::kRecordUnreadable},
    };
    const Snapshot before = Snap(box.dir.Path());
    const std::optional<std::string> installed = ReadBytes(box.folders.InstallRecordPath());
    for (const Case& c : cases) {
        if (std::string(c.name) == "invalid bytes" && ::GetACP() != 936) continue;
        if (c.bytes) {
            WriteBytes(box.folders.InstallRecordPath(), *c.bytes);
        } else {
            ::DeleteFileW(box.folders.InstallRecordPath().c_str());
        }
        const Snapshot withRecord = Snap(box.dir.Path());
        const RecordingHost host = Uninstall();
        ASSERT_EQ(host.messages.size(), 1u) << c.name;
        EXPECT_EQ(host.messages[0].rfind(c.says, 0), 0u) << c.name;
        EXPECT_NE(host.messages[0].find(deploy::text::kNothingRemoved), std::wstring::npos);
        EXPECT_TRUE(host.progress.empty()) << c.name;
        EXPECT_EQ(Snap(box.dir.Path()), withRecord) << c.name;
    }
    WriteBytes(box.folders.InstallRecordPath(), installed.value_or(""));
    EXPECT_EQ(Snap(box.dir.Path()), before);
}

TEST_F(UninstallTest, AUtf8RecordNamingAChineseFolderWorks) {
    const std::wstring chinese = box.MakeCad(L"中文 AutoCAD", kSampleMenu);
    WriteBytes(chinese + L"TS_DATA.mdb", "deployed");
    WriteBytes(box.folders.InstallRecordPath(),
               "\xEF\xBB\xBF" + enc::ToUtf8(chinese) + "\r\n");
    Uninstall();
    EXPECT_FALSE(Exists(chinese + L"TS_DATA.mdb"));
}
