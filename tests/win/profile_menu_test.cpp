// AutoCAD 2004 and 2005 load their menu from each user's roaming profile:
// the install puts the item there, for this AutoCAD only, and says how to
// start Tesmora where no menu can take it.
#include <gtest/gtest.h>

#include <algorithm>

#include "cad_menus.h"
#include "cui_text.h"
#include "install_record.h"
#include "menu_text.h"
#include "messages.h"
#include "procedures.h"
#include "reports.h"
#include "test_support.h"

using namespace test;

namespace {

const std::vector<std::wstring> kDone{deploy::text::kImportDone};

class ProfileMenuTest : public ::testing::Test {
  protected:
    Sandbox box;
    // A real AutoCAD 2004 user menu, with the CR LF line ends it has on
    // Windows; the sample menu where the shared files are not there.
    std::string menuBefore = kSampleMenu;

    void SetUp() override {
        box.MakePayload(2);
        std::wstring shared;
        for (const wchar_t c : std::wstring(L"" TS_SHARED_MENUS L"/acad2004-user.mns"))
            shared += c == L'/' ? L'\\' : c;
        if (const std::optional<std::string> lf = ReadBytes(shared)) {
            menuBefore.clear();
            for (const char c : *lf) c == '\n' ? menuBefore += "\r\n" : menuBefore += c;
        }
    }
    // An AutoCAD folder as 2004 and later install it: acad.exe, and a Support
    // folder without a menu.
    std::wstring MakeCad(const std::wstring& root, const std::wstring& name) {
        const std::wstring cad = root + L"\\" + name + L"\\";
        MakeDirs(cad + L"Support");
        WriteBytes(cad + L"acad.exe", "AutoCAD");
        return cad;
    }
    std::wstring ProductFolder(const std::wstring& product) const {
        return box.folders.roamingDir + L"\\Autodesk\\" + product;
    }
    // The user's menu of `product`, made with `menuBefore`.
    std::wstring MakeProfileMenu(const std::wstring& product, const std::wstring& release,
                                 const std::wstring& language) {
        const std::wstring support =
            ProductFolder(product) + L"\\" + release + L"\\" + language + L"\\Support";
        MakeDirs(support);
        WriteBytes(support + L"\\acad.mns", menuBefore);
        return support + L"\\acad.mns";
    }
    RecordingHost Install() { return RunToEnd(deploy::CadImport, box.folders); }
};

}  // namespace

