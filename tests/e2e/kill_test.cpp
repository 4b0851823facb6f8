// Kills TsSetup.exe at random moments of an install and of an uninstall and
// checks that no file was left half-written: AutoCAD's menu is byte for byte
// the content before or after the run, every deployed file is absent or a
// whole copy, the install record absent or whole. Then a complete run must
// leave no temporary file anywhere. The same again where the install finds
// the user's own files in its way: each is at every moment the user's or
// ours with the user's kept beside it, never lost.
// TS_E2E_DIST: the folder holding TsSetup.exe. TS_KILLS: kills in each of
// the four cases (default 20). TS_KILL_SEED: the first seed (default: from the clock).
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "app_driver.h"
#include "folders.h"
#include "side_files.h"
#include "install_record.h"
#include "cui_text.h"
#include "cuix_package.h"
#include "menu_text.h"
#include "module1.h"
#include "test_support.h"

using namespace test;
using namespace e2e;

namespace {

const wchar_t* const kDeployed[] = {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb",
                                    L"acad.dvb",    L"TS_DATA.ldb", L"CPUID.dll"};
constexpr int kPictures = 150;

class KillTest : public ::testing::Test {
protected:
    std::wstring dist = EnvVar(L"TS_E2E_DIST");
    std::wstring data = dist + L"\\data\\";
    std::wstring cad = L"C:\\Program Files\\AutoCAD 2002\\";
    std::wstring winDll, sysDll;
    // The menu the install patches: AutoCAD 2002's own, or for AutoCAD 2004
    // its user's, in the roaming profile (UseAutoCad2004).
    std::wstring menuPath = cad + L"support\\acad.mns";
    std::wstring profile;
    std::string menuBefore = kSampleMenu;
    std::string menuAfter = menu::AddMenuLine(kSampleMenu);
    // A .cuix package, whose content is that of its parts: the install and
    // the uninstall re-date its listing of part dates.
    bool package = false;
    // The record's word for the menu, "" for none.
    std::wstring menuWord;
    // Whether the install writes the menu's patched copy in the program
    // folder (a .mns does).
    bool sideCopy = true;
    int kills = 20;
    unsigned seed = 0;
    int partial = 0;  // files found neither as before nor as after
    // The user's own files the install replaces, by path, with their
    // content; empty when the install finds nothing of the user's.
    std::map<std::wstring, std::string> users;
    // A second AutoCAD with its own menu, served in the same runs after the
    // choice of both; "" for none.
    std::wstring cad2;

    // The install's record: the pictures it deploys are ours, but for one of
    // the user's that stood there before.
    std::string Record(const deploy::GivenBack& givenBack = {}) const {
        deploy::Pictures ours;
        for (const std::wstring& name : module1::ListPlainFiles(data + L"Pictrue\\"))
            if (!users.count(cad + L"Pictrue\\" + name)) ours.push_back(name);
        deploy::InstallRecord record;
        record.cadDir = cad;
        record.givenBack = givenBack;
        record.pictures = ours;
        record.menus = {menuPath};
        if (!menuWord.empty()) record.menuWords = {menuWord + L" " + menuPath};
        if (!cad2.empty()) {
            record.menus.push_back(cad2 + L"support\\acad.mns");
            record.more = {{cad2, module1::ListPlainFiles(data + L"Pictrue\\")}};
        }
        return deploy::EncodeInstallRecord(record);
    }

    // An AutoCAD whose menu is its user's, in the roaming profile:
    // `product` ("AutoCAD 2004") in C:'s Program Files (within its
    // "Autodesk" folder when `underAutodesk`), its menu at `menu` below the
    // profile's product folder.
    void UseProfileMenu(const std::wstring& product, bool underAutodesk, const std::wstring& menu) {
        RemoveTree(cad.substr(0, cad.size() - 1));
        cad = L"C:\\Program Files\\" + std::wstring(underAutodesk ? L"Autodesk\\" : L"") + product + L"\\";
        profile = deploy::FoldersFromOs().roamingDir + L"\\Autodesk";
        menuPath = profile + L"\\" + product + L"\\" + menu;
    }

