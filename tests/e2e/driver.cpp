// Drives the real TsSetup.exe the way a user would: starts it, reads its
// window, clicks its buttons, answers its message boxes and its file dialog,
// and checks every file the run wrote or deleted. Runs inside a Wine prefix
// made for it; D: is a folder of the test. TS_E2E_DIST names the folder that
// holds TsSetup.exe, TS_E2E_SHOT where to save a screenshot of the window.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>

#include "app_driver.h"
#include "folders.h"
#include "side_files.h"
#include "handles.h"
#include "cui_text.h"
#include "install_record.h"
#include "menu_text.h"
#include "messages.h"
#include "module1.h"
#include "reports.h"
#include "test_support.h"

using namespace test;
using namespace e2e;

namespace {
struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    int left, top, width, height;
};

constexpr wchar_t kInstructions[] =
    L"1、导入CAD成功后，请重新启动AutoCAD，在绘图菜单下将出现Tesmora子菜单，单击即可。\r\n"
    L"2、导出CAD后，你的AutoCAD将恢复安装前的状态。";

// In tab order.
const ExpectedControl kLayout[] = {
    {201, L"Static", L"Tesmora2.0", 120, 120, 3375, 615},
    {202, L"Static", L"使用说明:", 120, 720, 975, 255},
    {203, L"Static", L"请先关闭AutoCAD", 2400, 720, 1815, 255},
    {204, L"Static", kInstructions, 120, 960, 4215, 855},
    {101, L"Button", L"导入CAD", 240, 2400, 1215, 375},
    {102, L"Button", L"导出CAD", 1680, 2400, 1215, 375},
    {103, L"Button", L"关    闭", 3120, 2400, 1215, 375},
    {301, L"msctls_progress32", L"进度", 120, 2040, 4215, 255},
};

// Saves what the screen shows of the window as a 24-bit BMP.
void SaveScreenshot(HWND window, const std::wstring& path) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((w * 3 + 3) & ~3u);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + stride * h;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    bytes.append(static_cast<const char*>(bits), stride * h);
    WriteBytes(path, bytes);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

UINT DpiOf(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (fn) return fn(window);
    HDC dc = ::GetDC(nullptr);
    const UINT dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi;
}

class EndToEnd : public ::testing::Test {
protected:
    std::wstring dist = EnvVar(L"TS_E2E_DIST");
    std::wstring cad = L"C:\\Program Files\\AutoCAD 2002\\";
    std::wstring dAcad = L"D:\\ACAD\\";
    std::wstring winDir, sysDir;
    // The running user's roaming folder, as the program asks the shell.
    std::wstring roaming = deploy::FoldersFromOs().roamingDir;
    std::string menuBefore;

    void SetUp() override {
        ASSERT_FALSE(dist.empty()) << "TS_E2E_DIST is not set";
        wchar_t buffer[MAX_PATH];
        winDir.assign(buffer, ::GetWindowsDirectoryW(buffer, MAX_PATH));
        sysDir.assign(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH));
        // A world as a user has it before the first install.
        RemoveTree(cad.substr(0, cad.size() - 1));
        RemoveTree(dAcad.substr(0, dAcad.size() - 1));
        RemoveTree(roaming + L"\\Autodesk");
        for (const std::wstring& f : {winDir + L"\\CPUID.dll", sysDir + L"\\CPUID.dll",
                                      dist + L"\\INFOFILE", dist + L"\\acad.mns"}) {
            ::DeleteFileW(f.c_str());
            ::DeleteFileW(fileio::KeptPathFor(f).c_str());
        }
        menuBefore = kSampleMenu;
        MakeDirs(cad + L"support");
        WriteBytes(cad + L"acad.exe", "AutoCAD");
        WriteBytes(cad + L"support\\acad.mns", menuBefore);
        RemoveTree(dist + L"\\data");
        const std::wstring data = dist + L"\\data\\";
        MakeDirs(data + L"Pictrue");
        for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                    L"CPUID.dll"})
            WriteBytes(data + name, "payload file");
        WriteBytes(data + L"TS_DATA.ldb", "");
        for (int i = 0; i < 50; ++i)
            WriteBytes(data + L"Pictrue\\pic" + std::to_wstring(i) + L".bmp", std::string(3000, 'p'));
    }

    Snapshot World() const {
        Snapshot all;
        for (const std::wstring& root : {std::wstring(L"C:\\Program Files"), std::wstring(L"D:"), dist}) {
            for (auto& [path, content] : Snap(root)) all[root + L"\\" + path] = content;
        }
        for (const std::wstring& f : {winDir + L"\\CPUID.dll", sysDir + L"\\CPUID.dll"})
            all[f] = ReadBytes(f).value_or("<absent>");
        return all;
    }

    // `menus` are those the install patched: by default AutoCAD's own.
    void ExpectInstalledInto(const std::wstring& folder, deploy::Menus menus = {},
                             std::set<std::wstring> menuWords = {}) {
        if (menus.empty()) menus = {folder + L"support\\acad.mns"};
        for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                    L"TS_DATA.ldb", L"CPUID.dll"})
            EXPECT_EQ(ReadBytes(folder + name), ReadBytes(dist + L"\\data\\" + name)) << name;
        EXPECT_EQ(FileNames(folder + L"Pictrue").size(), 50u);
        EXPECT_TRUE(Exists(winDir + L"\\CPUID.dll"));
        EXPECT_TRUE(Exists(sysDir + L"\\CPUID.dll"));
        deploy::InstallRecord record;
        record.cadDir = folder;
        record.pictures = module1::ListPlainFiles(dist + L"\\data\\Pictrue\\");
        record.menus = menus;
        record.menuWords = std::move(menuWords);
        EXPECT_EQ(WithoutFingerprints(ReadBytes(dist + L"\\INFOFILE")), deploy::EncodeInstallRecord(record));
        EXPECT_TRUE(LeftoverTemps(folder.substr(0, folder.size() - 1)).empty());
    }
};

}  // namespace

TEST_F(EndToEnd, TheWindowMatchesTheLayoutAndTheCloseButtonWritesNothing) {
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    EXPECT_EQ(WindowText(app.Main()), kCaption);
    const UINT dpi = DpiOf(app.Main());
    auto px = [&](int twips) { return MulDiv(twips, static_cast<int>(dpi), 1440); };
    RECT client{};
    ::GetClientRect(app.Main(), &client);
    EXPECT_EQ(client.right, px(4500));
    EXPECT_EQ(client.bottom, px(2880));

    HWND child = ::GetWindow(app.Main(), GW_CHILD);
    for (const ExpectedControl& expected : kLayout) {
        ASSERT_TRUE(child) << "fewer controls than expected";
        EXPECT_EQ(::GetDlgCtrlID(child), expected.id) << "tab order";
        HWND control = app.Control(expected.id);
        EXPECT_EQ(ClassOf(control), expected.className) << expected.id;
        EXPECT_EQ(WindowText(control), expected.text) << expected.id;
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, app.Main(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, px(expected.left)) << expected.id;
        EXPECT_EQ(r.top, px(expected.top)) << expected.id;
        EXPECT_EQ(r.right - r.left, px(expected.width)) << expected.id;
        EXPECT_EQ(r.bottom - r.top, px(expected.height)) << expected.id;
        EXPECT_TRUE(::IsWindowVisible(control));
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_FALSE(child) << "more controls than expected";
    const LRESULT range = ::SendMessageW(app.Control(kBar), PBM_GETRANGE, FALSE, 0);
    EXPECT_EQ(range, 48);
    EXPECT_EQ(::SendMessageW(app.Control(kBar), PBM_GETRANGE, TRUE, 0), 1);
    EXPECT_EQ(app.Bar(), 1);

    const std::wstring shot = EnvVar(L"TS_E2E_SHOT");
    if (!shot.empty()) {
        ::Sleep(500);  // let it paint
        SaveScreenshot(app.Main(), shot);
    }
    app.Click(kClose);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}

TEST_F(EndToEnd, TheTitleBarCloseEndsWithoutAWord) {
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    ::PostMessageW(app.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}

TEST_F(EndToEnd, InstallFoundOnCThenUninstallInASecondStart) {
    {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kImport);
        // Clicks and a close while the install runs are ignored: the install
        // finishes and says so.
        app.Click(kImport);
        app.Click(kExport);
        app.Click(kClose);
        ::PostMessageW(app.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
        EXPECT_EQ(app.WaitExit(), 0);
    }
    ExpectInstalledInto(cad);
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menu::AddMenuLine(menuBefore));
    {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kExport);
        const std::wstring message = app.AnswerMessage();
        EXPECT_EQ(message, L"导出完成！");
        EXPECT_EQ(app.WaitExit(), 0);
    }
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menuBefore);
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
    EXPECT_FALSE(Exists(cad + L"Pictrue"));
    EXPECT_FALSE(Exists(sysDir + L"\\CPUID.dll"));
    EXPECT_TRUE(Exists(winDir + L"\\CPUID.dll"));
}

