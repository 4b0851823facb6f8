// The program's only window: three buttons, four labels and a progress bar.
// It is the host of the install and uninstall procedures.
#pragma once

#include <windows.h>

#include <string>

#include "folders.h"
#include "handles.h"
#include "host.h"

namespace app {

// Control identifiers; the end-to-end test finds the controls by them.
enum ControlId : int {
    kIdLabel1 = 201,
    kIdLabel2,
    kIdLabel3,
    kIdLabel4,
    kIdProgressBar1 = 301,
    kIdCommand1 = 101,
    kIdCommand2,
    kIdCommand3,
};

inline constexpr wchar_t kWindowClass[] = L"TsSetupForm1";
inline constexpr wchar_t kCaption[] = L"Tesmora---Halvoren";
inline constexpr wchar_t kMessageTitle[] = L"TsSetup";

struct GdiTraits {
    using Type = HGDIOBJ;
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
using UniqueGdi = win::UniqueHandle<GdiTraits>;

class Form1 final : public deploy::Host {
public:
    Form1() = default;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1();

    bool Create(HINSTANCE instance, int show);
    HWND Window() const { return window_; }
    // IsDialogMessageW for this window: Tab, the arrow keys, Enter and Esc.
    bool DialogMessage(MSG* msg);

    // Host operations of the procedures.
    bool ProgressSet(float value) override;
    float ProgressGet() override;
    void MessageShow(const std::wstring& text) override;
    std::wstring FilePick(const std::wstring& filter) override;
    void EventsService() override;
    std::optional<std::vector<size_t>> CadsChoose(const std::vector<deploy::FoundCad>& found) override;
    void ProgramEnd(deploy::Outcome outcome) override;
    DWORD MenuAdd(const std::wstring& fileName) override;
    DWORD MenuDel(const std::wstring& fileName) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    // Makes the fonts for `dpi`.
    void MakeFonts(UINT dpi);
    HGDIOBJ FontOf(int id) const;
    // Places and sizes the controls and sets their fonts for `dpi`.
    void LayOutControls(UINT dpi);
    // The window's size for a client area of the form's size at `dpi`.
    static SIZE OuterSize(UINT dpi);
    void OnCommand(int id);
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    // Keeps the control that has the focus, so that activation gives it back.
    void RememberFocus();
    // Gives `control` the focus as the dialog manager does: a push button
    // that takes it becomes the default button, so Enter presses it.
    void FocusControl(HWND control);
    void Run(void (*procedure)(deploy::Host&, const deploy::Folders&));

    HWND Control(int id) const { return ::GetDlgItem(window_, id); }

    // Asked of the system when a button starts a procedure.
    deploy::Folders folders_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    UniqueGdi titleFont_;
    UniqueGdi defaultFont_;
    float progress_ = 1.0f;
    // The file dialog's last answer: a cancelled dialog leaves it as it was.
    std::wstring fileName_;
    // True while a procedure runs: buttons and closing are ignored meanwhile,
    // so one run never starts inside another.
    bool busy_ = false;
    // The control that had the focus when the window was last left; the
    // first tab stop until then.
    HWND focus_ = nullptr;
    // What DM_GETDEFID answers: Enter presses it when the focus is on no
    // push button.
    int defaultId_ = kIdCommand1;
    bool serviced_ = false;
    DWORD lastService_ = 0;  // GetTickCount when EventsService last looked
};

}  // namespace app
