#include "form1.h"

#include <commctrl.h>
#include <commdlg.h>

#include "choose_cads.h"
#include "dpi.h"
#include "layout.h"
#include "menu_file.h"
#include "messages.h"
#include "procedures.h"
#include "progress.h"
#include "waits.h"

namespace app {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

constexpr COLORREF kTitleColour = RGB(0, 0, 192);
constexpr COLORREF kWarningColour = RGB(192, 0, 0);

constexpr wchar_t kInstructions[] =
    L"1、导入CAD成功后，请重新启动AutoCAD，在绘图菜单下将出现Tesmora子菜单，单击即可。\r\n"
    L"2、导出CAD后，你的AutoCAD将恢复安装前的状态。";

struct ControlSpec {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    TwipsRect rect;
};

// In tab order: creation order is the order Tab walks the controls.
constexpr ControlSpec kControls[] = {
    {kIdLabel1, L"STATIC", L"Tesmora2.0", SS_LEFT | SS_NOPREFIX, kLabel1},
    {kIdLabel2, L"STATIC", L"使用说明:", SS_LEFT | SS_NOPREFIX, kLabel2},
    {kIdLabel3, L"STATIC", L"请先关闭AutoCAD", SS_LEFT | SS_NOPREFIX, kLabel3},
    {kIdLabel4, L"STATIC", kInstructions, SS_LEFT | SS_NOPREFIX, kLabel4},
    {kIdCommand1, L"BUTTON", L"导入CAD", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, kCommand1},
    {kIdCommand2, L"BUTTON", L"导出CAD", BS_PUSHBUTTON | WS_TABSTOP, kCommand2},
    {kIdCommand3, L"BUTTON", L"关    闭", BS_PUSHBUTTON | WS_TABSTOP, kCommand3},
    // A progress bar never draws its text: it is the bar's name for screen
    // readers.
    {kIdProgressBar1, PROGRESS_CLASSW, L"进度", 0, kProgressBar1},
};

// "description|pattern|..." as the file dialog wants it: parts ended by NUL,
// the whole ended by a second NUL.
std::wstring DialogFilter(const std::wstring& filter) {
    std::wstring out = filter;
    for (wchar_t& c : out)
        if (c == L'|') c = L'\0';
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

}  // namespace

Form1::~Form1() {
    if (window_) ::DestroyWindow(window_);
}

bool Form1::Create(HINSTANCE instance, int show) {
    instance_ = instance;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    // Created at the system DPI's size; OnCreate resizes it for a monitor of
    // another DPI.
    const SIZE outer = OuterSize(WindowDpi(nullptr));
    if (!::CreateWindowExW(kExStyle, kWindowClass, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           outer.cx, outer.cy, nullptr, nullptr, instance, this))
        return false;
    ::ShowWindow(window_, show);
    ::UpdateWindow(window_);
    return true;
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's code that called us.
        result = ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
    }
    return result;
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                RememberFocus();
            } else if (!HIWORD(wParam)) {
                // DefWindowProc would give the focus to the window itself,
                // where no key does anything.
                FocusControl(focus_ ? focus_ : ::GetNextDlgTabItem(window_, nullptr, FALSE));
                return 0;
            }
            return ::DefWindowProcW(window_, message, wParam, lParam);
        case WM_SETFOCUS:
            // The window itself takes no key: the focus goes on to the
            // control that had it, as in a dialog.
            FocusControl(focus_ ? focus_ : ::GetNextDlgTabItem(window_, nullptr, FALSE));
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(defaultId_, DC_HASDEFID);
        case DM_SETDEFID:
            defaultId_ = static_cast<int>(wParam);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED: {
            LayOutControls(HIWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_QUERYENDSESSION:
            // Logging off in the middle of a run would stop it half-way.
            return busy_ ? FALSE : TRUE;
        case WM_CLOSE:
            // Closing in the middle of a copy would leave the user guessing
            // what was installed; the running procedure ends the program.
            if (!busy_) ProgramEnd(deploy::Outcome::Done);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void Form1::OnCreate() {
    // Each control is made where it belongs and with its font, at the DPI of
    // the monitor the window is on: no control moves before it is shown.
    const UINT dpi = WindowDpi(window_);
    MakeFonts(dpi);
    for (const ControlSpec& entry : kControls) {
        HWND control = ::CreateWindowExW(
            0, entry.className, entry.text, WS_CHILD | WS_VISIBLE | entry.style,
            TwipsToPixels(entry.rect.left, dpi), TwipsToPixels(entry.rect.top, dpi),
            TwipsToPixels(entry.rect.width, dpi), TwipsToPixels(entry.rect.height, dpi), window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance_, nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(entry.id)), FALSE);
    }
    ::SendMessageW(Control(kIdProgressBar1), PBM_SETRANGE32, static_cast<WPARAM>(progress::kMin),
                   static_cast<LPARAM>(progress::kMax));
    ::SendMessageW(Control(kIdProgressBar1), PBM_SETPOS, static_cast<WPARAM>(progress::kMin), 0);
    // As a dialog starts: the focus rectangle shows once the keyboard is used,
    // or at once when the program was started from the keyboard.
    ::SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    // Made at the system DPI's size; another monitor's DPI resizes it.
    if (dpi != WindowDpi(nullptr)) {
        const SIZE outer = OuterSize(dpi);
        ::SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Form1::MakeFonts(UINT dpi) {
    LOGFONTW title{};
    title.lfHeight = -MulDiv(kTitlePointsX100, static_cast<int>(dpi), 72 * 100);
    title.lfWeight = FW_BOLD;
    title.lfCharSet = DEFAULT_CHARSET;
    title.lfQuality = CLEARTYPE_QUALITY;
    lstrcpyW(title.lfFaceName, L"Arial");
    LOGFONTW message = MessageFontForDpi(dpi);
    titleFont_.Reset(::CreateFontIndirectW(&title));
    defaultFont_.Reset(::CreateFontIndirectW(&message));
}

HGDIOBJ Form1::FontOf(int id) const { return id == kIdLabel1 ? titleFont_.Get() : defaultFont_.Get(); }

void Form1::LayOutControls(UINT dpi) {
    // The old fonts go only once no control uses them any more.
    const UniqueGdi oldTitleFont = std::move(titleFont_);
    const UniqueGdi oldDefaultFont = std::move(defaultFont_);
    MakeFonts(dpi);
    for (const ControlSpec& entry : kControls) {
        HWND control = Control(entry.id);
        ::SetWindowPos(control, nullptr, TwipsToPixels(entry.rect.left, dpi),
                       TwipsToPixels(entry.rect.top, dpi), TwipsToPixels(entry.rect.width, dpi),
                       TwipsToPixels(entry.rect.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(entry.id)), TRUE);
    }
}

SIZE Form1::OuterSize(UINT dpi) {
    return WindowSizeForClient(
        SIZE{TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)}, kStyle,
        kExStyle, dpi);
}

LRESULT Form1::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    int background = COLOR_BTNFACE;
    COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    if (id == kIdLabel1) text = kTitleColour;
    if (id == kIdLabel3) text = kWarningColour;
    if (id == kIdLabel4) background = COLOR_HIGHLIGHTTEXT;
    ::SetTextColor(dc, text);
    ::SetBkColor(dc, ::GetSysColor(background));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(background));
}