TEST_F(EndToEnd, TheBarStopsFullAt48) {
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    HWND box = app.WaitDialog();
    ASSERT_TRUE(box);
    EXPECT_EQ(app.Bar(), 48);  // 50 pictures would take it to 56
    App::CloseDialog(box, IDOK);
    EXPECT_EQ(app.WaitExit(), 0);
}

TEST_F(EndToEnd, WithoutAFolderTheDialogPicksAcadExeOnD) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    MakeDirs(dAcad + L"support");
    WriteBytes(dAcad + L"acad.exe", "AutoCAD");
    WriteBytes(dAcad + L"support\\acad.mns", menuBefore);
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    EXPECT_EQ(app.AnswerMessage(), L"请指定AutoCAD 的安装路径，并打开acad.exe文件");
    HWND dialog = app.WaitDialog();
    ASSERT_TRUE(dialog);
    HWND types = ::GetDlgItem(dialog, 0x470);  // the file-type list
    ASSERT_TRUE(types);
    EXPECT_EQ(::SendMessageW(types, CB_GETCOUNT, 0, 0), 1);
    wchar_t type[256] = {};
    ::SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
    EXPECT_STREQ(type, L"可执行文件（acad.exe）(*.exe)");
    HWND name = ::GetDlgItem(dialog, 0x47C);  // the file-name box
    if (!name) name = ::GetDlgItem(dialog, 0x480);
    ASSERT_TRUE(name);
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D:\\ACAD\\acad.exe"));
    App::CloseDialog(dialog, IDOK);
    EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(app.WaitExit(), 0);
    ExpectInstalledInto(dAcad);
    EXPECT_EQ(ReadBytes(dAcad + L"support\\acad.mns"), menu::AddMenuLine(menuBefore));
}

TEST_F(EndToEnd, CancellingTheDialogEndsWithNothingWritten) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    EXPECT_EQ(app.AnswerMessage(), L"请指定AutoCAD 的安装路径，并打开acad.exe文件");
    HWND dialog = app.WaitDialog();
    ASSERT_TRUE(dialog);
    App::CloseDialog(dialog, IDCANCEL);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}

TEST_F(EndToEnd, UninstallWithoutARecordSaysSoAndRemovesNothing) {
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kExport);
    const std::wstring message = app.AnswerMessage();
    EXPECT_NE(message.find(L"INFOFILE"), std::wstring::npos) << "says: " << message.size();
    EXPECT_NE(message.find(L"没有删除任何文件"), std::wstring::npos);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}

namespace {

// What a screen reader hears as `window`'s name.
std::wstring AccessibleName(HWND window) {
    // COM on this thread, as a screen reader has it.
    static const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    IAccessible* object = nullptr;
    HRESULT got = ::AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible,
                                               reinterpret_cast<void**>(&object));
    if (got == E_NOINTERFACE && sizeof(void*) == 8) {
        // 64-bit Wine has no standard accessible object for a progress bar
        // (E_NOINTERFACE, where 32-bit Wine has one): what that object names
        // it by, its window text, is read instead.
        std::printf("The progress bar's accessible object is not in 64-bit Wine: its text is read.\n");
        wchar_t text[64] = L"";
        ::GetWindowTextW(window, text, 64);
        return text;
    }
    if (FAILED(got) || !object) {
        wchar_t text[64];
        wsprintfW(text, L"<no accessible object: %08lx>", static_cast<unsigned long>(got));
        return text;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT hr = object->get_accName(self, &name);
    std::wstring result = SUCCEEDED(hr) && name ? std::wstring(name, ::SysStringLen(name)) : L"<no name>";
    ::SysFreeString(name);
    object->Release();
    return result;
}

// The program's focus changes, in order, one letter each: I, E and C for
// the three buttons, W for the window itself, o for any other window (a
// message box's button, the file dialog's controls). Reported by an
// out-of-context event hook, called while App's waits pump this thread.
class FocusTrail {
public:
    explicit FocusTrail(const App& app)
        : main_(app.Main()), import_(app.Control(kImport)), export_(app.Control(kExport)),
          close_(app.Control(kClose)) {
        current_ = this;
        hook_ = ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, Called, app.Pid(), 0,
                                  WINEVENT_OUTOFCONTEXT);
    }
    FocusTrail(const FocusTrail&) = delete;
    FocusTrail& operator=(const FocusTrail&) = delete;
    ~FocusTrail() {
        if (hook_) ::UnhookWinEvent(hook_);
        current_ = nullptr;
    }
    bool Hooked() const { return hook_ != nullptr; }
    // Repeats of one letter count once. The events still queued are taken
    // first: the last ones come while nothing here reads the queue.
    std::string Letters() {
        DispatchQueued();
        return letters_;
    }

private:
    static void CALLBACK Called(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
        if (current_) current_->Add(window);
    }
    // By the handles taken at the start: an event may be read only after
    // the program has ended and its windows are gone.
    void Add(HWND window) {
        const char letter = window == main_     ? 'W'
                            : window == import_ ? 'I'
                            : window == export_ ? 'E'
                            : window == close_  ? 'C'
                                                : 'o';
        if (letters_.empty() || letters_.back() != letter) letters_ += letter;
    }

    static inline FocusTrail* current_ = nullptr;
    HWND main_, import_, export_, close_;
    HWINEVENTHOOK hook_ = nullptr;
    std::string letters_;
};

// Puts a window of this test in front of the program's, then the program's
// in front again; false when the program kept its focus meanwhile.
bool AnotherWindowInFrontAndBack(const App& app) {
    HWND front = ::CreateWindowExW(0, L"STATIC", L"in front", WS_POPUP | WS_VISIBLE, 0, 0, 80, 40,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!front) return false;
    ::SetForegroundWindow(front);
    const bool left = WaitFor([&] { return app.Focus() == nullptr; }, 5000);
    ::DestroyWindow(front);
    ::SetForegroundWindow(app.Main());
    return left;
}

}  // namespace

