#include <gtest/gtest.h>

#include "disk_space.h"
#include "handles.h"
#include "install_record.h"
#include "menu_file.h"
#include "menu_text.h"
#include "messages.h"
#include "module1.h"
#include "procedures.h"
#include "reports.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kNoMessages;
const std::vector<std::wstring> kDone{deploy::text::kImportDone};

std::vector<float> Expected(int pictures) {
    std::vector<float> shown{1, 2, 3, 4, 6};
    for (int i = 0; i < pictures && 7 + i <= 48; ++i) shown.push_back(7.0f + i);
    return shown;
}

// The record of an install of the sandbox's payload into `cadDir`, whose
// own menu it patched when it has one.
std::string Record(const Sandbox& box, const std::wstring& cadDir) {
    deploy::InstallRecord record;
    record.cadDir = cadDir;
    record.pictures = module1::ListPlainFiles(box.Payload(L"Pictrue\\"));
    if (Exists(cadDir + L"support\\acad.mns")) record.menus = {cadDir + L"support\\acad.mns"};
    return deploy::EncodeInstallRecord(record);
}

class InstallTest : public ::testing::Test {
protected:
    Sandbox box;
    RecordingHost host{box.folders.appDir};
    void Install() { deploy::CadImport(host, box.folders); }
};

}  // namespace

TEST_F(InstallTest, DeploysEverythingIntoTheFolderFoundOnC) {
    MakeDirs(box.ProgramFiles(L'C') + L"\\Adobe");
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(3);
    Install();

    EXPECT_EQ(host.messages, kDone);
    EXPECT_TRUE(host.filters.empty());
    EXPECT_TRUE(host.ended);
    EXPECT_FALSE(host.calledAfterEnd);
    EXPECT_EQ(host.Shown(), Expected(3));
    for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                L"TS_DATA.ldb", L"CPUID.dll"})
        EXPECT_EQ(ReadBytes(cad + name), ReadBytes(box.Payload(name))) << name;
    EXPECT_EQ(ReadBytes(box.folders.winDir + L"\\CPUID.dll"), ReadBytes(box.Payload(L"CPUID.dll")));
    EXPECT_EQ(ReadBytes(box.folders.sysDir + L"\\CPUID.dll"), ReadBytes(box.Payload(L"CPUID.dll")));
    EXPECT_EQ(FileNames(cad + L"Pictrue"), FileNames(box.Payload(L"Pictrue")));
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\p2.jpg"), "picture 2");
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menu::AddMenuLine(kSampleMenu));
    EXPECT_EQ(ReadBytes(menu::PatchedCopyPath(box.folders.appDir)), menu::AddMenuLine(kSampleMenu));
    EXPECT_EQ(WithoutFingerprints(ReadBytes(box.folders.InstallRecordPath())), Record(box, cad));
    EXPECT_TRUE(LeftoverTemps(box.dir.Path()).empty());
}

TEST_F(InstallTest, TheBarStopsAt48AndEveryPictureIsCopied) {
    for (int pictures : {42, 50}) {
        Sandbox local;
        RecordingHost localHost(local.folders.appDir);
        const std::wstring cad = local.MakeCad(L"ACAD", kSampleMenu);
        local.MakePayload(pictures);
        deploy::CadImport(localHost, local.folders);
        EXPECT_EQ(localHost.Shown(), Expected(pictures)) << pictures;
        EXPECT_EQ(localHost.Shown().back(), 48.0f);
        EXPECT_EQ(FileNames(cad + L"Pictrue").size(), static_cast<size_t>(pictures));
        const size_t refused = std::count_if(localHost.progress.begin(), localHost.progress.end(),
                                             [](const ProgressCall& c) { return !c.accepted; });
        EXPECT_EQ(refused, static_cast<size_t>(pictures - 42));  // 49 and above
        EXPECT_GE(localHost.eventsServiced, pictures);
    }
}

