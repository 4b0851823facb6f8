// Several AutoCADs through the real window: the choice among them, those
// Windows lists, and AutoCAD LT. Run by run_e2e.sh with driver.cpp's cases,
// in the same prefix; each case leaves the world as the others expect it.
#include <gtest/gtest.h>

#include <windows.h>

#include "app_driver.h"
#include "cui_text.h"
#include "folders.h"
#include "handles.h"
#include "messages.h"
#include "side_files.h"
#include "test_support.h"

using namespace test;
using namespace e2e;

namespace {

const std::wstring kAutoCad2002 = L"C:\\Program Files\\AutoCAD 2002";
const std::wstring kAside = L"C:\\TsSetup-aside";

// The check boxes of the choice, in their order.
std::vector<HWND> CheckBoxes(HWND dialog) {
    std::vector<HWND> boxes;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if ((::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) boxes.push_back(child);
    return boxes;
}

class SeveralCadsE2e : public ::testing::Test {
protected:
    std::wstring dist = EnvVar(L"TS_E2E_DIST");
    std::wstring roaming = deploy::FoldersFromOs().roamingDir;
    std::vector<std::wstring> made;

    void SetUp() override {
        ASSERT_FALSE(dist.empty()) << "TS_E2E_DIST is not set";
        // Only the AutoCADs of the case: the sample AutoCAD 2002 of the
        // other cases waits outside the searched folders.
        RemoveTree(kAside);
        if (IsDir(kAutoCad2002)) ASSERT_TRUE(::MoveFileW(kAutoCad2002.c_str(), kAside.c_str()));
        for (const wchar_t* name : {L"INFOFILE", L"acad.mns"}) ::DeleteFileW((dist + L"\\" + name).c_str());
        const std::wstring data = dist + L"\\data\\";
        RemoveTree(data.substr(0, data.size() - 1));
        MakeDirs(data + L"Pictrue");
        for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb", L"CPUID.dll"})
            WriteBytes(data + name, "payload file");
        WriteBytes(data + L"TS_DATA.ldb", "");
        for (int i = 0; i < 5; ++i) WriteBytes(data + L"Pictrue\\pic" + std::to_wstring(i) + L".bmp", "picture");
    }
    void TearDown() override {
        for (auto folder = made.rbegin(); folder != made.rend(); ++folder) RemoveTree(*folder);
        RemoveTree(roaming + L"\\Autodesk");
        for (const wchar_t* name : {L"INFOFILE", L"acad.mns"}) ::DeleteFileW((dist + L"\\" + name).c_str());
        if (IsDir(kAside)) ::MoveFileW(kAside.c_str(), kAutoCad2002.c_str());
    }
    // An AutoCAD folder (ending in "\") holding `exe`, removed at the end.
    // With `ownMenu`, it has a menu of its own, as AutoCAD 2002 has.
    std::wstring MakeCad(const std::wstring& folder, const wchar_t* exe = L"acad.exe", bool ownMenu = false) {
        made.push_back(folder.substr(0, folder.size() - 1));
        MakeDirs(folder);
        WriteBytes(folder + exe, "AutoCAD");
        if (ownMenu) {
            MakeDirs(folder + L"support");
            WriteBytes(folder + L"support\\acad.mns", kSampleMenu);
        }
        return folder;
    }
    // The world a run may change: the AutoCAD folders, the program folder
    // and AutoCAD's part of the profile.
    Snapshot World() const {
        Snapshot world;
        for (const std::wstring& root : {std::wstring(L"C:\\Program Files"), std::wstring(L"D:"), dist, roaming + L"\\Autodesk"})
            for (auto& [path, content] : Snap(root)) world[root + L"\\" + path] = content;
        return world;
    }
};

}  // namespace

// AutoCAD 2007 with its user's acad.cui and AutoCAD 2014 with its user's
// acad.cuix: the first install, with 2014 unticked, leaves 2014 untouched; a
// second adds it; one uninstall gives both back.
TEST_F(SeveralCadsE2e, TwoAutoCadsAreChosenServedAndGivenBack) {
    const std::optional<std::string> cui = SharedFile(L"" TS_SHARED_CUI L"/acad2007-kor.cui");
    const std::optional<std::string> cuix = SharedFile(L"" TS_SHARED_CUI L"/acad2014-enu.cuix");
    if (!cui || !cuix) GTEST_SKIP() << "../shared/cui is absent: two AutoCADs with acad.cui and acad.cuix not tried";
    const std::wstring cad2007 = MakeCad(L"C:\\Program Files\\AutoCAD 2007\\");
    const std::wstring cad2014 = MakeCad(L"C:\\Program Files\\Autodesk\\AutoCAD 2014\\");
    made.insert(made.begin(), L"C:\\Program Files\\Autodesk");
    const std::wstring cuiPath = roaming + L"\\Autodesk\\AutoCAD 2007\\R17.0\\kor\\Support\\acad.cui";
    const std::wstring cuixPath = roaming + L"\\Autodesk\\AutoCAD 2014\\R19.1\\enu\\Support\\acad.cuix";
    MakeDirs(cuiPath.substr(0, cuiPath.rfind(L'\\')));
    MakeDirs(cuixPath.substr(0, cuixPath.rfind(L'\\')));
    WriteBytes(cuiPath, *cui);
    WriteBytes(cuixPath, *cuix);
    const Snapshot before2014 = Snap(cad2014.substr(0, cad2014.size() - 1));

    for (const bool both : {false, true}) {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kImport);
        HWND choice = app.WaitDialog();
        ASSERT_TRUE(choice);
        EXPECT_EQ(WindowText(choice), L"选择AutoCAD");
        const std::vector<HWND> boxes = CheckBoxes(choice);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(WindowText(boxes[0]), L"AutoCAD 2007  (C:\\Program Files\\AutoCAD 2007)");
        EXPECT_EQ(WindowText(boxes[1]), L"AutoCAD 2014  (C:\\Program Files\\Autodesk\\AutoCAD 2014)");
        if (!both) ::SendMessageW(boxes[1], BM_CLICK, 0, 0);
        App::CloseDialog(choice, IDOK);
        EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
        EXPECT_EQ(app.WaitExit(), 0);
        EXPECT_EQ(ReadBytes(cad2007 + L"TS_DATA.mdb"), ReadBytes(dist + L"\\data\\TS_DATA.mdb"));
        EXPECT_EQ(ReadBytes(cuiPath), cui::AddItem(*cui).text);
        if (!both) {
            EXPECT_EQ(Snap(cad2014.substr(0, cad2014.size() - 1)), before2014);
            EXPECT_EQ(ReadBytes(cuixPath), cuix);
        }
    }
    EXPECT_EQ(ReadBytes(cad2014 + L"TS_DATA.mdb"), ReadBytes(dist + L"\\data\\TS_DATA.mdb"));
    EXPECT_EQ(FileNames(cad2014 + L"Pictrue"), FileNames(dist + L"\\data\\Pictrue"));
    EXPECT_NE(PartsWithoutDates(ReadBytes(cuixPath)), PartsWithoutDates(cuix));

