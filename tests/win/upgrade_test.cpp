// A newer (or older) Tesmora installed over another: the install knows its
// own files from the user's, replaces its own outright, and the uninstall
// after any chain of installs leaves AutoCAD's folder, the Windows folder and
// the System folder as they were before the first.
#include <gtest/gtest.h>

#include "install_record.h"
#include "messages.h"
#include "procedures.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kDone{deploy::text::kImportDone};
const std::vector<std::wstring> kExported{deploy::text::kExportDone};

class UpgradeTest : public ::testing::Test {
  protected:
    Sandbox box;
    std::wstring cad;

    void SetUp() override {
        cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
        box.MakePayload(3);
    }
    // A later version: three files changed, one picture redrawn, one
    // dropped, one new.
    void NewerPayload() {
        for (const wchar_t* name : {L"TS_DATA.mdb", L"acad.dvb", L"PROJECT.dvb"})
            WriteBytes(box.Payload(name), "version 2 of the add-on's " + std::to_string(name[0]));
        WriteBytes(box.Payload(L"Pictrue\\p1.jpg"), "picture 1, redrawn");
        ::DeleteFileW(box.Payload(L"Pictrue\\p2.jpg").c_str());
        WriteBytes(box.Payload(L"Pictrue\\p3.jpg"), "picture 3, new");
    }
    std::wstring PayloadFolder() const { return box.folders.appDir + L"\\data"; }
    Snapshot Payload() const { return Snap(PayloadFolder()); }
    // Puts back a payload that Payload() gave.
    void PutPayload(const Snapshot& payload) {
        RemoveTree(PayloadFolder());
        MakeDirs(PayloadFolder());
        for (const auto& [path, content] : payload) {
            if (content == "<dir>") MakeDirs(PayloadFolder() + L"\\" + path);
            else WriteBytes(PayloadFolder() + L"\\" + path, content);
        }
    }
    // AutoCAD's folder with the Windows and System folders.
    Snapshot World() const {
        Snapshot world;
        for (const std::wstring& root : {cad.substr(0, cad.size() - 1), box.folders.winDir})
            for (auto& [path, content] : Snap(root)) world[root + L"\\" + path] = content;
        return world;
    }
    // What the uninstall leaves by design: the library in AutoCAD's folder
    // and in the Windows folder, where nothing of the user's stood.
    Snapshot WithLibrariesLeft(Snapshot world) const {
        for (const std::wstring& dll : {cad + L"CPUID.dll", box.folders.winDir + L"\\CPUID.dll"})
            world.emplace(dll, *ReadBytes(box.Payload(L"CPUID.dll")));
        return world;
    }
    static std::vector<std::wstring> KeptFiles(const Snapshot& world) {
        std::vector<std::wstring> kept;
        for (const auto& [path, content] : world)
            if (path.find(L"~TsSetup") != std::wstring::npos) kept.push_back(path);
        return kept;
    }
    std::vector<std::wstring> Install() {
        return RunToEnd(deploy::CadImport, box.folders).messages;
    }
    std::vector<std::wstring> Uninstall() {
        return RunToEnd(deploy::CadExport, box.folders).messages;
    }
};

}  // namespace

TEST_F(UpgradeTest, UpgradesAndDowngradesReplaceOurFilesAndTheUninstallLeavesNothing) {
    const Snapshot before = World();
    const Snapshot older =
        Snap(box.folders.PayloadDir().substr(0, box.folders.PayloadDir().size() - 1));
    ASSERT_EQ(Install(), kDone);
    NewerPayload();
    ASSERT_EQ(Install(), kDone);
    EXPECT_EQ(KeptFiles(World()), std::vector<std::wstring>{});
    for (const wchar_t* name :
         {L"TS_DATA.mdb", L"acad.dvb", L"PROJECT.dvb", L"Pictrue\\p1.jpg", L"Pictrue\\p3.jpg"})
        EXPECT_EQ(ReadBytes(cad + name), ReadBytes(box.Payload(name))) << name;

    // The older version again, over the newer.
    PutPayload(older);
    ASSERT_EQ(Install(), kDone);
    EXPECT_EQ(KeptFiles(World()), std::vector<std::wstring>{});
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), ReadBytes(box.Payload(L"acad.dvb")));

    ASSERT_EQ(Uninstall(), kExported);
    EXPECT_EQ(World(), WithLibrariesLeft(before));
}