// On 64-bit Windows the AutoCAD versions we serve are in "Program Files
// (x86)", while "Program Files" may hold a viewer with "CAD" in its folder's
// name. A folder holding acad.exe is taken before an earlier one without, the
// first such in the order of the roots; where none holds it, the first
// folder found, as ever.
TEST_F(InstallTest, AFolderHoldingAcadExeIsTakenBeforeAnEarlierOneWithout) {
    for (const bool withAcadExe : {true, false}) {
        Sandbox local;
        RecordingHost localHost(local.folders.appDir);
        const std::wstring viewer = local.ProgramFiles(L'C') + L"\\CAD迷你看图\\";
        MakeDirs(viewer);
        const std::wstring x86 = local.ProgramFiles(L'C') + L" (x86)\\AutoCAD 2004\\";
        const std::wstring onD = local.ProgramFiles(L'D') + L"\\AutoCAD 2005\\";
        for (const std::wstring& cad : {x86, onD}) {
            MakeDirs(cad + L"support");
            WriteBytes(cad + L"support\\acad.mns", kSampleMenu);
            if (withAcadExe) WriteBytes(cad + L"acad.exe", "AutoCAD");
        }
        local.MakePayload(1);
        // Both AutoCADs are offered, in search order; the second, unticked,
        // is left as it was.
        localHost.chooseAnswer = std::vector<size_t>{0};
        const Snapshot second = Snap(onD);
        deploy::CadImport(localHost, local.folders);
        EXPECT_EQ(WithoutFingerprints(ReadBytes(local.folders.InstallRecordPath())),
                  Record(local, withAcadExe ? x86 : viewer)) << withAcadExe;
        EXPECT_EQ(localHost.messages.back(), deploy::text::kImportDone);
        if (withAcadExe) {
            EXPECT_TRUE(Snap(viewer.substr(0, viewer.size() - 1)).empty());
            ASSERT_EQ(localHost.offered.size(), 1u);
            ASSERT_EQ(localHost.offered[0].size(), 2u);
            EXPECT_EQ(localHost.offered[0][1].dir, onD);
            EXPECT_EQ(Snap(onD), second);
        }
    }
}

// AutoCAD 2010 and later install into "Program Files\Autodesk": found there
// without the dialog, but only after every root itself, where an AutoCAD
// whose menu the program serves is taken first.
TEST_F(InstallTest, AnAutoCadInTheAutodeskFolderIsFoundAfterThoseOfEveryRoot) {
    for (const bool older : {false, true}) {
        Sandbox local;
        RecordingHost localHost(local.folders.appDir);
        const std::wstring newer = local.ProgramFiles(L'C') + L"\\Autodesk\\AutoCAD 2014\\";
        MakeDirs(newer + L"Support");
        WriteBytes(newer + L"acad.exe", "AutoCAD");
        const std::wstring x86 = local.ProgramFiles(L'C') + L" (x86)\\AutoCAD 2004\\";
        if (older) {
            MakeDirs(x86 + L"support");
            WriteBytes(x86 + L"support\\acad.mns", kSampleMenu);
            WriteBytes(x86 + L"acad.exe", "AutoCAD");
        }
        local.MakePayload(1);
        deploy::CadImport(localHost, local.folders);
        EXPECT_TRUE(localHost.filters.empty()) << "the file dialog was shown";
        EXPECT_EQ(deploy::ReadInstallRecord(local.folders.InstallRecordPath()).cadDir, older ? x86 : newer);
        EXPECT_EQ(localHost.messages.back(), deploy::text::kImportDone);
    }
}

TEST_F(InstallTest, AMissingPayloadFileGivesOneCopyErrorAndTheInstallGoesOn) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(1);
    ::DeleteFileW(box.Payload(L"acadstk.dmp").c_str());
    Install();
    EXPECT_EQ(host.messages, (std::vector<std::wstring>{module1::kCopyError,
                                                        deploy::text::kImportDone}));
    EXPECT_FALSE(Exists(cad + L"acadstk.dmp"));
    EXPECT_TRUE(Exists(cad + L"PROJECT.dvb"));
    EXPECT_EQ(host.Shown(), Expected(1));
}