// From the keyboard alone: 导入CAD has the focus as the window appears and is
// its default button; Tab and Shift+Tab go round the three buttons, each
// becoming the default as it takes the focus; Esc does nothing; the button
// that had the focus has it again after another window was in front; Enter
// on 关    闭 ends the program with nothing written.
TEST_F(EndToEnd, KeyboardAloneGoesRoundTheButtonsAndEnterOnCloseWritesNothing) {
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    const HWND import = app.Control(kImport), exportButton = app.Control(kExport), close = app.Control(kClose);
    ASSERT_TRUE(app.WaitFocus(import)) << "the focus is on control " << ::GetDlgCtrlID(app.Focus());
    // The focus moves first, the default button's look just after.
    EXPECT_TRUE(WaitFor([&] { return IsDefaultButton(import); }, 5000));
    EXPECT_FALSE(IsDefaultButton(exportButton) || IsDefaultButton(close));
    EXPECT_EQ(::SendMessageW(app.Main(), DM_GETDEFID, 0, 0), MAKELRESULT(kImport, DC_HASDEFID));
    // The bar's name for a screen reader, though the bar shows no text.
    EXPECT_EQ(AccessibleName(app.Control(kBar)), L"进度");

    struct Step {
        WORD key;
        bool shift;
        HWND focus;
    };
    const Step steps[] = {
        {VK_ESCAPE, false, import},      {VK_TAB, false, exportButton}, {VK_TAB, false, close},
        {VK_TAB, false, import},         {VK_TAB, true, close},         {VK_ESCAPE, false, close},
        {VK_TAB, true, exportButton},    {VK_TAB, true, import},        {VK_TAB, false, exportButton},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(PressKey(step.key, step.shift));
        // Keys are taken in order: the focus after a key that must not move it
        // is checked once the next key has moved it.
        if (step.key == VK_ESCAPE) continue;
        ASSERT_TRUE(app.WaitFocus(step.focus))
            << "key " << step.key << (step.shift ? " with Shift" : "") << ": the focus is on control "
            << ::GetDlgCtrlID(app.Focus());
        EXPECT_TRUE(WaitFor([&] { return IsDefaultButton(step.focus); }, 5000)) << ::GetDlgCtrlID(step.focus);
        EXPECT_FALSE(::SendMessageW(step.focus, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)
            << "no focus rectangle once the keyboard was used";
        for (HWND other : {import, exportButton, close}) {
            if (other == step.focus) continue;
            EXPECT_FALSE(IsDefaultButton(other)) << ::GetDlgCtrlID(other);
        }
    }
    EXPECT_TRUE(app.NoDialogFor(300)) << "Esc or Tab opened a window";
    EXPECT_EQ(World(), before);

    // Another window in front, then this one again: 导出CAD has the focus back.
    EXPECT_TRUE(AnotherWindowInFrontAndBack(app));
    EXPECT_TRUE(app.WaitFocus(exportButton)) << "the focus is on control " << ::GetDlgCtrlID(app.Focus());

    ASSERT_TRUE(PressKey(VK_TAB));
    ASSERT_TRUE(app.WaitFocus(close));
    ASSERT_TRUE(PressKey(VK_RETURN));
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(World(), before);
}

// Enter as the window appears runs the install.
TEST_F(EndToEnd, KeyboardEnterAtStartInstalls) {
    App app(dist);
    ASSERT_TRUE(app.Main());
    ASSERT_TRUE(app.WaitFocus(app.Control(kImport)));
    ASSERT_TRUE(PressKey(VK_RETURN));
    EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(app.WaitExit(), 0);
    ExpectInstalledInto(cad);
}

// Space on 导入CAD runs the install. AutoCAD is found through the file dialog and has no
// menu, so a message box, the dialog and a second box come before
// "导入完成！": after each of them 导入CAD has the focus again, though the
// window was last left with the focus on 导出CAD.
TEST_F(EndToEnd, KeyboardSpaceOnImportInstallsAndTheFocusComesBackAfterEachDialog) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    MakeDirs(dAcad + L"support");
    WriteBytes(dAcad + L"acad.exe", "AutoCAD");
    App app(dist);
    ASSERT_TRUE(app.Main());
    ASSERT_TRUE(app.WaitFocus(app.Control(kImport)));
    ASSERT_TRUE(PressKey(VK_TAB));
    ASSERT_TRUE(app.WaitFocus(app.Control(kExport)));
    ASSERT_TRUE(AnotherWindowInFrontAndBack(app));
    ASSERT_TRUE(app.WaitFocus(app.Control(kExport)));
    ASSERT_TRUE(PressKey(VK_TAB, true));
    ASSERT_TRUE(app.WaitFocus(app.Control(kImport)));
    FocusTrail trail(app);
    ASSERT_TRUE(trail.Hooked());
    ASSERT_TRUE(PressKey(VK_SPACE));
    EXPECT_EQ(app.AnswerMessage(), L"请指定AutoCAD 的安装路径，并打开acad.exe文件");
    HWND dialog = app.WaitDialog();
    ASSERT_TRUE(dialog);
    HWND name = ::GetDlgItem(dialog, 0x47C);  // the file-name box
    if (!name) name = ::GetDlgItem(dialog, 0x480);
    ASSERT_TRUE(name);
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D:\\ACAD\\acad.exe"));
    App::CloseDialog(dialog, IDOK);
    const std::wstring menuMessage = app.AnswerMessage();
    EXPECT_NE(menuMessage.find(L"-VBARUN"), std::wstring::npos) << "says: " << menuMessage.size();
    EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_TRUE(Exists(dAcad + L"acad.dvb"));
    EXPECT_EQ(trail.Letters().substr(0, 7), "oIoIoIo") << "the focus went " << trail.Letters();
}

namespace {

// AutoCAD's folder and the two library copies outside it, with contents and
// kept copies: what the install changes and the uninstall must give back.
Snapshot CadWorld(const std::wstring& cad, const std::wstring& winDir, const std::wstring& sysDir) {
    Snapshot world;
    for (auto& [path, content] : Snap(cad.substr(0, cad.size() - 1))) world[cad + path] = content;
    for (const std::wstring& dll : {winDir + L"\\CPUID.dll", sysDir + L"\\CPUID.dll"})
        for (const std::wstring& f : {dll, dll + L"~TsSetup.bak"})
            world[f] = ReadBytes(f).value_or("<absent>");
    return world;
}

// Runs one button of the program to its end; the messages it showed.
std::vector<std::wstring> RunButton(const std::wstring& dist, int button, size_t messages) {
    App app(dist);
    if (!app.Main()) return {L"<no window>"};
    app.Click(button);
    std::vector<std::wstring> shown;
    for (size_t i = 0; i < messages; ++i) shown.push_back(app.AnswerMessage());
    EXPECT_EQ(app.WaitExit(), 0);
    return shown;
}

// The tests' scanner (scanner.exe beside this driver) at work on `folders`
// while this lives; it holds its first files once Ready() is true.
class Scanner {
public:
    explicit Scanner(const std::vector<std::wstring>& folders) {
        const std::wstring name = L"TsSetupTestScanner" + std::to_wstring(::GetCurrentProcessId());
        ready_.Reset(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        std::wstring command = L"\"" + OwnFolder() + L"\\scanner.exe\" " + name;
        for (const std::wstring& folder : folders) command += L" \"" + folder + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                              nullptr, nullptr, &si, &pi))
            return;
        process_.Reset(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    ~Scanner() {
        if (process_) {
            ::TerminateProcess(process_.Get(), 0);
            ::WaitForSingleObject(process_.Get(), kTimeoutMs);
        }
    }
    bool Ready() const { return process_ && ::WaitForSingleObject(ready_.Get(), 10000) == WAIT_OBJECT_0; }

private:
    win::UniqueKernel ready_, process_;
};

// Copies the files of `from` into `to`, one level of subfolders deep.
void CopyFolder(const std::wstring& from, const std::wstring& to) {
    MakeDirs(to);
    module1::ForEachEntry(from + L"\\", [&](const module1::Entry& entry) {
        const std::wstring& name = entry.name;
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            CopyFolder(from + L"\\" + name, to + L"\\" + name);
        } else {
            ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
        }
    });
}

}  // namespace

namespace {

// Folders a case makes, removed as it ends, pass or fail, each with all it
// holds; a folder that was there already is not the case's to remove.
class MadeFolders {
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;
    ~MadeFolders() {
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) RemoveTree(*folder);
    }
    // `folder` without a trailing "\".
    void Make(const std::wstring& folder) {
        if (!IsDir(folder)) made_.push_back(folder);
        MakeDirs(folder);
    }

private:
    std::vector<std::wstring> made_;
};

}  // namespace

// 64-bit Windows: AutoCAD 2004 in "Program Files (x86)", and a viewer with
// "CAD" in its folder's name in "Program Files", which is searched first.
TEST_F(EndToEnd, TheAutoCadInProgramFilesX86IsTakenBeforeAViewerWithCadInItsName) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring viewer = L"C:\\Program Files\\CAD迷你看图";
    const std::wstring cad2004 = L"C:\\Program Files (x86)\\AutoCAD 2004\\";
    MadeFolders made;
    made.Make(viewer);
    made.Make(L"C:\\Program Files (x86)");
    made.Make(cad2004.substr(0, cad2004.size() - 1));
    WriteBytes(viewer + L"\\CADReader.exe", "a CAD viewer");
    MakeDirs(cad2004 + L"support");
    WriteBytes(cad2004 + L"acad.exe", "AutoCAD");
    WriteBytes(cad2004 + L"support\\acad.mns", menuBefore);
    const Snapshot viewerBefore = Snap(viewer);

    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad2004);
    EXPECT_EQ(ReadBytes(cad2004 + L"support\\acad.mns"), menu::AddMenuLine(menuBefore));
    EXPECT_EQ(Snap(viewer), viewerBefore);
}

// A virus scanner holds every file of AutoCAD's folder and of the program
// folder for a second as each procedure starts, and each file it sees written
// for a moment after: both procedures wait it out and end with only their
// done message and the right files.
TEST_F(EndToEnd, AVirusScannerHoldingFilesIsWaitedOut) {
    const std::vector<std::wstring> scanned{cad.substr(0, cad.size() - 1), dist};
    for (const auto& [button, done] : {std::make_pair(kImport, L"导入完成！"), std::make_pair(kExport, L"导出完成！")}) {
        App app(dist);
        ASSERT_TRUE(app.Main());
        Scanner scanner(scanned);
        ASSERT_TRUE(scanner.Ready());
        app.Click(button);
        EXPECT_EQ(app.AnswerMessage(), done);
        EXPECT_EQ(app.WaitExit(), 0);
        if (button == kImport) {
            ExpectInstalledInto(cad);
            EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menu::AddMenuLine(menuBefore));
        }
    }
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menuBefore);
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
    EXPECT_FALSE(Exists(cad + L"Pictrue"));
    EXPECT_FALSE(Exists(sysDir + L"\\CPUID.dll"));
}