TEST_F(ProfileMenuTest, AutoCad2004GetsTheItemInTheUsersMenuAndAnyUsersUninstallTakesItOut) {
    const std::wstring cad = MakeCad(box.ProgramFiles(L'C'), L"AutoCAD 2004");
    const std::wstring profile = MakeProfileMenu(L"AutoCAD 2004", L"R16.0", L"chs");

    EXPECT_EQ(Install().messages, kDone);
    EXPECT_EQ(ReadBytes(profile), menu::AddMenuLine(menuBefore));
    EXPECT_FALSE(Exists(cad + L"support\\acad.mns"));
    EXPECT_EQ(deploy::ReadInstallRecord(box.folders.InstallRecordPath()).menus,
              deploy::Menus{profile});
    // A second install keeps one item.
    EXPECT_EQ(Install().messages, kDone);
    EXPECT_EQ(ReadBytes(profile), menu::AddMenuLine(menuBefore));

    // Another administrator's account runs the uninstall: the recorded menu
    // is the one it restores.
    deploy::Folders other = box.folders;
    other.roamingDir = box.dir / L"another user";
    EXPECT_EQ(RunToEnd(deploy::CadExport, other).messages,
              std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_EQ(ReadBytes(profile), menuBefore);
    EXPECT_FALSE(Exists(cad + L"support\\acad.mns"));
    EXPECT_TRUE(LeftoverTemps(box.dir.Path()).empty());
}

TEST_F(ProfileMenuTest, OnlyThisAutoCadsOwnProfileIsPatched) {
    // 2005 on 64-bit Windows, beside the profile of a 2004 that was replaced.
    const std::wstring cad = MakeCad(box.ProgramFiles(L'C') + L" (x86)", L"AutoCAD 2005");
    const std::wstring mine = MakeProfileMenu(L"AutoCAD 2005", L"R16.1", L"enu");
    const std::wstring stale = MakeProfileMenu(L"AutoCAD 2004", L"R16.0", L"chs");
    EXPECT_EQ(Install().messages, kDone);
    EXPECT_EQ(ReadBytes(mine), menu::AddMenuLine(menuBefore));
    EXPECT_EQ(ReadBytes(stale), menuBefore);

    // A folder of another name: its acad.exe's version (16.0) says R16.0,
    // and the one product with such a profile is this AutoCAD's.
    const std::wstring acad = MakeCad(box.dir / L"D", L"ACAD");
    ASSERT_TRUE(::CopyFileW((OwnFolder() + L"\\stand_in.exe").c_str(), (acad + L"acad.exe").c_str(),
                            FALSE));
    EXPECT_EQ(deploy::ReleaseOfProgram(acad + L"acad.exe"), L"R16.0");
    EXPECT_EQ(deploy::ReleaseOfProgram(cad + L"acad.exe"), std::nullopt);
    EXPECT_EQ(deploy::FindCadMenus(acad, box.folders.roamingDir, box.folders.appDir).Paths(),
              std::vector<std::wstring>{stale});
    // Two products of that release: neither is known to be this one, and
    // the install says so and changes neither.
    const std::wstring rival = MakeProfileMenu(L"AutoCAD Architectural 2004", L"R16.0", L"chs");
    const deploy::CadMenus found = deploy::FindCadMenus(acad, box.folders.roamingDir, box.folders.appDir);
    EXPECT_TRUE(found.menus.empty());
    std::vector<std::wstring> rivals = found.rivals;
    std::sort(rivals.begin(), rivals.end());
    EXPECT_EQ(rivals, (std::vector<std::wstring>{ProductFolder(L"AutoCAD 2004"),
                                                 ProductFolder(L"AutoCAD Architectural 2004")}));
    RemoveTree(cad.substr(0, cad.size() - 1));
    box.folders.searchRoots = {box.dir / L"D"};
    const RecordingHost host = Install();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], deploy::MenusNotPatchedText({}, found.rivals, {}));
    EXPECT_NE(host.messages[0].find(L"-VBARUN"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(stale), menuBefore);
    EXPECT_EQ(ReadBytes(rival), menuBefore);
}

