// The start-up floor of TsSetup.exe's window: the least a Win32 program does
// to show the same window. Same style, the same client size (300 × 192 pixels
// at 96 DPI), the same eight controls with the same texts, fonts and colours,
// the same icon, and the same manifest (common controls 6, per-monitor DPI
// awareness); only the class and the caption differ, so that the benchmark
// tells the two apart. It is created at its final size with its controls in
// place, and does nothing else: no deploy library, no C++ library.
#include <windows.h>

#include <commctrl.h>

namespace {

constexpr wchar_t kClass[] = L"TsBenchWindowFloor";
constexpr wchar_t kCaption[] = L"Window floor";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr COLORREF kTitleColour = RGB(0, 0, 192);
constexpr COLORREF kWarningColour = RGB(192, 0, 0);
constexpr int kTitleId = 201, kWarningId = 203, kInstructionsId = 204;

// TsSetup's layout, in twips from the client area's top-left.
struct Control {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    int left, top, width, height;
};

const Control kControls[] = {
    {kTitleId, L"STATIC", L"Tesmora2.0", SS_LEFT | SS_NOPREFIX, 120, 120, 3375, 615},
    {202, L"STATIC", L"使用说明:", SS_LEFT | SS_NOPREFIX, 120, 720, 975, 255},
    {kWarningId, L"STATIC", L"请先关闭AutoCAD", SS_LEFT | SS_NOPREFIX, 2400, 720, 1815, 255},
    {kInstructionsId, L"STATIC",
     L"1、导入CAD成功后，请重新启动AutoCAD，在绘图菜单下将出现Tesmora子菜单，单击即可。\r\n"
     L"2、导出CAD后，你的AutoCAD将恢复安装前的状态。",
     SS_LEFT | SS_NOPREFIX, 120, 960, 4215, 855},
    {101, L"BUTTON", L"导入CAD", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 240, 2400, 1215, 375},
    {102, L"BUTTON", L"导出CAD", BS_PUSHBUTTON | WS_TABSTOP, 1680, 2400, 1215, 375},
    {103, L"BUTTON", L"关    闭", BS_PUSHBUTTON | WS_TABSTOP, 3120, 2400, 1215, 375},
    {301, PROGRESS_CLASSW, L"", 0, 120, 2040, 4215, 255},
};
constexpr int kClientWidthTwips = 4500, kClientHeightTwips = 2880;
constexpr int kTitlePointsX100 = 2625;  // Arial bold 26.25 pt
constexpr int kProgressMin = 1, kProgressMax = 48;

int Pixels(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        HDC dc = reinterpret_cast<HDC>(wParam);
        const int background = id == kInstructionsId ? COLOR_HIGHLIGHTTEXT : COLOR_BTNFACE;
        ::SetTextColor(dc, id == kTitleId     ? kTitleColour
                           : id == kWarningId ? kWarningColour
                                              : ::GetSysColor(COLOR_BTNTEXT));
        ::SetBkColor(dc, ::GetSysColor(background));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(background));
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    if (!::RegisterClassExW(&wc)) return 1;

    RECT outer{0, 0, Pixels(kClientWidthTwips, dpi), Pixels(kClientHeightTwips, dpi)};
    ::AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
    HWND window = ::CreateWindowExW(0, kClass, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                    outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                    nullptr, instance, nullptr);
    if (!window) return 1;

    LOGFONTW title{};
    title.lfHeight = -::MulDiv(kTitlePointsX100, dpi, 72 * 100);
    title.lfWeight = FW_BOLD;
    title.lfCharSet = DEFAULT_CHARSET;
    title.lfQuality = CLEARTYPE_QUALITY;
    ::lstrcpyW(title.lfFaceName, L"Arial");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    // Both fonts live as long as the process, which ends with the window.
    HFONT titleFont = ::CreateFontIndirectW(&title);
    HFONT messageFont = ::CreateFontIndirectW(&metrics.lfMessageFont);

    for (const Control& c : kControls) {
        HWND control = ::CreateWindowExW(
            0, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, Pixels(c.left, dpi),
            Pixels(c.top, dpi), Pixels(c.width, dpi), Pixels(c.height, dpi), window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        ::SendMessageW(control, WM_SETFONT,
                       reinterpret_cast<WPARAM>(c.id == kTitleId ? titleFont : messageFont), FALSE);
        if (c.className == PROGRESS_CLASSW) {
            ::SendMessageW(control, PBM_SETRANGE32, kProgressMin, kProgressMax);
            ::SendMessageW(control, PBM_SETPOS, kProgressMin, 0);
        }
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