// The program folder on read-only media: the install says so and changes
// nothing. The same folder, made writable elsewhere, installs; the uninstall
// from the read-only view of it then works, since it writes nothing there.
TEST_F(EndToEnd, FromAFolderThatCannotBeWrittenTheInstallChangesNothingAndTheUninstallWorks) {
    const std::wstring readOnly = EnvVar(L"TS_E2E_RO_DIST"), writable = EnvVar(L"TS_E2E_RO_SOURCE");
    if (readOnly.empty()) GTEST_SKIP() << "no read-only folder; run_e2e.sh said why";
    RemoveTree(writable + L"\\data");
    ::DeleteFileW((writable + L"\\INFOFILE").c_str());
    ::DeleteFileW((writable + L"\\acad.mns").c_str());
    CopyFolder(dist + L"\\data", writable + L"\\data");
    const Snapshot world = World(), folder = Snap(readOnly);
    EXPECT_EQ(RunButton(readOnly, kImport, 1),
              std::vector<std::wstring>{deploy::ProgramFolderUnwritableText(readOnly)});
    EXPECT_EQ(World(), world);
    EXPECT_EQ(Snap(readOnly), folder);

    ASSERT_EQ(RunButton(writable, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menu::AddMenuLine(menuBefore));
    EXPECT_EQ(RunButton(readOnly, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(cad + L"support\\acad.mns"), menuBefore);
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

TEST_F(EndToEnd, AutoCadRunningFromItsFolderBlocksBothButtonsWithNothingChanged) {
    const std::wstring exe = cad + L"acad.exe";
    const std::wstring refused = deploy::CadRunningText(exe);
    {
        RunningStandIn acad(exe);
        ASSERT_TRUE(acad.Started());
        const Snapshot before = World();
        EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{refused});
        EXPECT_EQ(World(), before);
    }
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    RunningStandIn acad(exe);
    ASSERT_TRUE(acad.Started());
    const Snapshot installed = World();
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{refused});
    EXPECT_EQ(World(), installed);
}

TEST_F(EndToEnd, TheSameProgramRunningFromAnotherFolderBlocksNothing) {
    MakeDirs(L"D:\\Other");
    RunningStandIn other(L"D:\\Other\\acad.exe");
    ASSERT_TRUE(other.Started());
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad);
}

TEST_F(EndToEnd, ASecondStartEndsAtOnceAndTheFirstWindowStillWorks) {
    const Snapshot before = World();
    App first(dist);
    ASSERT_TRUE(first.Main());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + dist + L"\\TsSetup.exe\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 L"C:\\", &si, &pi));
    win::UniqueKernel second(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ASSERT_EQ(::WaitForSingleObject(second.Get(), kTimeoutMs), WAIT_OBJECT_0) << "the second copy stays";
    DWORD code = 1;
    ::GetExitCodeProcess(second.Get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(::IsWindow(first.Main()) && ::IsWindowVisible(first.Main()));
    EXPECT_EQ(World(), before);
    // The first copy still does its work.
    first.Click(kImport);
    EXPECT_EQ(first.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(first.WaitExit(), 0);
    ExpectInstalledInto(cad);
}

TEST_F(EndToEnd, WithoutAutoCadsMenuTheUserHearsSoBeforeDone) {
    const std::wstring menu = cad + L"support\\acad.mns";
    ::DeleteFileW(menu.c_str());
    const std::vector<std::wstring> shown = RunButton(dist, kImport, 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], deploy::MenusNotPatchedText({}, {}, std::vector<std::wstring>{menu, roaming + L"\\Autodesk"}));
    EXPECT_EQ(shown[1], L"导入完成！");
    EXPECT_TRUE(Exists(cad + L"acad.dvb"));
}

namespace {

// A file of ../shared (its Linux path under Z:) with the CR LF line ends
// AutoCAD writes on Windows, where its repository stored LF; nothing when it
// is not there.
std::optional<std::string> SharedWithCrLf(const std::wstring& linuxPath) {
    const std::optional<std::string> lf = SharedFile(linuxPath);
    if (!lf) return std::nullopt;
    std::string crlf;
    for (const char c : *lf) c == '\n' ? crlf += "\r\n" : crlf += c;
    return crlf;
}

// A real AutoCAD 2004 user menu; the sample menu where the shared files are
// not there.
std::string UserMenu2004() {
    return SharedWithCrLf(L"" TS_SHARED_MENUS L"/acad2004-user.mns").value_or(kSampleMenu);
}

}  // namespace

// AutoCAD 2004 (Simplified Chinese) as its user has it: acad.exe and a
// Support folder without a menu, and the menu in the user's profile.
TEST_F(EndToEnd, AutoCad2004GetsTheItemInItsUsersMenuAndTheUninstallGivesThatMenuBack) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring cad2004 = L"C:\\Program Files\\AutoCAD 2004\\";
    MadeFolders made;
    made.Make(cad2004.substr(0, cad2004.size() - 1));
    MakeDirs(cad2004 + L"Support");
    WriteBytes(cad2004 + L"acad.exe", "AutoCAD");
    const std::string userMenu = UserMenu2004();
    const std::wstring profile = roaming + L"\\Autodesk\\AutoCAD 2004\\R16.0\\chs\\Support";
    MakeDirs(profile);
    WriteBytes(profile + L"\\acad.mns", userMenu);

    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad2004, {profile + L"\\acad.mns"});
    EXPECT_EQ(ReadBytes(profile + L"\\acad.mns"), menu::AddMenuLine(userMenu));
    EXPECT_EQ(FileNames(cad2004 + L"Support"), std::vector<std::wstring>{});
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(profile + L"\\acad.mns"), userMenu);
    EXPECT_EQ(FileNames(profile), std::vector<std::wstring>{L"acad.mns"});
    EXPECT_EQ(FileNames(cad2004 + L"Support"), std::vector<std::wstring>{});
    EXPECT_EQ(FileNames(cad2004.substr(0, cad2004.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

// AutoCAD 2005 on 64-bit Windows, beside the profile an AutoCAD 2004 that
// it replaced left behind: only 2005's menu changes.
TEST_F(EndToEnd, AutoCad2005InProgramFilesX86ChangesOnlyItsOwnProfilesMenu) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring cad2005 = L"C:\\Program Files (x86)\\AutoCAD 2005\\";
    MadeFolders made;
    made.Make(L"C:\\Program Files (x86)");
    made.Make(cad2005.substr(0, cad2005.size() - 1));
    MakeDirs(cad2005 + L"Support");
    WriteBytes(cad2005 + L"acad.exe", "AutoCAD");
    const std::string userMenu = UserMenu2004();
    const std::wstring mine = roaming + L"\\Autodesk\\AutoCAD 2005\\R16.1\\enu\\Support";
    const std::wstring stale = roaming + L"\\Autodesk\\AutoCAD 2004\\R16.0\\chs\\Support";
    for (const std::wstring& folder : {mine, stale}) {
        MakeDirs(folder);
        WriteBytes(folder + L"\\acad.mns", userMenu);
    }
    const Snapshot staleBefore = Snap(roaming + L"\\Autodesk\\AutoCAD 2004");

    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad2005, {mine + L"\\acad.mns"});
    EXPECT_EQ(ReadBytes(mine + L"\\acad.mns"), menu::AddMenuLine(userMenu));
    EXPECT_TRUE(Snap(roaming + L"\\Autodesk\\AutoCAD 2004") == staleBefore);
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(mine + L"\\acad.mns"), userMenu);
    EXPECT_TRUE(Snap(roaming + L"\\Autodesk\\AutoCAD 2004") == staleBefore);
}

namespace {


// Every occurrence of `from` in `text` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

// AutoCAD 2007 as its user has it: acad.exe, and the customization file in
// the user's profile. The item lands in its Draw menu, and the uninstall gives
// the file back byte for byte; after AutoCAD re-wrote the file it takes out
// only ours; a cut-off file is told and left as it is.
TEST_F(EndToEnd, AutoCad2007GetsTheItemInItsUsersAcadCuiAndTheUninstallTakesOnlyOursOut) {
    // A real acad.cui of AutoCAD 2007 (Korean, changed by its user).
    const std::optional<std::string> before = SharedWithCrLf(L"" TS_SHARED_CUI L"/acad2007-kor.cui");
    if (!before) GTEST_SKIP() << "../shared/cui is absent: AutoCAD 2007's acad.cui not tried";
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring cad2007 = L"C:\\Program Files\\AutoCAD 2007\\";
    MadeFolders made;
    made.Make(cad2007.substr(0, cad2007.size() - 1));
    MakeDirs(cad2007 + L"Support");
    WriteBytes(cad2007 + L"acad.exe", "AutoCAD");
    const std::wstring support = roaming + L"\\Autodesk\\AutoCAD 2007\\R17.0\\kor\\Support";
    const std::wstring cui = support + L"\\acad.cui";
    MakeDirs(support);
    WriteBytes(cui, *before);

    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad2007, {cui});
    const cui::Edit added = cui::AddItem(*before);
    ASSERT_TRUE(added.changed);
    EXPECT_EQ(ReadBytes(cui), added.text);
    EXPECT_FALSE(Exists(dist + L"\\acad.mns"));
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(cui), *before);
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.cui"});

    // AutoCAD writes the file anew: another indentation, its comment gone,
    // and an item of the user's after ours in the Draw menu.
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    std::string rewritten = Replaced(*ReadBytes(cui), "\r\n  ", "\r\n\t");
    const size_t comment = rewritten.find("<!--"), commentEnd = rewritten.find("-->\r\n");
    ASSERT_NE(commentEnd, std::string::npos);
    rewritten.erase(comment, commentEnd + 5 - comment);
    const std::string users =
        "<PopMenuItem UID=\"PMI_USER\"><NameRef UID=\"XLS_USER\">Mine</NameRef></PopMenuItem>";
    const size_t ours = rewritten.find("<PopMenuItem IsSeparator=\"false\" hasDiesel=\"false\" UID=\"PMIU_TSDRAW\">");
    ASSERT_NE(ours, std::string::npos);
    const size_t oursEnd = rewritten.find("</PopMenuItem>", ours) + 14;
    rewritten.insert(oursEnd, "\r\n" + users);
    WriteBytes(cui, rewritten);
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    const std::optional<std::string> after = ReadBytes(cui);
    ASSERT_TRUE(after);
    EXPECT_EQ(*after, cui::RemoveItem(rewritten, false).text);
    EXPECT_NE(after->find(users), std::string::npos);
    for (const char* uid : {"PMIU_TSDRAW", "ID_TSDRAW", "XLS_TSDRAW_1", "XLS_TSDRAW_2"})
        EXPECT_EQ(after->find(uid), std::string::npos) << uid;

    // Cut off in the middle: told, with how to start Tesmora, and unchanged.
    const std::string cut = before->substr(0, before->size() / 2);
    WriteBytes(cui, cut);
    const std::vector<std::wstring> shown = RunButton(dist, kImport, 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], deploy::MenusNotPatchedText({{cui, ERROR_INVALID_DATA, false, menu::Problem::NotXml}}, {}, {}));
    EXPECT_EQ(shown[1], L"导入完成！");
    EXPECT_EQ(ReadBytes(cui), cut);
    EXPECT_TRUE(LeftoverTemps(support).empty());
}