bool Form1::DialogMessage(MSG* msg) {
    // Windows' dialog manager shows the focus rectangle once Tab or an arrow
    // key is used; Wine's does not, so the window asks for it itself.
    const bool navigation = msg->wParam == VK_TAB || (msg->wParam >= VK_LEFT && msg->wParam <= VK_DOWN);
    if (msg->message == WM_KEYDOWN && navigation && ::IsChild(window_, msg->hwnd))
        ::SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return ::IsDialogMessageW(window_, msg);
}

void Form1::RememberFocus() {
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(window_, focus)) focus_ = focus;
}

void Form1::FocusControl(HWND control) {
    if (!control || !::IsChild(window_, control)) return;
    focus_ = control;
    ::SetFocus(control);
    const LRESULT code = ::SendMessageW(control, WM_GETDLGCODE, 0, 0);
    if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return;
    for (const int id : {kIdCommand1, kIdCommand2, kIdCommand3}) {
        HWND button = Control(id);
        const bool isDefault = button == control;
        const bool wasDefault = ::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON;
        if (isDefault != wasDefault)
            ::SendMessageW(button, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

void Form1::OnCommand(int id) {
    if (busy_) return;
    switch (id) {
        case kIdCommand1:
            Run(deploy::CadImport);
            break;
        case kIdCommand2:
            Run(deploy::CadExport);
            break;
        case kIdCommand3:
            ProgramEnd(deploy::Outcome::Done);
            break;
        default:
            break;
    }
}

void Form1::Run(void (*procedure)(deploy::Host&, const deploy::Folders&)) {
    busy_ = true;
    try {
        folders_ = deploy::FoldersFromOs();
        procedure(*this, folders_);
    } catch (...) {
        // Every file was written whole or not at all; the user must hear that
        // the run did not finish.
        MessageShow(deploy::text::kInterrupted);
        ProgramEnd(deploy::Outcome::Stopped);
    }
    // Procedures end the program themselves; this is reached only if one
    // returned without doing so.
    busy_ = false;
}

bool Form1::ProgressSet(float value) {
    if (!progress::InRange(value)) return false;
    progress_ = value;
    ::SendMessageW(Control(kIdProgressBar1), PBM_SETPOS, static_cast<WPARAM>(value), 0);
    return true;
}

float Form1::ProgressGet() { return progress_; }

void Form1::MessageShow(const std::wstring& text) {
    // Kept now as well as when the window hears it was left, so that the
    // focus comes back to the control the user pressed whatever the box's
    // coming up does to the focus first.
    RememberFocus();
    ::MessageBoxW(window_, text.c_str(), kMessageTitle, MB_OK);
}

std::wstring Form1::FilePick(const std::wstring& filter) {
    const std::wstring dialogFilter = DialogFilter(filter);
    std::wstring buffer(32768, L'\0');  // long paths fit; nMaxFile counts characters
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = window_;
    ofn.lpstrFilter = dialogFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    RememberFocus();  // as for a message box
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    // The dialog's library pulls half of the shell in with it; it is loaded
    // only when the dialog is needed, so the window comes up faster.
    using GetOpenFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);
    // By full path: never one planted beside the program.
    HMODULE comdlg = ::LoadLibraryW((folders_.sysDir + L"\\comdlg32.dll").c_str());
    const auto getOpenFileName = comdlg ? reinterpret_cast<GetOpenFileNameFn>(reinterpret_cast<void*>(
                                              ::GetProcAddress(comdlg, "GetOpenFileNameW")))
                                        : nullptr;
    if (getOpenFileName && getOpenFileName(&ofn)) fileName_ = buffer.c_str();
    return fileName_;
}

void Form1::EventsService() {
    // Each look at the queue is a round trip to Wine's server (about 40 us),
    // dearer than copying a small picture. Looking at most once in 10 ms
    // keeps the window as quick to answer a person, and makes a thousand
    // pictures 40 ms quicker to copy.
    constexpr DWORD kIntervalMs = 10;
    if (serviced_ && fileio::MsSince(lastService_) < kIntervalMs) return;
    serviced_ = true;
    lastService_ = ::GetTickCount();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!DialogMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

std::optional<std::vector<size_t>> Form1::CadsChoose(const std::vector<deploy::FoundCad>& found) {
    std::vector<std::wstring> labels;
    for (const deploy::FoundCad& cad : found) labels.push_back(cad.Label());
    RememberFocus();  // as for a message box
    // The dialog's own loop runs meanwhile; busy_ is still set, so a click
    // that reaches this window starts nothing.
    return ChooseCads(instance_, window_, labels);
}

void Form1::ProgramEnd(deploy::Outcome) {
    // Every file of the procedures is closed by the time they get here.
    if (window_) ::DestroyWindow(window_);
    ::ExitProcess(0);
}

DWORD Form1::MenuAdd(const std::wstring& fileName) {
    return menu::MenuAdd(folders_.appDir, fileName, *this);
}

DWORD Form1::MenuDel(const std::wstring& fileName) {
    return menu::MenuDel(folders_.appDir, fileName, *this);
}

}  // namespace app