    void UseAutoCad2004() {
        UseProfileMenu(L"AutoCAD 2004", false, L"R16.0\\chs\\Support\\acad.mns");
    }

    // A payload so small that most kills fall while the menu is read,
    // changed and written.
    void UseSmallPayload() {
        WriteBytes(data + L"TS_DATA.mdb", std::string(64 << 10, 'a'));
        for (const std::wstring& name : FileNames(data + L"Pictrue"))
            if (name.size() > 8) ::DeleteFileW((data + L"Pictrue\\" + name).c_str());
    }

    // The menu's content: a package's parts but its listing of part dates.
    std::optional<std::string> MenuContent(const std::optional<std::string>& bytes) const {
        if (!package || !bytes) return bytes;
        const auto parts = PartsWithoutDates(bytes);
        if (!parts) return std::string("<not a package that can be read whole>");
        std::string content;
        for (const auto& [name, part] : *parts) content += name + '\0' + part + '\0';
        return content;
    }

    void WithUsersFiles() {
        users = {{cad + L"acad.dvb", "the user's own startup macros"},
                 {cad + L"TS_DATA.mdb", std::string(3 << 20, 'u')},
                 {cad + L"Pictrue\\pic3.bmp", "the user's own picture"},
                 {winDll, "another vendor's CPUID.dll (Windows)"},
                 {sysDll, "another vendor's CPUID.dll (System)"}};
    }

    void SetUp() override {
        ASSERT_FALSE(dist.empty()) << "TS_E2E_DIST is not set";
        if (const std::wstring n = EnvVar(L"TS_KILLS"); !n.empty()) kills = std::stoi(n);
        const std::wstring s = EnvVar(L"TS_KILL_SEED");
        seed = s.empty() ? static_cast<unsigned>(::GetTickCount()) : std::stoul(s);
        wchar_t buffer[MAX_PATH];
        winDll = std::wstring(buffer, ::GetWindowsDirectoryW(buffer, MAX_PATH)) + L"\\CPUID.dll";
        sysDll = std::wstring(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH)) + L"\\CPUID.dll";
        MakePayload(data, 1);
    }

    // A payload big enough that a kill often lands inside a copy, in
    // `folder` (ending in "\\"). Its second version has another database,
    // AutoCAD projects and pictures, one picture fewer and one more.
    static void MakePayload(const std::wstring& folder, int version) {
        RemoveTree(folder.substr(0, folder.size() - 1));
        MakeDirs(folder + L"Pictrue");
        const char mark = version == 1 ? 'a' : 'b';
        WriteBytes(folder + L"TS_DATA.mdb", std::string(24 << 20, mark));
        for (const wchar_t* name : {L"PROJECT.dvb", L"acad.dvb"})
            WriteBytes(folder + name, std::string(256 << 10, mark));
        for (const wchar_t* name : {L"acadstk.dmp", L"CPUID.dll"}) WriteBytes(folder + name, std::string(256 << 10, 'd'));
        WriteBytes(folder + L"TS_DATA.ldb", "");
        for (int i = version == 1 ? 0 : 1; i < kPictures + version - 1; ++i)
            WriteBytes(folder + L"Pictrue\\pic" + std::to_wstring(i) + L".bmp",
                       std::string(32 << 10, static_cast<char>(mark + i % 24)));
    }

    void ResetToBefore() {
        if (!cad2.empty()) {
            RemoveTree(cad2.substr(0, cad2.size() - 1));
            MakeDirs(cad2 + L"support");
            WriteBytes(cad2 + L"acad.exe", "AutoCAD");
            WriteBytes(cad2 + L"support\\acad.mns", menuBefore);
        }
        RemoveTree(cad.substr(0, cad.size() - 1));
        MakeDirs(cad + L"support");
        WriteBytes(cad + L"acad.exe", "AutoCAD");
        if (!profile.empty()) {
            RemoveTree(profile);
            MakeDirs(menuPath.substr(0, menuPath.rfind(L'\\')));
        }
        WriteBytes(menuPath, menuBefore);
        for (const std::wstring& f : {winDll, sysDll, dist + L"\\INFOFILE", dist + L"\\acad.mns"}) {
            ::DeleteFileW(f.c_str());
            ::DeleteFileW(fileio::KeptPathFor(f).c_str());
            fileio::RemoveStaleTemp(f);
        }
        if (!users.empty()) MakeDirs(cad + L"Pictrue");
        for (const auto& [path, content] : users) WriteBytes(path, content);
    }

