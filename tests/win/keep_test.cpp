// Files the install replaces are kept and the uninstall gives them back:
// after an install and an uninstall, the AutoCAD, Windows and System folders
// hold what they held before.
#include <gtest/gtest.h>

#include "replacing_writer.h"
#include "side_files.h"
#include "install_record.h"
#include "messages.h"
#include "module1.h"
#include "procedures.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kImported{deploy::text::kImportDone};
const std::vector<std::wstring> kExported{deploy::text::kExportDone};

class KeepTest : public ::testing::Test {
protected:
    Sandbox box;
    std::wstring cad;

    void SetUp() override {
        cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
        WriteBytes(cad + L"acad.exe", "AutoCAD itself");
        box.MakePayload(3);
    }
    // The three folders the install writes into, with their contents.
    Snapshot World() const {
        Snapshot world;
        for (const std::wstring& root : {cad.substr(0, cad.size() - 1), box.folders.winDir})
            for (auto& [path, content] : Snap(root)) world[root + L"\\" + path] = content;
        return world;
    }
    void Install() {
        RecordingHost host(box.folders.appDir);
        deploy::CadImport(host, box.folders);
        EXPECT_EQ(host.messages, kImported);
    }
    void Uninstall() {
        RecordingHost host(box.folders.appDir);
        deploy::CadExport(host, box.folders);
        EXPECT_EQ(host.messages, kExported);
    }
    std::vector<std::wstring> KeptCopies() const {
        std::vector<std::wstring> kept;
        for (const auto& [path, content] : World())
            if (fileio::TargetOfKept(path)) kept.push_back(path);
        return kept;
    }
};

}  // namespace

TEST_F(KeepTest, TheUsersFilesComeBackByteForByteAndNothingElseRemains) {
    // The user's own startup macros, another program's library in the
    // Windows and System folders, a database changed since an earlier
    // install and a picture of the same name as one of ours.
    WriteBytes(cad + L"acad.dvb", "the user's own macros");
    WriteBytes(cad + L"CPUID.dll", "another vendor's CPUID.dll in AutoCAD");
    WriteBytes(box.folders.sysDir + L"\\CPUID.dll", "another vendor's CPUID.dll");
    WriteBytes(box.folders.winDir + L"\\CPUID.dll", "an old CPUID.dll in Windows");
    WriteBytes(cad + L"TS_DATA.mdb", "the user's changed database");
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\p1.jpg", "the user's own picture");
    const Snapshot before = World();

    Install();
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), ReadBytes(box.Payload(L"acad.dvb")));
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb~TsSetup.bak"), "the user's own macros");
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\p1.jpg~TsSetup.bak"), "the user's own picture");
    EXPECT_EQ(KeptCopies().size(), 6u);  // neither the menu nor files that were not there

    Uninstall();
    EXPECT_EQ(World(), before);
    EXPECT_TRUE(KeptCopies().empty());
}

TEST_F(KeepTest, ASecondInstallKeepsTheFirstCopyAndNothingNew) {
    WriteBytes(cad + L"acad.dvb", "the user's own macros");
    Install();
    // Changed again in between: still the state before the first install is
    // what comes back.
    WriteBytes(cad + L"acad.dvb", "changed after the first install");
    Install();
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb~TsSetup.bak"), "the user's own macros");
    EXPECT_EQ(KeptCopies(), std::vector<std::wstring>{cad + L"acad.dvb~TsSetup.bak"});
    Uninstall();
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), "the user's own macros");
    EXPECT_TRUE(KeptCopies().empty());
}

TEST_F(KeepTest, WithNothingThereBeforeNothingIsKeptAndTheUninstallIsAsBefore) {
    Install();
    Install();
    EXPECT_TRUE(KeptCopies().empty());
    Uninstall();
    EXPECT_FALSE(Exists(cad + L"acad.dvb"));
    EXPECT_FALSE(Exists(box.folders.sysDir + L"\\CPUID.dll"));
    EXPECT_EQ(ReadBytes(cad + L"CPUID.dll"), ReadBytes(box.Payload(L"CPUID.dll")));
    EXPECT_EQ(ReadBytes(box.folders.winDir + L"\\CPUID.dll"), ReadBytes(box.Payload(L"CPUID.dll")));
}

TEST_F(KeepTest, AKeptCopyComesBackEvenWhenOurFileIsGone) {
    WriteBytes(cad + L"acad.dvb", "the user's own macros");
    Install();
    ::DeleteFileW((cad + L"acad.dvb").c_str());
    Uninstall();
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), "the user's own macros");
    EXPECT_TRUE(KeptCopies().empty());
}