TEST_F(ProfileMenuTest, WhereNoMenuCanTakeTheItemTheUserHearsWhereItLookedAndHowToStartTesmora) {
    // 2004 before its user ever started it: no profile folder at all.
    const std::wstring cad2004 = MakeCad(box.ProgramFiles(L'C'), L"AutoCAD 2004");
    const RecordingHost never = Install();
    EXPECT_EQ(never.messages,
              (std::vector<std::wstring>{
                  deploy::MenusNotPatchedText(
                      {}, {},
                      std::vector<std::wstring>{cad2004 + L"support\\acad.mns",
                                                box.folders.roamingDir + L"\\Autodesk"}),
                  deploy::text::kImportDone}));
    for (const wchar_t* told : {L"AutoCAD 2004", L"acad.cui", L"-VBARUN", L"Ts_main.Ts_main"})
        EXPECT_NE(never.messages[0].find(told), std::wstring::npos) << told;
    EXPECT_FALSE(Exists(cad2004 + L"support\\acad.mns"));
    RemoveTree(cad2004.substr(0, cad2004.size() - 1));

    // 2006 builds its menus from the profile's acad.cui: one that is not
    // AutoCAD's customization file is told, and nothing of AutoCAD's or of
    // the profile changes.
    const std::wstring cad2006 = MakeCad(box.ProgramFiles(L'C'), L"AutoCAD 2006");
    WriteBytes(cad2006 + L"Support\\acad.cui", "<CustSection/>");
    const std::wstring cui = ProductFolder(L"AutoCAD 2006") + L"\\R16.2\\chs\\Support\\acad.cui";
    MakeDirs(ProductFolder(L"AutoCAD 2006") + L"\\R16.2\\chs\\Support");
    WriteBytes(cui, "<CustSection/>");
    const Snapshot cadBefore = Snap(cad2006.substr(0, cad2006.size() - 1));
    const Snapshot profileBefore = Snap(box.folders.roamingDir);
    const RecordingHost later = Install();
    EXPECT_EQ(later.messages,
              (std::vector<std::wstring>{
                  deploy::MenusNotPatchedText({{cui, ERROR_INVALID_DATA, false, menu::Problem::NoAcadGroup}},
                                              {}, {}),
                  deploy::text::kImportDone}));
    EXPECT_EQ(Snap(box.folders.roamingDir), profileBefore);
    Snapshot cadAfter = Snap(cad2006.substr(0, cad2006.size() - 1));
    for (const auto& [path, content] : cadBefore) EXPECT_EQ(cadAfter[path], content) << path;
    EXPECT_EQ(cadAfter.count(L"Support\\acad.mns") + cadAfter.count(L"support\\acad.mns"), 0u);
}

// AutoCAD 2007's acad.cui without a "User" macro group: the install makes
// one for the item's macro and records so, and any user's uninstall takes
// the item and that group out again, giving the file back byte for byte.
TEST_F(ProfileMenuTest, AutoCad2007GetsTheItemInTheUsersAcadCuiAndTheUninstallGivesItBack) {
    const std::wstring cad = MakeCad(box.ProgramFiles(L'C'), L"AutoCAD 2007");
    const std::wstring support = ProductFolder(L"AutoCAD 2007") + L"\\R17.0\\chs\\Support";
    MakeDirs(support);
    const std::string before =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- \xE8\xAF\xB7\xE5\x8B\xBF -->\r\n"
        "<CustSection>\r\n  <MenuGroup Name=\"ACAD\">\r\n"
        "    <MacroGroup Name=\"ACADMacros\">\r\n      <MenuMacro UID=\"ID_Line\" />\r\n"
        "    </MacroGroup>\r\n    <MenuRoot>\r\n      <PopMenuRoot>\r\n"
        "        <PopMenu UID=\"ID_MnDraw\">\r\n          <Name UID=\"ACAD_237\">Draw</Name>\r\n"
        "        </PopMenu>\r\n      </PopMenuRoot>\r\n    </MenuRoot>\r\n  </MenuGroup>\r\n"
        "</CustSection>\r\n";
    WriteBytes(support + L"\\acad.cui", before);

    EXPECT_EQ(Install().messages, kDone);
    const cui::Edit added = cui::AddItem(before);
    ASSERT_TRUE(added.changed && added.madeUserGroup);
    EXPECT_EQ(ReadBytes(support + L"\\acad.cui"), added.text);
    EXPECT_NE(ReadBytes(box.folders.InstallRecordPath())->find(":menu usergroup "), std::string::npos);
    EXPECT_FALSE(Exists(cad + L"support\\acad.mns"));
    EXPECT_FALSE(Exists(box.folders.appDir + L"\\acad.mns"));
    // A second install finds its item and writes nothing new.
    EXPECT_EQ(Install().messages, kDone);
    EXPECT_EQ(ReadBytes(support + L"\\acad.cui"), added.text);

    deploy::Folders other = box.folders;
    other.roamingDir = box.dir / L"another user";
    EXPECT_EQ(RunToEnd(deploy::CadExport, other).messages,
              std::vector<std::wstring>{deploy::text::kExportDone});
    EXPECT_EQ(ReadBytes(support + L"\\acad.cui"), before);
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.cui"});
}