    // The state a complete install leaves, laid down directly.
    void ResetToInstalled() {
        ResetToBefore();
        for (const std::wstring& dir : {cad, cad2}) {
            if (dir.empty()) continue;
            for (const wchar_t* name : kDeployed) ::CopyFileW((data + name).c_str(), (dir + name).c_str(), FALSE);
            MakeDirs(dir + L"Pictrue");
            for (const std::wstring& name : FileNames(data + L"Pictrue"))
                ::CopyFileW((data + L"Pictrue\\" + name).c_str(), (dir + L"Pictrue\\" + name).c_str(), FALSE);
        }
        if (!cad2.empty()) WriteBytes(cad2 + L"support\\acad.mns", menuAfter);
        ::CopyFileW((data + L"CPUID.dll").c_str(), winDll.c_str(), FALSE);
        ::CopyFileW((data + L"CPUID.dll").c_str(), sysDll.c_str(), FALSE);
        WriteBytes(menuPath, menuAfter);
        if (sideCopy) WriteBytes(dist + L"\\acad.mns", menuAfter);
        WriteBytes(dist + L"\\INFOFILE", Record());
        for (const auto& [path, content] : users) WriteBytes(fileio::KeptPathFor(path), content);
    }

    // One complete run of a button; the milliseconds from click to its message.
    int CompleteRun(int button, const wchar_t* done) {
        App app(dist);
        if (!app.Main()) return -1;
        Click(app, button);
        const DWORD start = ::GetTickCount();
        HWND box = app.WaitDialog();
        const int elapsed = static_cast<int>(::GetTickCount() - start);
        EXPECT_EQ(box ? WindowText(::GetDlgItem(box, 0xFFFF)) : L"", done);
        if (box) App::CloseDialog(box, IDOK);
        EXPECT_EQ(app.WaitExit(), 0);
        return elapsed;
    }

    // A click of `button`; with a second AutoCAD the install's choice comes
    // first, and both are taken.
    void Click(const App& app, int button) {
        app.Click(button);
        if (cad2.empty() || button != kImport) return;
        HWND choice = app.WaitDialog();
        ASSERT_TRUE(choice && WindowText(choice) == L"选择AutoCAD") << "the choice of AutoCADs did not come";
        App::CloseDialog(choice, IDOK);
    }

    void KilledRun(int button, int delayMs) {
        App app(dist);
        ASSERT_TRUE(app.Main());
        Click(app, button);
        ::Sleep(static_cast<DWORD>(delayMs));
        app.Kill();
    }

    // `path` must hold one of the allowed contents; nothing stands for absent.
    // The record is compared without the fingerprints of the files it names.
    // `isMenu`: the menu, compared by its content.
    void ExpectOneOf(const std::wstring& path, std::initializer_list<std::optional<std::string>> allowed,
                     bool isMenu = false) {
        const std::optional<std::string> actual =
            path == dist + L"\\INFOFILE" ? WithoutFingerprints(ReadBytes(path))
            : isMenu                       ? MenuContent(ReadBytes(path))
                                           : ReadBytes(path);
        for (const std::optional<std::string>& a : allowed)
            if ((isMenu ? MenuContent(a) : a) == actual) return;
        ++partial;
        ADD_FAILURE() << "partial or foreign content in " << std::string(path.begin(), path.end())
                      << " (" << (actual ? actual->size() : 0) << " bytes)";
    }

    // What the install deploys at `path`.
    std::optional<std::string> Ours(const std::wstring& path) {
        if (path == winDll || path == sysDll) return ReadBytes(data + L"CPUID.dll");
        return ReadBytes(data + path.substr(cad.size()));
    }