TEST_F(InstallTest, WithoutAFolderTheUserPicksAcadExeAndItsFolderIsTaken) {
    const std::wstring acadDir = box.dir / L"D\\ACAD\\";
    MakeDirs(acadDir + L"support");
    WriteBytes(acadDir + L"support\\acad.mns", kSampleMenu);
    MakeDirs(box.ProgramFiles(L'C') + L"\\Adobe");
    box.MakePayload(0);
    host.pickAnswers = {acadDir + L"acad.exe"};
    Install();
    EXPECT_EQ(host.messages, (std::vector<std::wstring>{deploy::text::kAskForAcadExe,
                                                        deploy::text::kImportDone}));
    EXPECT_EQ(host.filters, std::vector<std::wstring>{L"可执行文件（acad.exe）(*.exe)|*.exe"});
    EXPECT_EQ(WithoutFingerprints(ReadBytes(box.folders.InstallRecordPath())), Record(box, acadDir));
    EXPECT_TRUE(Exists(acadDir + L"TS_DATA.mdb"));
    EXPECT_TRUE(IsDir(acadDir + L"Pictrue"));
}

TEST_F(InstallTest, CancellingTheDialogEndsWithNothingWritten) {
    box.MakePayload(2);
    const Snapshot before = Snap(box.dir.Path());
    host.pickAnswers = {L""};
    Install();
    EXPECT_EQ(host.messages, std::vector<std::wstring>{deploy::text::kAskForAcadExe});
    EXPECT_TRUE(host.ended);
    EXPECT_TRUE(host.progress.empty());
    EXPECT_EQ(Snap(box.dir.Path()), before);
}

// A second install over a finished one leaves one menu line, and rewrites
// nothing: every file stays the very file it was.
TEST_F(InstallTest, ASecondInstallLeavesOneMenuLineAndRewritesNothing) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(2);
    Install();
    const std::map<std::wstring, ULONGLONG> first = FileIds(box.dir.Path());
    RecordingHost second(box.folders.appDir);
    deploy::CadImport(second, box.folders);
    EXPECT_EQ(second.messages, kDone);  // the existing "Pictrue" is no error
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menu::AddMenuLine(kSampleMenu));
    EXPECT_EQ(FileIds(box.dir.Path()), first);
}

// A target that still has the size and last-write time the first install
// gave it from this very source is taken as equal without being read; one
// whose time moved is read, and rewritten where it differs.
TEST_F(InstallTest, ASecondInstallTakesATargetThatStillHasItsRecordedSizeAndTimeUnread) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(2);
    Install();
    auto sameLength = [](const std::optional<std::string>& bytes) { return std::string(bytes->size(), 'x'); };
    auto rewrite = [&](const std::wstring& path, bool keepTime) {
        FILETIME written{};
        win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::GetFileTime(file.Get(), nullptr, nullptr, &written));
        file.Reset();
        WriteBytes(path, sameLength(ReadBytes(path)));
        if (!keepTime) return;
        file.Reset(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.Get(), nullptr, nullptr, &written));
    };
    const std::wstring name = FileNames(cad + L"Pictrue")[0], picture = cad + L"Pictrue\\" + name;
    rewrite(cad + L"TS_DATA.mdb", true);
    rewrite(picture, true);
    rewrite(cad + L"acad.dvb", false);
    RecordingHost second(box.folders.appDir);
    deploy::CadImport(second, box.folders);
    EXPECT_EQ(second.messages, kDone);
    EXPECT_EQ(ReadBytes(cad + L"TS_DATA.mdb"), sameLength(ReadBytes(box.Payload(L"TS_DATA.mdb"))));
    EXPECT_EQ(ReadBytes(picture), sameLength(ReadBytes(box.Payload(L"Pictrue\\" + name))));
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb"), ReadBytes(box.Payload(L"acad.dvb")));
}

TEST_F(InstallTest, WithoutAutoCadsMenuAStaleCopyIsNotInstalled) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    ::DeleteFileW((cad + L"support\\acad.mns").c_str());
    WriteBytes(menu::PatchedCopyPath(box.folders.appDir), "another AutoCAD's menu");
    box.MakePayload(0);
    Install();
    const std::wstring menu = cad + L"support\\acad.mns";
    EXPECT_EQ(host.messages,
              (std::vector<std::wstring>{
                  deploy::MenusNotPatchedText({}, {}, std::vector<std::wstring>{menu, box.folders.roamingDir + L"\\Autodesk"}),
                  deploy::text::kImportDone}));
    EXPECT_FALSE(Exists(menu));
    EXPECT_EQ(WithoutFingerprints(ReadBytes(box.folders.InstallRecordPath())), Record(box, cad));
    // Nor may the uninstall rebuild this AutoCAD's menu from that copy.
    EXPECT_FALSE(Exists(menu::PatchedCopyPath(box.folders.appDir)));
    RecordingHost uninstall(box.folders.appDir);
    deploy::CadExport(uninstall, box.folders);
    EXPECT_EQ(uninstall.messages, std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_FALSE(Exists(cad + L"support\\acad.mns"));
}