TEST_F(KeepTest, AKeptCopyThatCannotGoBackIsListedAndStays) {
    WriteBytes(cad + L"acad.dvb", "the user's own macros");
    Install();
    const std::wstring ours = cad + L"acad.dvb";
    {
        win::UniqueFile lock(::CreateFileW(ours.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        RecordingHost host(box.folders.appDir);
        deploy::CadExport(host, box.folders);
        ASSERT_EQ(host.messages.size(), 2u);
        EXPECT_NE(host.messages[0].find(ours + L"\r\n"), std::wstring::npos);
        EXPECT_EQ(host.messages[1], deploy::text::kExportDone);
    }
    EXPECT_EQ(ReadBytes(ours + L"~TsSetup.bak"), "the user's own macros");
    Uninstall();  // once the file is free, it works
    EXPECT_EQ(ReadBytes(ours), "the user's own macros");
}

// Collects what a copy tells the user, and services no events.
struct QuietHost : module1::ModuleHost {
    std::vector<std::wstring> messages;
    void MessageShow(const std::wstring& text) override { messages.push_back(text); }
    void EventsService() override {}
};

TEST(FileCopyKeep, KeepsOnlyAFileThatDiffersAndNeverOverwritesAKeptCopy) {
    TempDir dir;
    QuietHost host;
    const std::wstring source = dir / L"new", dest = dir / L"target", kept = dest + L"~TsSetup.bak";
    WriteBytes(source, "new bytes");
    WriteBytes(dest, "new bytes");
    module1::FileCopy(source, dest, host, module1::Replaced::Keep);
    EXPECT_FALSE(Exists(kept)) << "an equal file is not kept";
    WriteBytes(dest, "old bytes");
    module1::FileCopy(source, dest, host, module1::Replaced::Discard);
    EXPECT_FALSE(Exists(kept)) << "only when asked";
    WriteBytes(dest, "old bytes");
    module1::FileCopy(source, dest, host, module1::Replaced::Keep);
    EXPECT_EQ(ReadBytes(kept), "old bytes");
    EXPECT_EQ(ReadBytes(dest), "new bytes");
    WriteBytes(dest, "other bytes");
    module1::FileCopy(source, dest, host, module1::Replaced::Keep);
    EXPECT_EQ(ReadBytes(kept), "old bytes");
    EXPECT_EQ(ReadBytes(dest), "new bytes");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());
}

// The write learns that a file stands at the target only from the rename
// that refuses to replace it; a name that differs only in case must count as
// the same file there too, never as room for a second one.
TEST(FileCopyKeep, ATargetNamedInOtherCaseIsReplacedAndKeptNotDoubled) {
    TempDir dir;
    QuietHost host;
    WriteBytes(dir / L"new", "new bytes");
    WriteBytes(dir / L"PIC.BMP", "the user's picture");
    module1::FileCopy(dir / L"new", dir / L"pic.bmp", host, module1::Replaced::Keep);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ReadBytes(dir / L"pic.bmp"), "new bytes");
    EXPECT_EQ(ReadBytes(dir / L"pic.bmp~TsSetup.bak"), "the user's picture");
    EXPECT_EQ(FileNames(dir.Path()).size(), 3u) << "new, the picture and its kept copy";
}

TEST_F(KeepTest, ASecondUninstallLeavesTheFilesItGaveBack) {
    WriteBytes(cad + L"acad.dvb", "the user's own macros");
    WriteBytes(box.folders.sysDir + L"\\CPUID.dll", "another vendor's CPUID.dll");
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\p1.jpg", "the user's own picture");
    Install();
    Uninstall();
    const Snapshot once = World();
    ASSERT_EQ(ReadBytes(cad + L"acad.dvb"), "the user's own macros");
    ASSERT_EQ(ReadBytes(box.folders.sysDir + L"\\CPUID.dll"), "another vendor's CPUID.dll");
    ASSERT_EQ(ReadBytes(cad + L"Pictrue\\p1.jpg"), "the user's own picture");
    Uninstall();
    EXPECT_EQ(World(), once);
    // A new install keeps them again, and its uninstall gives them back again.
    Install();
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb~TsSetup.bak"), "the user's own macros");
    Uninstall();
    Uninstall();
    EXPECT_EQ(World(), once);
}

TEST(InstallRecordLines, TheFilesGivenBackFollowTheFolderAndReadBack) {
    const deploy::GivenBack givenBack{L"C:\\CAD\\acad.dvb", L"C:\\CAD\\Pictrue\\p1.jpg"};
    const std::string bytes = deploy::EncodeInstallRecord(L"C:\\CAD\\", givenBack);
    EXPECT_EQ(bytes, "C:\\CAD\\\r\nC:\\CAD\\Pictrue\\p1.jpg\r\nC:\\CAD\\acad.dvb\r\n");
    EXPECT_EQ(deploy::DecodeInstallRecord(bytes), L"C:\\CAD\\");
    const auto lines = deploy::DecodeInstallRecordLines(bytes);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::wstring>{L"C:\\CAD\\", L"C:\\CAD\\Pictrue\\p1.jpg",
                                                  L"C:\\CAD\\acad.dvb"}));
    // One path outside the code page makes the whole record UTF-8.
    const std::string utf8 = deploy::EncodeInstallRecord(L"C:\\CAD\\", {L"C:\\CAD\\Pictrue\\그림.jpg"});
    EXPECT_EQ(utf8.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(deploy::DecodeInstallRecordLines(utf8)->back(), L"C:\\CAD\\Pictrue\\그림.jpg");
}