    // A user's file and its kept copy: the old file stays at the target
    // until the new one takes its place with the old one kept, and the kept
    // copy goes only once the old file is back. `complete`: after a whole run.
    void CheckUsersFile(const std::wstring& path, const std::string& old, bool fromInstalled,
                        bool complete) {
        const std::optional<std::string> target = ReadBytes(path);
        const std::optional<std::string> kept = ReadBytes(fileio::KeptPathFor(path));
        const std::optional<std::string> ours = Ours(path);
        const bool before = target == old && !kept;
        const bool keptOnly = target == old && kept == old;
        const bool after = target == ours && kept == old;
        const bool fine = fromInstalled ? (complete ? before : before || after)
                                        : (complete ? after : before || keptOnly || after);
        if (fine) return;
        ++partial;
        ADD_FAILURE() << "the user's file " << std::string(path.begin(), path.end()) << " is "
                      << (target == old ? "the user's" : target == ours ? "ours" : "neither")
                      << ", its kept copy "
                      << (!kept ? "absent" : kept == old ? "the user's" : "something else");
    }

    void CheckUsersFiles(bool fromInstalled, bool complete) {
        for (const auto& [path, content] : users) CheckUsersFile(path, content, fromInstalled, complete);
    }

    void CheckFiles(bool fromInstalled) {
        CheckUsersFiles(fromInstalled, false);
        const std::optional<std::string> none;
        ExpectOneOf(menuPath, {menuBefore, menuAfter}, true);
        if (!profile.empty()) ExpectOneOf(cad + L"support\\acad.mns", {none});
        for (const std::wstring& dir : {cad, cad2}) {
            if (dir.empty()) continue;
            for (const wchar_t* name : kDeployed) {
                if (users.count(dir + name)) continue;
                const bool keptByUninstall = fromInstalled && std::wstring(name) == L"CPUID.dll";
                if (keptByUninstall) ExpectOneOf(dir + name, {ReadBytes(data + name)});
                else ExpectOneOf(dir + name, {none, ReadBytes(data + name)});
            }
        }
        if (!cad2.empty()) {
            ExpectOneOf(cad2 + L"support\\acad.mns", {menuBefore, menuAfter});
            for (const std::wstring& name : FileNames(cad2 + L"Pictrue"))
                if (name.find(L"~TsSetup.") == std::wstring::npos)
                    ExpectOneOf(cad2 + L"Pictrue\\" + name, {ReadBytes(data + L"Pictrue\\" + name)});
        }
        if (!users.count(winDll)) ExpectOneOf(winDll, fromInstalled ? std::initializer_list<std::optional<std::string>>{ReadBytes(data + L"CPUID.dll")}
                                          : std::initializer_list<std::optional<std::string>>{none, ReadBytes(data + L"CPUID.dll")});
        if (!users.count(sysDll)) ExpectOneOf(sysDll, {none, ReadBytes(data + L"CPUID.dll")});
        for (const std::wstring& name : FileNames(cad + L"Pictrue")) {
            if (name.find(L"~TsSetup.") != std::wstring::npos) continue;
            if (users.count(cad + L"Pictrue\\" + name)) continue;
            ExpectOneOf(cad + L"Pictrue\\" + name, {ReadBytes(data + L"Pictrue\\" + name)});
        }
        const std::string record = Record();
        // The uninstall notes the files it gives back in the record first.
        deploy::GivenBack givenBack;
        for (const auto& [path, content] : users) givenBack.insert(path);
        const std::string noted = Record(givenBack);
        if (fromInstalled) ExpectOneOf(dist + L"\\INFOFILE", {record, noted});
        else ExpectOneOf(dist + L"\\INFOFILE", {none, record});
        if (!sideCopy) ExpectOneOf(dist + L"\\acad.mns", {none});
        else ExpectOneOf(dist + L"\\acad.mns", fromInstalled ? std::initializer_list<std::optional<std::string>>{menuAfter}
                                                       : std::initializer_list<std::optional<std::string>>{none, menuAfter});
    }