TEST_F(InstallTest, WithoutPicturesInThePayloadThePictureFolderIsStillMade) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 2002", kSampleMenu);
    box.MakePayload(0);
    ::RemoveDirectoryW(box.Payload(L"Pictrue").c_str());
    Install();
    EXPECT_EQ(host.messages, kDone);
    EXPECT_TRUE(IsDir(cad + L"Pictrue"));
    EXPECT_TRUE(FileNames(cad + L"Pictrue").empty());
    EXPECT_EQ(host.Shown(), Expected(0));
}

TEST_F(InstallTest, AChineseFolderIsRecordedSoItReadsBack) {
    const std::wstring cad = box.MakeCad(L"AutoCAD 中文版", kSampleMenu);
    box.MakePayload(0);
    Install();
    EXPECT_TRUE(Exists(cad + L"TS_DATA.mdb"));
    const deploy::InstallRecord record = deploy::ReadInstallRecord(box.folders.InstallRecordPath());
    EXPECT_EQ(record.status, deploy::RecordStatus::Usable);
    EXPECT_EQ(record.cadDir, cad);
}

TEST(InstallRecord, IsAnsiWhenItFitsTheCodePageAndUtf8WithABomOtherwise) {
    const std::string ansi = deploy::EncodeInstallRecord(L"C:\\Program Files\\AutoCAD 2002\\");
    EXPECT_EQ(ansi, "C:\\Program Files\\AutoCAD 2002\\\r\n");
    // Hangul is in no Chinese code page; it must not come out as "?".
    const std::string utf8 = deploy::EncodeInstallRecord(L"C:\\오토캐드\\");
    EXPECT_EQ(utf8.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(deploy::DecodeInstallRecord(utf8), L"C:\\오토캐드\\");
    if (::GetACP() == 936) {
        EXPECT_EQ(deploy::EncodeInstallRecord(L"D:\\中文\\"), "D:\\\xD6\xD0\xCE\xC4\\\r\n");
        EXPECT_EQ(deploy::DecodeInstallRecord("D:\\\xD6\xD0\xCE\xC4\\\r\n"), L"D:\\中文\\");
    }
}

// The room an install needs on a drive: every new file in whole clusters, a
// file of the same size as its target nothing, a replaced file what it adds,
// plus the replaced files in flight, which stand beside the old ones for a
// moment; a kept file of the user's costs a copy only without hard links.
TEST(SpaceCount, CountsClustersSkipsEqualFilesAndAddsTheReplacedFilesInFlight) {
    TempDir dir;
    const std::wstring root = deploy::DriveRootOf(dir.Path());
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(::GetDiskFreeSpaceW(root.c_str(), &sectors, &bytes, &freeClusters, &clusters));
    const uint64_t c = static_cast<uint64_t>(sectors) * bytes;
    WriteBytes(dir / L"same", "12345");
    WriteBytes(dir / L"grows", "1");
    WriteBytes(dir / L"shrinks", std::string(5 * c, 's'));
    WriteBytes(dir / L"users", "1");
    const std::vector<deploy::DriveSpace> drives = deploy::CountSpace({
        {dir / L"new", 1, false},
        {dir / L"same", 5, true},
        {dir / L"grows", 3 * c + 1, false},
        {dir / L"shrinks", 2 * c, false},
        {dir / L"users", 2 * c, true},
        {dir / L"listed", 7, true, deploy::PlannedFile::Old::Present, 7},
        {dir / L"listedKept", c, true, deploy::PlannedFile::Old::Present, 1, true},
    });
    ASSERT_EQ(drives.size(), 1u);
    const deploy::DriveSpace& drive = drives[0];
    EXPECT_EQ(drive.cluster, c);
    EXPECT_TRUE(drive.known);
    EXPECT_EQ(drive.replacing, 4 * c + 2 * c + c);
    EXPECT_EQ(drive.growth, c + 3 * c + 2 * c + (drive.hardLinks ? 0 : c));
    EXPECT_EQ(drive.Needed(), drive.growth + drive.replacing);
}