TEST_F(EndToEnd, AnUninstallListsTheOneFileHeldOpenAndRemovesTheRest) {
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    const std::wstring held = cad + L"PROJECT.dvb";
    {
        win::UniqueFile lock(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_EQ(RunButton(dist, kExport, 2),
                  (std::vector<std::wstring>{deploy::NotRemovedText({held}), L"导出完成！"}));
    }
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"PROJECT.dvb", L"acad.exe"}));
    EXPECT_FALSE(Exists(cad + L"Pictrue"));
    EXPECT_FALSE(Exists(sysDir + L"\\CPUID.dll"));
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_FALSE(Exists(held));
}

TEST_F(EndToEnd, TheUsersOwnFilesComeBackByteForByteAfterTheUninstall) {
    WriteBytes(cad + L"acad.dvb", "the user's own startup macros");
    WriteBytes(cad + L"TS_DATA.mdb", "a database the user changed");
    WriteBytes(winDir + L"\\CPUID.dll", "another vendor's CPUID.dll (Windows)");
    WriteBytes(sysDir + L"\\CPUID.dll", "another vendor's CPUID.dll (System)");
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\pic7.bmp", "the user's own picture");
    const Snapshot before = CadWorld(cad, winDir, sysDir);

    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    for (const wchar_t* name : {L"acad.dvb", L"TS_DATA.mdb", L"Pictrue\\pic7.bmp"})
        EXPECT_EQ(ReadBytes(cad + name), ReadBytes(dist + L"\\data\\" + name)) << name;
    EXPECT_EQ(ReadBytes(cad + L"acad.dvb~TsSetup.bak"), "the user's own startup macros");
    EXPECT_EQ(ReadBytes(cad + L"Pictrue\\pic7.bmp~TsSetup.bak"), "the user's own picture");
    EXPECT_EQ(ReadBytes(sysDir + L"\\CPUID.dll~TsSetup.bak"), "another vendor's CPUID.dll (System)");
    // A second install keeps the first kept copy, and nothing new.
    const Snapshot once = CadWorld(cad, winDir, sysDir);
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    EXPECT_EQ(CadWorld(cad, winDir, sysDir), once);

    ASSERT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    // All as before, but for AutoCAD's copy of the library, which was not
    // there and which the uninstall keeps, as always.
    Snapshot expected = before;
    expected[cad + L"CPUID.dll"] = *ReadBytes(dist + L"\\data\\CPUID.dll");
    EXPECT_EQ(CadWorld(cad, winDir, sysDir), expected);
    // They are the user's again: a second uninstall leaves them be.
    ASSERT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(CadWorld(cad, winDir, sysDir), expected);
}