    void ExpectNoTemporaryFiles() {
        std::vector<std::wstring> temps = LeftoverTemps(cad.substr(0, cad.size() - 1));
        if (!cad2.empty())
            for (const std::wstring& t : LeftoverTemps(cad2.substr(0, cad2.size() - 1))) temps.push_back(t);
        for (const std::wstring& t : LeftoverTemps(dist)) temps.push_back(t);
        if (!profile.empty())
            for (const std::wstring& t : LeftoverTemps(profile)) temps.push_back(t);
        for (const std::wstring& f : {winDll, sysDll})
            if (Exists(fileio::TempPathFor(f))) temps.push_back(fileio::TempPathFor(f));
        EXPECT_EQ(temps, std::vector<std::wstring>{});
    }

    // AutoCAD's folder and the library's copies outside it, with the files
    // that stand beside each.
    Snapshot World() const {
        Snapshot world;
        for (auto& [path, content] : Snap(cad.substr(0, cad.size() - 1))) world[cad + path] = content;
        for (const std::wstring& dll : {winDll, sysDll})
            for (const std::wstring& f : {dll, fileio::KeptPathFor(dll), fileio::TempPathFor(dll)})
                if (std::optional<std::string> bytes = ReadBytes(f)) world[f] = std::move(*bytes);
        return world;
    }

    // Makes the payload of `version` the one in "data"; the other waits in
    // "data-1" or "data-2".
    void UsePayload(int version) {
        const std::wstring other = dist + L"\\data-" + std::to_wstring(version);
        if (!IsDir(other)) return;
        const std::wstring current = dist + L"\\data-" + std::to_wstring(3 - version);
        ASSERT_TRUE(::MoveFileW((dist + L"\\data").c_str(), current.c_str()));
        ASSERT_TRUE(::MoveFileW(other.c_str(), (dist + L"\\data").c_str()));
    }

    void KillMany(int button, const wchar_t* done, bool fromInstalled) {
        auto reset = [&] { fromInstalled ? ResetToInstalled() : ResetToBefore(); };
        reset();
        const int length = CompleteRun(button, done);
        ASSERT_GT(length, 0);
        std::printf("run length %d ms, seeds %u to %u\n", length, seed, seed + kills - 1);
        for (int i = 0; i < kills; ++i) {
            std::mt19937 random(seed + i);
            const int delay = std::uniform_int_distribution<int>(0, length)(random);
            reset();
            KilledRun(button, delay);
            SCOPED_TRACE("seed " + std::to_string(seed + i) + ", killed after " + std::to_string(delay) + " ms");
            CheckFiles(fromInstalled);
            // The next complete run finishes the work; after a killed run that
            // had finished, it is a second run, which must change nothing.
            CompleteRun(button, done);
            CheckUsersFiles(fromInstalled, true);
            ExpectNoTemporaryFiles();
        }
        std::printf("kills: %d, files left partial: %d\n", kills, partial);
    }
};

}  // namespace

TEST_F(KillTest, AnInstallKilledAtAnyMomentLeavesNoPartialFile) {
    KillMany(kImport, L"导入完成！", false);
    EXPECT_EQ(partial, 0);
}

// A first install writes its pictures into a folder under a temporary name
// and names it once they are all on the disk: killed while they are being
// written there, it leaves no picture folder, and the next install, or the
// uninstall, clears what it had staged.
TEST_F(KillTest, AnInstallKilledWhileItsPicturesAreStagedLeavesNoPictureFolder) {
    const std::wstring staged = fileio::TempPathFor(cad + L"Pictrue");
    for (const int button : {kImport, kExport}) {
        ResetToBefore();
        {
            App app(dist);
            ASSERT_TRUE(app.Main());
            app.Click(kImport);
            const DWORD start = ::GetTickCount();
            while (FileNames(staged).size() < 10 && ::GetTickCount() - start < 60000) ::Sleep(1);
            app.Kill();
        }
        ASSERT_GE(FileNames(staged).size(), 10u) << "the pictures were never seen staged";
        EXPECT_FALSE(Exists(cad + L"Pictrue"));
        CheckFiles(false);
        CompleteRun(button, button == kImport ? L"导入完成！" : L"导出完成！");
        EXPECT_FALSE(Exists(staged));
        ExpectNoTemporaryFiles();
        if (button == kImport) {
            EXPECT_EQ(FileNames(cad + L"Pictrue"), FileNames(data + L"Pictrue"));
            for (const std::wstring& name : FileNames(data + L"Pictrue"))
                ExpectOneOf(cad + L"Pictrue\\" + name, {ReadBytes(data + L"Pictrue\\" + name)});
        }
    }
    EXPECT_EQ(partial, 0);
}

