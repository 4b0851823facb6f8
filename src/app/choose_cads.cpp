#include "choose_cads.h"

#include <algorithm>

#include "dpi.h"

namespace app {

namespace {

// The check boxes' identifiers: the first, then one more for each.
constexpr int kIdFirstBox = 1000;

// The layout in dialog units, as Windows' own dialogs have it.
constexpr int kMargin = 7;
constexpr int kBoxHeight = 10;
constexpr int kBoxGap = 3;
// The box's square and the space after it, before its text.
constexpr int kBoxGlyph = 14;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;

// A dialog template in memory: a DLGTEMPLATE, then its items, each a
// DLGITEMTEMPLATE on a DWORD boundary with its class and text after it.
// Kept as 16-bit units in a wide string, whose heap block is aligned as the
// template must be.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, const wchar_t* caption, WORD points, const wchar_t* face,
                   WORD items) {
        // Place and size come once the dialog's font is known.
        const DLGTEMPLATE header{style, 0, items, 0, 0, 0, 0};
        Raw(&header, sizeof(header));
        units_.append(2, L'\0');  // no menu, the standard dialog class
        Text(caption);
        units_ += static_cast<wchar_t>(points);
        Text(face);
    }
    // A button (check box or push button) of the given style and text.
    void AddButton(int id, DWORD style, const std::wstring& text) {
        if (units_.size() % 2) units_ += L'\0';
        const DLGITEMTEMPLATE item{WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, 0,
                                   static_cast<WORD>(id)};
        Raw(&item, sizeof(item));
        units_ += L'\xFFFF';
        units_ += L'\x0080';  // the Button class
        Text(text.c_str());
        units_ += L'\0';  // no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(units_.data()); }

private:
    void Raw(const void* data, size_t bytes) {
        units_.append(static_cast<const wchar_t*>(data), bytes / sizeof(wchar_t));
    }
    void Text(const wchar_t* text) { units_.append(text, ::lstrlenW(text) + 1); }

    std::wstring units_;
};

// A label as a button shows it: "&" alone would underline the next letter.
std::wstring AmpersandsDoubled(const std::wstring& label) {
    std::wstring text;
    for (const wchar_t c : label) {
        text += c;
        if (c == L'&') text += L'&';
    }
    return text;
}

// What the dialog procedure works with: the labels, and the boxes ticked
// when 确定 was pressed, one flag for each label, sized before the dialog
// shows so that nothing in the procedure allocates or throws.
struct Choice {
    const std::vector<std::wstring>* labels;
    std::vector<char> ticked;
};

int BoxId(size_t i) { return kIdFirstBox + static_cast<int>(i); }

bool AnyTicked(HWND dialog, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (::IsDlgButtonChecked(dialog, BoxId(i)) == BST_CHECKED) return true;
    return false;
}

void Place(HWND window, int left, int top, int width, int height) {
    ::SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes the dialog to its longest label, measured in the font the dialog
// manager made from the template, within the work area of the owner's
// monitor, and centres it on its owner.
void LayOut(HWND dialog, const std::vector<std::wstring>& labels) {
    // Dialog units to pixels, as MapDialogRect reckons them.
    RECT base{0, 0, 4, 8};
    ::MapDialogRect(dialog, &base);
    auto x = [&](int units) { return MulDiv(units, base.right, 4); };
    auto y = [&](int units) { return MulDiv(units, base.bottom, 8); };
    const int margin = x(kMargin), marginY = y(kMargin), glyph = x(kBoxGlyph);
    const int boxHeight = y(kBoxHeight), boxGap = y(kBoxGap);
    const int buttonWidth = x(kButtonWidth), buttonHeight = y(kButtonHeight);
    const int buttons = 2 * buttonWidth + x(kButtonGap);

    HWND owner = ::GetWindow(dialog, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST),
                      &monitor);
    const RECT work = monitor.rcWork;
    RECT outer{}, client{};
    ::GetWindowRect(dialog, &outer);
    ::GetClientRect(dialog, &client);
    const int frameWidth = (outer.right - outer.left) - client.right;
    const int frameHeight = (outer.bottom - outer.top) - client.bottom;

    HDC dc = ::GetDC(dialog);
    const HGDIOBJ oldFont =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    // The labels as they show: measured without "&" taken as a prefix.
    int widest = 0;
    for (const std::wstring& label : labels) {
        RECT r{};
        ::DrawTextW(dc, label.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        widest = std::max(widest, static_cast<int>(r.right));
    }
    const int widthLeft = (work.right - work.left) - frameWidth - 2 * margin;
    const int content = std::max(std::min(glyph + widest, widthLeft), buttons);

    int top = marginY;
    for (size_t i = 0; i < labels.size(); ++i) {
        // A label too long for the screen goes on over more lines.
        RECT r{0, 0, content - glyph, 0};
        ::DrawTextW(dc, labels[i].c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        const int height = std::max(
            boxHeight, static_cast<int>(r.bottom) + boxHeight - static_cast<int>(metrics.tmHeight));
        Place(::GetDlgItem(dialog, BoxId(i)), margin, top, content, height);
        top += height + boxGap;
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(dialog, dc);

    top += marginY - boxGap;
    const int right = margin + content;
    Place(::GetDlgItem(dialog, IDOK), right - buttons, top, buttonWidth, buttonHeight);
    Place(::GetDlgItem(dialog, IDCANCEL), right - buttonWidth, top, buttonWidth, buttonHeight);

    const int outerWidth = right + margin + frameWidth;
    const int outerHeight = top + buttonHeight + marginY + frameHeight;
    RECT around = work;
    if (owner) ::GetWindowRect(owner, &around);
    const int left = (around.left + around.right - outerWidth) / 2;
    const int upper = (around.top + around.bottom - outerHeight) / 2;
    Place(dialog, std::max<int>(work.left, std::min<int>(left, work.right - outerWidth)),
          std::max<int>(work.top, std::min<int>(upper, work.bottom - outerHeight)), outerWidth,
          outerHeight);
}

// Nothing here allocates, so nothing can throw through the dialog manager.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* choice = reinterpret_cast<const Choice*>(lParam);
        for (size_t i = 0; i < choice->ticked.size(); ++i)
            ::CheckDlgButton(dialog, BoxId(i), BST_CHECKED);
        LayOut(dialog, *choice->labels);
        return TRUE;  // the focus goes to the first box
    }
    auto* choice = reinterpret_cast<Choice*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (!choice || message != WM_COMMAND) return FALSE;
    const size_t count = choice->ticked.size();
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        // Enter never presses a disabled 确定; this holds even if something
        // else sends its command.
        if (!AnyTicked(dialog, count)) return TRUE;
        for (size_t i = 0; i < count; ++i)
            choice->ticked[i] = ::IsDlgButtonChecked(dialog, BoxId(i)) == BST_CHECKED;
        ::EndDialog(dialog, IDOK);
    } else if (id == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
    } else if (id >= kIdFirstBox && HIWORD(wParam) == BN_CLICKED) {
        ::EnableWindow(::GetDlgItem(dialog, IDOK), AnyTicked(dialog, count));
    } else {
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::optional<std::vector<size_t>> ChooseCads(HINSTANCE instance, HWND owner,
                                              const std::vector<std::wstring>& labels) {
    // The message font at its size in points: the dialog manager makes it
    // at the monitor's DPI, and the dialog units follow it.
    const UINT dpi = WindowDpi(owner);
    const LOGFONTW font = MessageFontForDpi(dpi);
    const int points =
        MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 72, static_cast<int>(dpi));
    DialogTemplate dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                          kChooseCadsCaption, static_cast<WORD>(points > 0 ? points : 9),
                          font.lfFaceName, static_cast<WORD>(labels.size() + 2));
    for (size_t i = 0; i < labels.size(); ++i)
        dialog.AddButton(BoxId(i),
                         BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0),
                         AmpersandsDoubled(labels[i]));
    dialog.AddButton(IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, L"确定");
    dialog.AddButton(IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, L"取消");

    Choice choice{&labels, std::vector<char>(labels.size())};
    if (::DialogBoxIndirectParamW(instance, dialog.Get(), owner, DialogProc,
                                  reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return std::nullopt;
    std::vector<size_t> chosen;
    for (size_t i = 0; i < labels.size(); ++i)
        if (choice.ticked[i]) chosen.push_back(i);
    return chosen;
}

}  // namespace app