namespace {

// A later version of the add-on in the payload: three files changed, one
// picture redrawn (as large as before, and a minute newer, as a file made
// for a later release is), one dropped, one new.
void NewerPayload(const std::wstring& dist) {
    const std::wstring data = dist + L"\\data\\";
    for (const wchar_t* name : {L"TS_DATA.mdb", L"PROJECT.dvb", L"acad.dvb"}) WriteBytes(data + name, "payload file, version 2");
    WriteBytes(data + L"Pictrue\\pic1.bmp", std::string(3000, 'q'));
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER later{{now.dwLowDateTime, now.dwHighDateTime}};
    later.QuadPart += 60ull * 10000000;
    const FILETIME newer{later.LowPart, later.HighPart};
    HANDLE picture = ::CreateFileW((data + L"Pictrue\\pic1.bmp").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(picture, INVALID_HANDLE_VALUE);
    ::SetFileTime(picture, nullptr, nullptr, &newer);
    ::CloseHandle(picture);
    ::DeleteFileW((data + L"Pictrue\\pic2.bmp").c_str());
    WriteBytes(data + L"Pictrue\\pic50.bmp", std::string(2000, 'n'));
}

std::vector<std::wstring> KeptFiles(const Snapshot& world) {
    std::vector<std::wstring> kept;
    for (const auto& [path, content] : world)
        if (path.find(L"~TsSetup") != std::wstring::npos && content != "<absent>") kept.push_back(path);
    return kept;
}

}  // namespace

TEST_F(EndToEnd, ANewerTesmoraOverAnOlderOneKeepsNothingOfTheOlderAndTheUninstallLeavesNothing) {
    const Snapshot before = CadWorld(cad, winDir, sysDir);
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    NewerPayload(dist);
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    EXPECT_EQ(KeptFiles(CadWorld(cad, winDir, sysDir)), std::vector<std::wstring>{});
    for (const wchar_t* name : {L"TS_DATA.mdb", L"PROJECT.dvb", L"acad.dvb", L"Pictrue\\pic1.bmp", L"Pictrue\\pic50.bmp"})
        EXPECT_EQ(ReadBytes(cad + name), ReadBytes(dist + L"\\data\\" + name)) << name;

    ASSERT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    Snapshot expected = before;
    for (const std::wstring& dll : {cad + L"CPUID.dll", winDir + L"\\CPUID.dll"})
        expected[dll] = *ReadBytes(dist + L"\\data\\CPUID.dll");
    EXPECT_TRUE(CadWorld(cad, winDir, sysDir) == expected);
    EXPECT_EQ(FileNames(cad.substr(0, cad.size() - 1)), (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

TEST_F(EndToEnd, ANewerTesmoraOverTheUsersOwnFilesKeepsOnlyTheirsAndTheUninstallGivesThemBack) {
    WriteBytes(cad + L"acad.dvb", "the user's own startup macros");
    MakeDirs(cad + L"Pictrue");
    WriteBytes(cad + L"Pictrue\\pic1.bmp", "the user's own picture");
    WriteBytes(winDir + L"\\CPUID.dll", "another vendor's CPUID.dll (Windows)");
    WriteBytes(sysDir + L"\\CPUID.dll", "another vendor's CPUID.dll (System)");
    const Snapshot before = CadWorld(cad, winDir, sysDir);
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    NewerPayload(dist);
    ASSERT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    const Snapshot upgraded = CadWorld(cad, winDir, sysDir);
    const std::vector<std::wstring> kept = KeptFiles(upgraded);
    EXPECT_EQ(kept.size(), 4u);
    for (const std::wstring& path : kept)
        EXPECT_EQ(upgraded.at(path), before.at(fileio::TargetOfKept(path).value()));

    ASSERT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    Snapshot expected = before;
    expected[cad + L"CPUID.dll"] = *ReadBytes(dist + L"\\data\\CPUID.dll");
    EXPECT_TRUE(CadWorld(cad, winDir, sysDir) == expected);
}

namespace {

// The full-disk cases: AutoCAD lives on E:, a small drive of its own (a tmpfs
// that run_e2e.sh mounted), which the driver fills as another program would.
class SmallDrive : public EndToEnd {
protected:
    const std::wstring drive = EnvVar(L"TS_E2E_SMALL");
    std::wstring small = L"E:\\Program Files\\AutoCAD 2002\\";
    std::wstring filler = L"E:\\filler.bin";

    void SetUp() override {
        if (drive.empty()) GTEST_SKIP() << "no small drive; run_e2e.sh said why";
        EndToEnd::SetUp();
        RemoveTree(cad.substr(0, cad.size() - 1));
        Clean();
        MakeDirs(small + L"support");
        WriteBytes(small + L"acad.exe", "AutoCAD");
        WriteBytes(small + L"support\\acad.mns", menuBefore);
    }
    void TearDown() override {
        if (!drive.empty()) Clean();
    }
    void Clean() {
        RemoveTree(L"E:\\Program Files");
        RemoveTree(L"E:\\TsSetup");
        ::DeleteFileW(filler.c_str());
    }
    static uint64_t FreeOnE() {
        ULARGE_INTEGER available{};
        ::GetDiskFreeSpaceExW(L"E:\\", &available, nullptr, nullptr);
        return available.QuadPart;
    }
    // Fills E: until `leave` bytes are free, or it is full.
    void Fill(uint64_t leave) const {
        const std::string chunk(1 << 20, 'f');
        win::UniqueFile file(::CreateFileW(filler.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_ALWAYS, 0, nullptr));
        ::SetFilePointer(file.Get(), 0, nullptr, FILE_END);
        for (uint64_t left = FreeOnE() - std::min(leave, FreeOnE()); left > 0;) {
            const DWORD n = static_cast<DWORD>(std::min<uint64_t>(left, chunk.size()));
            DWORD written = 0;
            if (!::WriteFile(file.Get(), chunk.data(), n, &written, nullptr) || written == 0) break;
            left -= written;
        }
    }
    // Another program, on a thread of its own, that takes all the room left
    // once the database's temporary file appears.
    static DWORD WINAPI FillOnceTheDatabaseIsWritten(void* self) {
        const SmallDrive& test = *static_cast<const SmallDrive*>(self);
        const std::wstring temp = fileio::TempPathFor(test.small + L"TS_DATA.mdb");
        for (int ms = 0; ms < 30000; ++ms) {
            if (Exists(temp)) {
                test.Fill(0);
                break;
            }
            ::Sleep(1);
        }
        return 0;
    }
    // The paths whose content differs between two snapshots: the contents
    // are too large to show.
    static std::vector<std::wstring> Differing(const Snapshot& a, const Snapshot& b) {
        std::vector<std::wstring> paths;
        for (const auto& [path, content] : a)
            if (!b.count(path) || b.at(path) != content) paths.push_back(path);
        for (const auto& [path, content] : b)
            if (!a.count(path)) paths.push_back(path);
        return paths;
    }
    Snapshot Everything() const {
        Snapshot all = World();
        for (auto& [path, content] : Snap(L"E:\\Program Files")) all[L"E:\\" + path] = content;
        return all;
    }
};

}  // namespace

TEST_F(SmallDrive, TooLittleRoomIsSaidOnceBeforeAnythingChanges) {
    WriteBytes(dist + L"\\data\\TS_DATA.mdb", std::string(8 << 20, 'd'));
    Fill(3 << 20);
    const Snapshot before = Everything();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    // What the user reads, beside the window's own screenshot.
    const std::wstring shot = EnvVar(L"TS_E2E_SHOT");
    HWND box = app.WaitDialog();
    if (box && !shot.empty()) {
        ::Sleep(300);  // let it paint
        SaveScreenshot(box, shot.substr(0, shot.size() - 4) + L"-noroom.bmp");
    }
    const std::wstring shown = app.AnswerMessage();
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(shown.rfind(deploy::text::kNoRoom, 0), 0u) << "says: " << shown.size();
    EXPECT_NE(shown.find(L"驱动器 E: 需要 8."), std::wstring::npos);
    EXPECT_EQ(Differing(Everything(), before), std::vector<std::wstring>{});
}

TEST_F(SmallDrive, ADriveFilledDuringTheInstallStopsItAndTakesItBack) {
    WriteBytes(dist + L"\\data\\TS_DATA.mdb", std::string(32 << 20, 'd'));
    for (int i = 50; i < 800; ++i)
        WriteBytes(dist + L"\\data\\Pictrue\\pic" + std::to_wstring(i) + L".bmp", std::string(8000, 'p'));
    const Snapshot before = Everything();
    // Another program takes the room once the database is being written.
    win::UniqueKernel other(::CreateThread(nullptr, 0, FillOnceTheDatabaseIsWritten, this, 0, nullptr));
    ASSERT_TRUE(other);
    const std::vector<std::wstring> shown = RunButton(dist, kImport, 1);
    ::WaitForSingleObject(other.Get(), INFINITE);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], deploy::DiskFilledText(L"E:\\", {}));
    EXPECT_TRUE(LeftoverTemps(L"E:\\Program Files").empty());
    ::DeleteFileW(filler.c_str());
    EXPECT_EQ(Differing(Everything(), before), std::vector<std::wstring>{});
}

TEST_F(SmallDrive, ASecondInstallAndTheUninstallWorkWithAlmostNoRoomLeft) {
    // The program runs from the small drive too, and the user's own file is
    // kept by the install: the uninstall must note it in the record there
    // before it gives it back.
    CopyFolder(dist, L"E:\\TsSetup");
    dist = L"E:\\TsSetup";
    WriteBytes(small + L"acad.dvb", "the user's own acad.dvb");
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    Fill(16 << 10);
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(small);
    Fill(0);
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(small + L"support\\acad.mns"), menuBefore);
    EXPECT_EQ(ReadBytes(small + L"acad.dvb"), "the user's own acad.dvb");
    EXPECT_FALSE(Exists(small + L"Pictrue"));
}

// AutoCAD 2014 where it installs by default, with the acad.cuix it ships in
// its user's profile: found without the dialog, the item lands in the two
// parts of the package, a second install writes nothing, and the uninstall
// gives every part back (the listing of part dates aside). Under another
// case of its name the package keeps that name. An add-on's partial
// package (its own menu group, not AutoCAD's), and a package cut off, as
// the profile's acad.cuix, are told and left as they are.
TEST_F(EndToEnd, AutoCad2014GetsTheItemInItsUsersAcadCuixAndTheUninstallGivesEveryPartBack) {
    const std::optional<std::string> before = SharedFile(L"" TS_SHARED_CUI L"/acad2014-enu.cuix");
    const std::optional<std::string> night = SharedFile(L"" TS_SHARED_CUI L"/night-2014.cuix");
    if (!before || !night) GTEST_SKIP() << "../shared/cui is absent: AutoCAD 2014's acad.cuix not tried";
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring cad2014 = L"C:\\Program Files\\Autodesk\\AutoCAD 2014\\";
    MadeFolders made;
    made.Make(L"C:\\Program Files\\Autodesk");
    made.Make(cad2014.substr(0, cad2014.size() - 1));
    MakeDirs(cad2014 + L"Support");
    WriteBytes(cad2014 + L"acad.exe", "AutoCAD");
    const std::wstring support = roaming + L"\\Autodesk\\AutoCAD 2014\\R19.1\\enu\\Support";
    const std::wstring cuix = support + L"\\acad.cuix";
    MakeDirs(support);
    WriteBytes(cuix, *before);
    const auto parts = PackageParts(before);
    ASSERT_TRUE(parts);
    const cui::PartsEdit added =
        cui::AddItemToParts(parts->at("MenuGroup.cui"), parts->at("PopMenuRoot.cui"));
    ASSERT_TRUE(added.macrosChanged && added.menusChanged);

    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad2014, {cuix}, {L"usergroup " + cuix});
    const std::optional<std::string> installed = ReadBytes(cuix);
    auto expected = PartsWithoutDates(before);
    (*expected)["MenuGroup.cui"] = added.macros;
    (*expected)["PopMenuRoot.cui"] = added.menus;
    EXPECT_EQ(PartsWithoutDates(installed), expected);
    KeepForOtherReaders(cuix, L"installed");
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.cuix"});
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    EXPECT_EQ(ReadBytes(cuix), installed) << "a second install wrote the package again";

    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(PartsWithoutDates(ReadBytes(cuix)), PartsWithoutDates(before));
    KeepForOtherReaders(cuix, L"uninstalled");
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.cuix"});

    // The same package as acad.CUIX: written, and still under that name.
    const std::optional<std::string> uninstalled = ReadBytes(cuix);
    ASSERT_TRUE(::DeleteFileW(cuix.c_str()));
    WriteBytes(support + L"\\acad.CUIX", *uninstalled);
    ASSERT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.CUIX"});
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.CUIX"});
    EXPECT_EQ(PartsWithoutDates(ReadBytes(support + L"\\acad.CUIX")), expected);
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(FileNames(support), std::vector<std::wstring>{L"acad.CUIX"});
    ASSERT_TRUE(::DeleteFileW((support + L"\\acad.CUIX").c_str()));