TEST_F(KillTest, AnUninstallKilledAtAnyMomentLeavesNoPartialFile) {
    KillMany(kExport, L"导出完成！", true);
    EXPECT_EQ(partial, 0);
}

TEST_F(KillTest, AnInstallOverTheUsersFilesKilledAtAnyMomentLosesNoneOfThem) {
    WithUsersFiles();
    KillMany(kImport, L"导入完成！", false);
    EXPECT_EQ(partial, 0);
}

TEST_F(KillTest, AnUninstallGivingTheUsersFilesBackKilledAtAnyMomentLosesNoneOfThem) {
    WithUsersFiles();
    KillMany(kExport, L"导出完成！", true);
    EXPECT_EQ(partial, 0);
}

// Two AutoCADs served in one install and given back in one uninstall: each
// file of both whole at every moment, and the next run finishes the work.
TEST_F(KillTest, AnInstallAndAnUninstallOverTwoAutoCadsKilledAtAnyMomentLeaveNoPartialFile) {
    cad2 = L"C:\\Program Files\\Autodesk\\AutoCAD 2014\\";
    MakeDirs(L"C:\\Program Files\\Autodesk");
    kills = (kills + 1) / 2;
    KillMany(kImport, L"导入完成！", false);
    KillMany(kExport, L"导出完成！", true);
    EXPECT_EQ(partial, 0);
    RemoveTree(L"C:\\Program Files\\Autodesk");
}

// AutoCAD 2004's menu is its user's, in the roaming profile: it too is whole
// at every moment, and the next run finishes the work.
TEST_F(KillTest, AnInstallAndAnUninstallOfAutoCad2004KilledAtAnyMomentLeaveItsUsersMenuWhole) {
    UseAutoCad2004();
    kills = (kills + 1) / 2;
    KillMany(kImport, L"导入完成！", false);
    KillMany(kExport, L"导出完成！", true);
    EXPECT_EQ(partial, 0);
    RemoveTree(profile);
    RemoveTree(cad.substr(0, cad.size() - 1));
}

// The customization files of AutoCAD 2007 (acad.cui) and 2014 (acad.cuix),
// each its user's, in the roaming profile: whole at every moment of an
// install and an uninstall, and the next run finishes the work.
TEST_F(KillTest, AnInstallAndAnUninstallKilledAtAnyMomentLeaveTheUsersAcadCuiAndAcadCuixWhole) {
    const std::optional<std::string> cuiFile = SharedFile(L"" TS_SHARED_CUI L"/acad2007-kor.cui");
    const std::optional<std::string> cuixFile = SharedFile(L"" TS_SHARED_CUI L"/acad2014-enu.cuix");
    if (!cuiFile || !cuixFile) GTEST_SKIP() << "../shared/cui is absent: acad.cui and acad.cuix not tried";
    UseSmallPayload();
    sideCopy = false;
    kills = (kills + 2) / 3;

    UseProfileMenu(L"AutoCAD 2007", false, L"R17.0\\kor\\Support\\acad.cui");
    menuBefore = *cuiFile;
    const cui::Edit edit = cui::AddItem(menuBefore);
    ASSERT_TRUE(edit.changed);
    menuAfter = edit.text;
    menuWord = edit.madeUserGroup ? L"usergroup" : L"";
    KillMany(kImport, L"导入完成！", false);
    KillMany(kExport, L"导出完成！", true);
    RemoveTree(profile);

    UseProfileMenu(L"AutoCAD 2014", true, L"R19.1\\enu\\Support\\acad.cuix");
    package = true;
    menuBefore = *cuixFile;
    std::string macros, menus;
    ASSERT_EQ(cuix::ReadPart(menuBefore, "MenuGroup.cui", macros), cuix::Refusal::None);
    ASSERT_EQ(cuix::ReadPart(menuBefore, "PopMenuRoot.cui", menus), cuix::Refusal::None);
    const cui::PartsEdit parts = cui::AddItemToParts(macros, menus);
    ASSERT_EQ(cuix::ReplaceParts(menuBefore, {{"MenuGroup.cui", parts.macros}, {"PopMenuRoot.cui", parts.menus}},
                                 "2026-12-09T12:00:00.0000000+08:00", 0, 0x5D89, menuAfter),
              cuix::Refusal::None);
    menuWord = parts.madeUserGroup ? L"usergroup" : L"";
    MakeDirs(L"C:\\Program Files\\Autodesk");
    KillMany(kImport, L"导入完成！", false);
    KillMany(kExport, L"导出完成！", true);
    KeepForOtherReaders(menuPath, L"after-kills");
    EXPECT_EQ(partial, 0);
    RemoveTree(profile);
    RemoveTree(L"C:\\Program Files\\Autodesk");
}

