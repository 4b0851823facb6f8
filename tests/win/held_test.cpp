// What real machines do that a quiet one does not: another program holding a
// file for a moment, the user's own pictures in our folder, a program folder
// that cannot be written.
#include <gtest/gtest.h>

#include "file_ops.h"
#include "replacing_writer.h"
#include "side_files.h"
#include "install_record.h"
#include "messages.h"
#include "procedures.h"
#include "reports.h"
#include "test_support.h"

using namespace test;

namespace {

// Stands for the window: counts the events it is asked to service, and lets
// go of a file held by "another program" once its time is up.
struct HoldingWaiter final : fileio::Waiter {
    win::UniqueFile held;
    ULONGLONG releaseAt = 0;
    int events = 0;
    void EventsService() override {
        ++events;
        if (held && ::GetTickCount64() >= releaseAt) held.Reset();
    }
    // Holds `path` as a virus scanner does: reading, sharing reads only.
    void Hold(const std::wstring& path, ULONGLONG forMs) {
        held.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
        ASSERT_TRUE(held);
        releaseAt = ::GetTickCount64() + forMs;
        events = 0;
    }
};

ULONGLONG MsSince(ULONGLONG start) { return ::GetTickCount64() - start; }

}  // namespace

TEST(HeldFiles, WaitsAreMeasuredRightAcrossTheTickCountsWrap) {
    EXPECT_EQ(fileio::TicksBetween(0xFFFFFF00u, 0x100u), 0x200u);
    EXPECT_EQ(fileio::TicksBetween(1000u, 4000u), 3000u);
}

TEST(HeldFiles, ABriefHoldIsWaitedOutALongOneFailsAfterAboutThreeSecondsAReadOnlyFileAtOnce) {
    TempDir dir;
    HoldingWaiter waiter;

    // Released after 300 ms: the replace and the delete both go through, and
    // the window was serviced while they waited.
    WriteBytes(dir / L"menu", "old");
    waiter.Hold(dir / L"menu", 300);
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(fileio::WriteFileReplacing(dir / L"menu", "new", waiter), ERROR_SUCCESS);
    EXPECT_GE(MsSince(start), 300u);
    EXPECT_GT(waiter.events, 0);
    EXPECT_EQ(ReadBytes(dir / L"menu"), "new");
    waiter.Hold(dir / L"menu", 300);
    EXPECT_EQ(fileio::DeleteIfPresent(dir / L"menu", waiter), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(dir / L"menu"));

    // Held for 10 s: a failure after about 3 s, the file as it was.
    WriteBytes(dir / L"locked", "old");
    waiter.Hold(dir / L"locked", 10000);
    start = ::GetTickCount64();
    EXPECT_NE(fileio::WriteFileReplacing(dir / L"locked", "new", waiter), ERROR_SUCCESS);
    const ULONGLONG waited = MsSince(start);
    EXPECT_GE(waited, 2500u);
    EXPECT_LT(waited, 6000u);
    waiter.held.Reset();
    EXPECT_EQ(ReadBytes(dir / L"locked"), "old");
    EXPECT_TRUE(LeftoverTemps(dir.Path()).empty());

    // Read-only: refused without a single wait.
    WriteBytes(dir / L"readonly", "old");
    ::SetFileAttributesW((dir / L"readonly").c_str(), FILE_ATTRIBUTE_READONLY);
    waiter.events = 0;
    EXPECT_EQ(fileio::DeleteIfPresent(dir / L"readonly", waiter), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(fileio::WriteFileReplacing(dir / L"readonly", "new", waiter),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(waiter.events, 0);
    ::SetFileAttributesW((dir / L"readonly").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(UsersPictures, StayByteForByteThroughAnInstallAndAnUninstallEvenWithoutThePayload) {
    Sandbox box;
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(3);
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\holiday.jpg", "the user's own");
    WriteBytes(cad + L"Pictrue\\p1.jpg", "the user's p1");
    const Snapshot before = Snap(cad + L"Pictrue");
    RunToEnd(deploy::CadImport, box.folders);
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\p1.jpg"), "picture 1");
    // The uninstall knows our pictures from the record, not from the payload.
    RemoveTree(box.Payload(L"Pictrue"));
    const RecordingHost host = RunToEnd(deploy::CadExport, box.folders);
    EXPECT_EQ(host.messages, std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_EQ(Snap(cad + L"Pictrue"), before);
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), kSampleMenu);
}

TEST(ProgramFolder, ThatCannotBeWrittenIsSaidBeforeAnythingChanges) {
    Sandbox box;
    box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(3);
    // A folder where the record's temporary file must go: the record cannot
    // be written, as in a folder on read-only media.
    MakeDirs(fileio::TempPathFor(box.folders.InstallRecordPath()));
    const Snapshot before = Snap(box.dir.Path());
    const RecordingHost host = RunToEnd(deploy::CadImport, box.folders);
    EXPECT_EQ(host.messages,
              std::vector<std::wstring>{deploy::ProgramFolderUnwritableText(box.folders.appDir)});
    EXPECT_TRUE(host.progress.empty());
    EXPECT_EQ(Snap(box.dir.Path()), before);
}