    // Told, with how to start Tesmora, and unchanged.
    const std::string cut = before->substr(0, before->size() - 100);
    for (const auto& [package, problem] : {std::pair{*night, menu::Problem::NoAcadGroup},
                                           std::pair{cut, menu::Problem::NotPackage}}) {
        WriteBytes(cuix, package);
        const std::vector<std::wstring> shown = RunButton(dist, kImport, 2);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0], deploy::MenusNotPatchedText({{cuix, ERROR_INVALID_DATA, false, problem}}, {}, {}));
        EXPECT_EQ(shown[1], L"导入完成！");
        EXPECT_EQ(ReadBytes(cuix), package);
    }
    EXPECT_TRUE(LeftoverTemps(support).empty());
}

namespace {

// An AutoCAD as its setup lists it in HKEY_LOCAL_MACHINE, in the registry
// view `view` (0: this program's own): its folder and product name under
// SOFTWARE\Autodesk\AutoCAD\<release>\<product>. The first key of that path
// that was not there goes again, with all under it.
class RegisteredAutoCad {
public:
    RegisteredAutoCad(const std::wstring& release, const std::wstring& product, const std::wstring& folder,
                      const std::wstring& name, REGSAM view = 0) {
        HKEY software = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot open HKLM\\SOFTWARE";
            return;
        }
        software_.Reset(software);
        std::wstring path;
        for (const std::wstring& part : {std::wstring(L"Autodesk"), std::wstring(L"AutoCAD"), release, product}) {
            path += (path.empty() ? L"" : L"\\") + part;
            HKEY key = nullptr;
            DWORD disposition = 0;
            if (::RegCreateKeyExW(software, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                  &disposition) != ERROR_SUCCESS) {
                ADD_FAILURE() << "cannot make a registry key";
                return;
            }
            const win::UniqueRegKey made(key);
            if (disposition == REG_CREATED_NEW_KEY && made_.empty()) made_ = path;
            if (part != product) continue;
            for (const auto& [value, text] : {std::pair{L"AcadLocation", folder}, std::pair{L"ProductName", name}})
                ::RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    }
    RegisteredAutoCad(const RegisteredAutoCad&) = delete;
    RegisteredAutoCad& operator=(const RegisteredAutoCad&) = delete;
    ~RegisteredAutoCad() {
        if (!made_.empty()) ::RegDeleteTreeW(software_.Get(), made_.c_str());
    }

private:
    win::UniqueRegKey software_;
    std::wstring made_;
};

// Two AutoCADs, each with its menu in its own folder: 2007 in
// C:\Program Files, and 2014 where it installs by default, on D:, listed by
// Windows with its product name. The fixture's AutoCAD 2002 is not there.
class TwoAutoCads : public EndToEnd {
protected:
    const std::wstring cad2007 = L"C:\\Program Files\\AutoCAD 2007\\";
    const std::wstring cad2014 = L"D:\\Program Files\\Autodesk\\AutoCAD 2014\\";
    const std::wstring name2014 = L"AutoCAD 2014 - 简体中文 (Simplified Chinese)";
    MadeFolders made;
    std::optional<RegisteredAutoCad> listed;

    void SetUp() override {
        EndToEnd::SetUp();
        RemoveTree(cad.substr(0, cad.size() - 1));
        made.Make(L"D:\\Program Files");
        made.Make(L"D:\\Program Files\\Autodesk");
        for (const std::wstring& folder : {cad2007, cad2014}) {
            made.Make(folder.substr(0, folder.size() - 1));
            MakeDirs(folder + L"support");
            WriteBytes(folder + L"acad.exe", "AutoCAD");
            WriteBytes(folder + L"support\\acad.mns", menuBefore);
        }
        listed.emplace(L"R19.1", L"ACAD-D001:804", cad2014.substr(0, cad2014.size() - 1), name2014);
    }
    // What the dialog must show, in the order found.
    std::vector<std::wstring> Labels() const {
        return {deploy::FoundCad{cad2007, L""}.Label(), deploy::FoundCad{cad2014, name2014}.Label()};
    }
};

// The dialog that asks which AutoCADs to serve, and its parts.
struct ChoiceDialog {
    HWND dialog = nullptr;
    std::vector<HWND> boxes;  // its check boxes, in tab order
    HWND ok = nullptr, cancel = nullptr;
};

ChoiceDialog WaitChoice(const App& app) {
    ChoiceDialog choice;
    choice.dialog = app.WaitDialog();
    if (!choice.dialog) return choice;
    for (HWND child = ::GetWindow(choice.dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == L"Button" && (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX)
            choice.boxes.push_back(child);
    }
    choice.ok = ::GetDlgItem(choice.dialog, IDOK);
    choice.cancel = ::GetDlgItem(choice.dialog, IDCANCEL);
    return choice;
}

// How many dialog boxes the process `pid` shows.
int DialogsOf(DWORD pid) {
    int n = 0;
    for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        if (owner == pid && ::IsWindowVisible(w)) ++n;
    }
    return n;
}

bool Ticked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

RECT RectIn(HWND window, HWND parent) {
    RECT r{};
    ::GetWindowRect(window, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Whether `box` shows all its text: measured here in the message font at
// `dpi`, it fits the box's width on as many lines as the box's height holds,
// and the box wraps it where that is more than one.
bool ShowsItsWholeText(HWND box, UINT dpi) {
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    // Without the per-DPI query (before Windows 10) the system DPI is the only one.
    if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi))
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    RECT area{};
    ::GetClientRect(box, &area);
    const std::wstring text = WindowText(box);
    RECT needed{0, 0, area.right, 0}, line{};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::DrawTextW(dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
    // Only a box of several lines wraps its text.
    const bool wraps = ::GetWindowLongW(box, GWL_STYLE) & BS_MULTILINE;
    return needed.right <= area.right && needed.bottom <= area.bottom && (needed.bottom <= line.bottom || wraps);
}

}  // namespace

// With two AutoCADs found, the install asks which to serve, in a dialog box
// of its own, modal over the window: a ticked box for each, in the order
// found, named as Windows lists it; 确定 the default button, disabled while
// nothing is ticked. The dialog is as wide as its longest label within the
// screen (at 150 % and 200 % too, where the label wraps). Esc cancels, and
// the program ends with nothing changed.
TEST_F(TwoAutoCads, TheChoiceDialogsLayoutAndEscChangeNothing) {
    const Snapshot before = World();
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    const ChoiceDialog choice = WaitChoice(app);
    ASSERT_TRUE(choice.dialog);
    EXPECT_EQ(WindowText(choice.dialog), L"选择AutoCAD");
    EXPECT_EQ(::GetWindow(choice.dialog, GW_OWNER), app.Main());
    EXPECT_FALSE(::IsWindowEnabled(app.Main())) << "the window takes clicks while the dialog shows";
    const std::vector<std::wstring> labels = Labels();
    ASSERT_EQ(choice.boxes.size(), labels.size());
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(WindowText(choice.boxes[i]), labels[i]) << i;
        EXPECT_TRUE(Ticked(choice.boxes[i])) << i;
    }
    ASSERT_TRUE(choice.ok && choice.cancel);
    EXPECT_EQ(WindowText(choice.ok), L"确定");
    EXPECT_EQ(WindowText(choice.cancel), L"取消");
    EXPECT_TRUE(IsDefaultButton(choice.ok));
    EXPECT_EQ(::SendMessageW(choice.dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_TRUE(::IsWindowEnabled(choice.ok));
    EXPECT_TRUE(app.WaitFocus(choice.boxes[0])) << "the focus is on control " << ::GetDlgCtrlID(app.Focus());

    // Whole on the screen, every control inside it, and every label whole.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(choice.dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT outer{}, client{};
    ::GetWindowRect(choice.dialog, &outer);
    ::GetClientRect(choice.dialog, &client);
    EXPECT_TRUE(outer.left >= monitor.rcWork.left && outer.right <= monitor.rcWork.right &&
                outer.top >= monitor.rcWork.top && outer.bottom <= monitor.rcWork.bottom)
        << "the dialog spans " << outer.left << ".." << outer.right << " of a work area to " << monitor.rcWork.right;
    const UINT dpi = DpiOf(choice.dialog);
    LONG below = 0;
    for (HWND control : {choice.boxes[0], choice.boxes[1], choice.ok, choice.cancel}) {
        const RECT r = RectIn(control, choice.dialog);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << ::GetDlgCtrlID(control);
        if (control == choice.ok || control == choice.cancel) {
            EXPECT_GE(r.top, below) << "a button over a check box";
        } else {
            EXPECT_TRUE(ShowsItsWholeText(control, dpi)) << ::GetDlgCtrlID(control) << " at " << dpi << " DPI";
            EXPECT_GE(r.top, below) << "check boxes overlap";
            below = r.bottom;
        }
    }
    const std::wstring shot = EnvVar(L"TS_E2E_SHOT");
    if (!shot.empty()) {
        ::Sleep(300);  // let it paint
        SaveScreenshot(choice.dialog, shot.substr(0, shot.size() - 4) + L"-choose.bmp");
    }

    // Nothing ticked: 确定 cannot be pressed; one ticked again: it can.
    for (HWND box : choice.boxes) ::SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_FALSE(Ticked(choice.boxes[0]) || Ticked(choice.boxes[1]));
    EXPECT_FALSE(::IsWindowEnabled(choice.ok));
    ::SendMessageW(choice.boxes[1], BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowEnabled(choice.ok));

    // The window's buttons start nothing while the choice is open.
    app.Click(kImport);
    app.Click(kExport);
    ::Sleep(300);
    EXPECT_EQ(DialogsOf(app.Pid()), 1) << "a click on the window opened another dialog";

    ASSERT_TRUE(app.WaitFocus(choice.boxes[1]));
    ASSERT_TRUE(PressKey(VK_ESCAPE));
    EXPECT_EQ(app.WaitExit(), 0) << "the program did not end after Esc";
    EXPECT_EQ(World(), before);
}

// From the keyboard: Space on the box that has the focus unticks it, Tab
// goes on to the next box and Shift+Tab back, Enter does nothing while
// nothing is ticked, and presses 确定 otherwise: the install serves only the
// AutoCAD left ticked.
TEST_F(TwoAutoCads, KeyboardSpaceTicksTabMovesAndEnterServesTheOneTicked) {
    const Snapshot other = Snap(cad2007.substr(0, cad2007.size() - 1));
    App app(dist);
    ASSERT_TRUE(app.Main());
    app.Click(kImport);
    const ChoiceDialog choice = WaitChoice(app);
    ASSERT_TRUE(choice.dialog);
    ASSERT_EQ(choice.boxes.size(), 2u);
    ASSERT_TRUE(app.WaitFocus(choice.boxes[0]));
    const auto press = [&](WORD key, bool shift = false) {
        EXPECT_TRUE(PressKey(key, shift));
        ::Sleep(100);  // taken in order; no state of the dialog tells that a key was
    };
    press(VK_SPACE);
    EXPECT_TRUE(WaitFor([&] { return !Ticked(choice.boxes[0]); }, 5000));
    press(VK_TAB);
    ASSERT_TRUE(app.WaitFocus(choice.boxes[1]));
    press(VK_SPACE);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowEnabled(choice.ok); }, 5000));
    press(VK_RETURN);
    press(VK_SPACE);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(choice.ok); }, 5000));
    EXPECT_TRUE(::IsWindow(choice.dialog)) << "Enter closed the dialog with nothing ticked";
    press(VK_TAB);
    ASSERT_TRUE(app.WaitFocus(choice.ok));
    press(VK_TAB, true);
    ASSERT_TRUE(app.WaitFocus(choice.boxes[1]));
    EXPECT_FALSE(Ticked(choice.boxes[0]));
    EXPECT_TRUE(Ticked(choice.boxes[1]));
    press(VK_RETURN);
    EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(ReadBytes(cad2014 + L"acad.dvb"), ReadBytes(dist + L"\\data\\acad.dvb"));
    EXPECT_EQ(Snap(cad2007.substr(0, cad2007.size() - 1)), other);
}