// An upgrade killed at any moment, and then the uninstall (every other time
// after the older version was installed again): nothing of either version stays,
// and what the user had is back, byte for byte. Once over a clean AutoCAD,
// once over the user's own files.
TEST_F(KillTest, AnUpgradeKilledAtAnyMomentThenUninstalledLeavesNothingOfEitherVersion) {
    MakePayload(dist + L"\\data-2\\", 2);
    const std::wstring older = dist + L"\\data-1\\";
    kills = (kills + 2) / 3;
    for (const bool withUsers : {false, true}) {
        users.clear();
        if (withUsers) WithUsersFiles();
        ResetToBefore();
        const Snapshot before = World();
        // What stays by design: the library in AutoCAD's folder, and in the
        // Windows folder where the user had none.
        Snapshot expected = before;
        const std::string library = *ReadBytes(data + L"CPUID.dll");
        expected[cad + L"CPUID.dll"] = library;
        if (!users.count(winDll)) expected[winDll] = library;

        CompleteRun(kImport, L"导入完成！");
        UsePayload(2);
        const int length = CompleteRun(kImport, L"导入完成！");
        UsePayload(1);
        CompleteRun(kExport, L"导出完成！");
        ASSERT_TRUE(World() == expected) << "a complete upgrade and uninstall left something behind";
        std::printf("upgrade length %d ms, seeds %u to %u\n", length, seed, seed + kills - 1);
        for (int i = 0; i < kills; ++i) {
            std::mt19937 random(seed + i);
            const int delay = std::uniform_int_distribution<int>(0, length)(random);
            ResetToBefore();
            CompleteRun(kImport, L"导入完成！");
            UsePayload(2);
            KilledRun(kImport, delay);
            SCOPED_TRACE("seed " + std::to_string(seed + i) + ", upgrade killed after " + std::to_string(delay) + " ms");
            // Each file is whole: of one version or the other, or the user's.
            for (const auto& [path, content] : World()) {
                if (content == "<dir>" || path.find(L"~TsSetup.") != std::wstring::npos) continue;
                const std::wstring name = path == winDll || path == sysDll ? L"CPUID.dll" : path.substr(cad.size());
                const auto user = users.find(path);
                ExpectOneOf(path, {ReadBytes(data + name), ReadBytes(older + name),
                                   user == users.end() ? std::nullopt : std::optional<std::string>(user->second),
                                   name == L"acad.exe" || name == L"support\\acad.mns" ? ReadBytes(path) : std::nullopt});
            }
            // Every other time the older version is installed again first, to
            // its end: a file the killed run wrote is ours to it as well.
            UsePayload(1);
            if (i % 2) CompleteRun(kImport, L"导入完成！");
            CompleteRun(kExport, L"导出完成！");
            EXPECT_TRUE(World() == expected) << "the uninstall after the killed upgrade left something behind";
            ExpectNoTemporaryFiles();
        }
    }
    EXPECT_EQ(partial, 0);
}