TEST_F(UpgradeTest, OverTheUsersOwnFilesAChainGivesBackTheirsAndLeavesNothingOfOurs) {
    WriteBytes(cad + L"acad.dvb", "the user's own startup macros");
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\p1.jpg", "the user's own picture");
    WriteBytes(box.folders.winDir + L"\\CPUID.dll", "another vendor's CPUID.dll (Windows)");
    WriteBytes(box.folders.sysDir + L"\\CPUID.dll", "another vendor's CPUID.dll (System)");
    const Snapshot before = World();
    ASSERT_EQ(Install(), kDone);
    NewerPayload();
    ASSERT_EQ(Install(), kDone);
    // Only the user's files are kept, and as they were before the first install.
    const Snapshot upgraded = World();
    for (const std::wstring& path : KeptFiles(upgraded))
        EXPECT_EQ(upgraded.at(path), before.at(fileio::TargetOfKept(path).value()))
            << std::string(path.begin(), path.end());
    EXPECT_EQ(KeptFiles(upgraded).size(), 4u);

    ASSERT_EQ(Uninstall(), kExported);
    Snapshot expected = before;
    expected.emplace(cad + L"CPUID.dll", *ReadBytes(box.Payload(L"CPUID.dll")));
    EXPECT_EQ(World(), expected);
}

// An upgrade cut short after its files were written, before its record
// says how they ended up: the record it wrote first already knows them for
// ours, so the older version installed over them keeps none as the user's.
TEST_F(UpgradeTest, AnUpgradeCutShortBeforeItsLastRecordLeavesFilesThatAreStillKnownForOurs) {
    const Snapshot before = World();
    const Snapshot older = Payload();
    ASSERT_EQ(Install(), kDone);
    NewerPayload();
    RecordingHost upgrade(box.folders.appDir);
    std::optional<std::string> first;
    upgrade.onProgress = [&](float) {
        if (!first) first = ReadBytes(box.folders.InstallRecordPath());
    };
    deploy::CadImport(upgrade, box.folders);
    ASSERT_EQ(upgrade.messages, kDone);
    ASSERT_TRUE(first);
    WriteBytes(box.folders.InstallRecordPath(), *first);

    PutPayload(older);
    ASSERT_EQ(Install(), kDone);
    EXPECT_EQ(KeptFiles(World()), std::vector<std::wstring>{});
    ASSERT_EQ(Uninstall(), kExported);
    EXPECT_EQ(World(), WithLibrariesLeft(before));
}

// The record written first already names every file as the install leaves
// it: the last write finds it so and leaves it, and the disk is not asked
// for one more flush after all the copying.
TEST_F(UpgradeTest, AFirstInstallsLastRecordIsTheOneItWroteFirst) {
    RecordingHost host(box.folders.appDir);
    ULONGLONG first = 0;
    host.onProgress = [&](float) {
        if (!first) first = FileId(box.folders.InstallRecordPath());
    };
    deploy::CadImport(host, box.folders);
    ASSERT_EQ(host.messages, kDone);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(FileId(box.folders.InstallRecordPath()), first);
}

TEST_F(UpgradeTest, TheUsersEditOfAnInstalledFileIsKeptAndGivenBack) {
    ASSERT_EQ(Install(), kDone);
    WriteBytes(cad + L"TS_DATA.mdb", "the database with the user's own entries");
    NewerPayload();
    ASSERT_EQ(Install(), kDone);
    EXPECT_EQ(ReadBytes(cad + L"TS_DATA.mdb~TsSetup.bak"),
              "the database with the user's own entries");
    ASSERT_EQ(Uninstall(), kExported);
    EXPECT_EQ(ReadBytes(cad + L"TS_DATA.mdb"), "the database with the user's own entries");
    EXPECT_EQ(KeptFiles(World()), std::vector<std::wstring>{});
}

// A record of an earlier version knows none of its files: each that differs
// is kept as the user's, as that version did.
TEST_F(UpgradeTest, ARecordWithoutFingerprintsKeepsEveryDifferingFile) {
    ASSERT_EQ(Install(), kDone);
    deploy::InstallRecord record = deploy::ReadInstallRecord(box.folders.InstallRecordPath());
    ASSERT_FALSE(record.owned.empty());
    WriteBytes(box.folders.InstallRecordPath(),
               deploy::EncodeInstallRecord(record.cadDir, {}, record.pictures));
    NewerPayload();
    ASSERT_EQ(Install(), kDone);
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb~TsSetup.bak"), "content of acad.dvb");
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\p1.jpg~TsSetup.bak"), "picture 1");
}