// AutoCAD 2007 with its user's acad.cui and AutoCAD 2014 with its user's
// acad.cuix: an install with 2014 unticked leaves 2014 as it was, a second
// adds it, and one uninstall gives both back.
TEST_F(EndToEnd, TwoAutoCadsWithAcadCuiAndAcadCuixAreChosenServedAndGivenBack) {
    const std::optional<std::string> cui = SharedWithCrLf(L"" TS_SHARED_CUI L"/acad2007-kor.cui");
    const std::optional<std::string> cuix = SharedFile(L"" TS_SHARED_CUI L"/acad2014-enu.cuix");
    if (!cui || !cuix) GTEST_SKIP() << "../shared/cui is absent: two AutoCADs with acad.cui and acad.cuix not tried";
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring cad2007 = L"C:\\Program Files\\AutoCAD 2007\\";
    const std::wstring cad2014 = L"C:\\Program Files\\Autodesk\\AutoCAD 2014\\";
    MadeFolders made;
    made.Make(L"C:\\Program Files\\Autodesk");
    for (const std::wstring& folder : {cad2007, cad2014}) {
        made.Make(folder.substr(0, folder.size() - 1));
        WriteBytes(folder + L"acad.exe", "AutoCAD");
    }
    const std::wstring cuiPath = roaming + L"\\Autodesk\\AutoCAD 2007\\R17.0\\kor\\Support\\acad.cui";
    const std::wstring cuixPath = roaming + L"\\Autodesk\\AutoCAD 2014\\R19.1\\enu\\Support\\acad.cuix";
    for (const auto& [path, bytes] : {std::pair{cuiPath, *cui}, std::pair{cuixPath, *cuix}}) {
        MakeDirs(path.substr(0, path.rfind(L'\\')));
        WriteBytes(path, bytes);
    }
    const Snapshot before2014 = Snap(cad2014.substr(0, cad2014.size() - 1));
    for (const bool both : {false, true}) {
        App app(dist);
        ASSERT_TRUE(app.Main());
        app.Click(kImport);
        const ChoiceDialog choice = WaitChoice(app);
        ASSERT_EQ(choice.boxes.size(), 2u);
        EXPECT_EQ(WindowText(choice.boxes[1]), (deploy::FoundCad{cad2014, L""}.Label()));
        if (!both) ::SendMessageW(choice.boxes[1], BM_CLICK, 0, 0);
        App::CloseDialog(choice.dialog, IDOK);
        EXPECT_EQ(app.AnswerMessage(), L"导入完成！");
        EXPECT_EQ(app.WaitExit(), 0);
        EXPECT_EQ(ReadBytes(cuiPath), cui::AddItem(*cui).text);
        if (!both) {
            EXPECT_EQ(Snap(cad2014.substr(0, cad2014.size() - 1)), before2014);
            EXPECT_EQ(ReadBytes(cuixPath), cuix);
        }
    }
    EXPECT_EQ(FileNames(cad2014 + L"Pictrue"), FileNames(dist + L"\\data\\Pictrue"));
    EXPECT_NE(PartsWithoutDates(ReadBytes(cuixPath)), PartsWithoutDates(cuix));

    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(cuiPath), cui);
    EXPECT_EQ(PartsWithoutDates(ReadBytes(cuixPath)), PartsWithoutDates(cuix));
    for (const std::wstring& folder : {cad2007, cad2014})
        EXPECT_EQ(FileNames(folder.substr(0, folder.size() - 1)), (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

// An AutoCAD outside the searched folders that Windows lists only in the
// registry view that is not the program's own: found, served and given back
// without a question. A 32-bit Windows has one view, which both flags name.
TEST_F(EndToEnd, AnAutoCadWindowsListsOutsideTheSearchedFoldersIsFoundInTheOtherView) {
    RemoveTree(cad.substr(0, cad.size() - 1));
    const std::wstring elsewhere = L"D:\\设计软件\\AutoCAD 2014\\";
    MadeFolders made;
    made.Make(L"D:\\设计软件");
    MakeDirs(elsewhere + L"support");
    WriteBytes(elsewhere + L"acad.exe", "AutoCAD");
    WriteBytes(elsewhere + L"support\\acad.mns", menuBefore);
    const RegisteredAutoCad listed(L"R19.1", L"ACAD-D001:804", elsewhere.substr(0, elsewhere.size() - 1), L"",
                                   sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(elsewhere);
    EXPECT_EQ(RunButton(dist, kExport, 1), std::vector<std::wstring>{L"导出完成！"});
    EXPECT_EQ(ReadBytes(elsewhere + L"support\\acad.mns"), menuBefore);
    EXPECT_EQ(FileNames(elsewhere.substr(0, elsewhere.size() - 1)),
              (std::vector<std::wstring>{L"CPUID.dll", L"acad.exe"}));
}

// AutoCAD LT runs no VBA: beside a full AutoCAD it is not offered; alone,
// the user hears why it gets nothing before being asked for acad.exe.
TEST_F(EndToEnd, AutoCadLtIsNeverServedAndAloneIsTold) {
    const std::wstring lt = L"C:\\Program Files\\AutoCAD LT 2014\\";
    MadeFolders made;
    made.Make(lt.substr(0, lt.size() - 1));
    WriteBytes(lt + L"acadlt.exe", "AutoCAD LT");
    EXPECT_EQ(RunButton(dist, kImport, 1), std::vector<std::wstring>{L"导入完成！"});
    ExpectInstalledInto(cad);
    EXPECT_EQ(FileNames(lt.substr(0, lt.size() - 1)), std::vector<std::wstring>{L"acadlt.exe"});

    RemoveTree(cad.substr(0, cad.size() - 1));
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