    {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kExport);
        EXPECT_EQ(app.AnswerMessage(), L"导出完成！");
        EXPECT_EQ(app.WaitExit(), 0);
    }
    EXPECT_EQ(ReadBytes(cuiPath), cui);
    EXPECT_EQ(PartsWithoutDates(ReadBytes(cuixPath)), PartsWithoutDates(cuix));
    for (const std::wstring& cad : {cad2007, cad2014})
        EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)), (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

// An AutoCAD outside the searched folders, listed by Windows only in the
// registry view that is not the program's own: found, served and given back
// without a question.
TEST_F(SeveralCadsE2e, AnAutoCadWindowsListsElsewhereIsFoundInTheOtherView) {
    const std::wstring cad = MakeCad(L"D:\\设计软件\\AutoCAD 2014\\", L"acad.exe", true);
    made.insert(made.begin(), L"D:\\设计软件");
    // A 32-bit Windows has a single view, which both flags name.
    const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    if (sizeof(void*) == 4) std::printf("A 32-bit prefix has one registry view: the AutoCAD is registered there.\n");
    const std::wstring key = L"SOFTWARE\\Autodesk\\AutoCAD\\R19.1\\ACAD-D001:804";
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | other, nullptr,
                                &created, nullptr),
              ERROR_SUCCESS);
    {
        win::UniqueRegKey product(created);
        ::RegSetValueExW(product.Get(), L"AcadLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"D:\\设计软件\\AutoCAD 2014"),
                         sizeof(L"D:\\设计软件\\AutoCAD 2014"));
    }
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(ReadBytes(cad + L"TS_DATA.mdb"), ReadBytes(dist + L"\\data\\TS_DATA.mdb"));
    {
        App again(dist);
        ASSERT_TRUE(again.Main());
        again.Click(kExport);
        EXPECT_EQ(again.AnswerMessage(), L"导出完成！");
        EXPECT_EQ(again.WaitExit(), 0);
    }
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), other, 0);
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)), (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
    Snapshot after = World();
    after.erase(dist + L"\\INFOFILE");
    after.erase(dist + L"\\acad.mns");
    after.erase(L"D:\\设计软件\\AutoCAD 2014\\CPUID.dll");
    EXPECT_EQ(after, before);
}

// AutoCAD LT beside a full AutoCAD is not offered; alone, the user hears
// why it gets nothing before being asked for acad.exe.
TEST_F(SeveralCadsE2e, AutoCadLtIsNeverServedAndAloneIsTold) {
    const std::wstring lt = MakeCad(L"C:\\Program Files\\AutoCAD LT 2014\\", L"acadlt.exe");
    const std::wstring full = MakeCad(L"C:\\Program Files\\AutoCAD 2004\\", L"acad.exe", true);
    {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kImport);
        EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
        EXPECT_EQ(app.WaitExit(), 0);
    }
    EXPECT_EQ(FileNames(lt.substr(0, lt.size() - 1)), std::vector<std::wstring>{L"acadlt.exe"});
    EXPECT_TRUE(Exists(full + L"TS_DATA.mdb"));
    RemoveTree(full.substr(0, full.size() - 1));
    for (const wchar_t* name : {L"INFOFILE", L"acad.mns"}) ::DeleteFileW((dist + L"\\" + name).c_str());

    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    EXPECT_EQ(app.AnswerMessage(), deploy::text::kLtOnly + lt + deploy::text::kLtHasNoVba);
    EXPECT_EQ(app.AnswerMessage(), deploy::text::kAskForAcadExe);
    HWND dialog = app.WaitDialog();
    ASSERT_TRUE(dialog);
    App::CloseDialog(dialog, IDCANCEL);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}
