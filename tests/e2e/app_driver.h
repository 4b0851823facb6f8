// Starting TsSetup.exe and working its window from another process, as a
// user would: used by the end-to-end and kill tests.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <string>
#include <thread>

#include "handles.h"

namespace e2e {

constexpr int kTimeoutMs = 30000;
constexpr wchar_t kCaption[] = L"Tesmora---Halvoren";
// The window's buttons and progress bar, by control id.
constexpr int kImport = 101, kExport = 102, kClose = 103, kBar = 301;

inline std::wstring EnvVar(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

inline std::wstring WindowText(HWND window) {
    wchar_t buffer[2048];
    const int n = ::GetWindowTextW(window, buffer, 2048);
    return std::wstring(buffer, n > 0 ? n : 0);
}

inline std::wstring ClassOf(HWND window) {
    wchar_t buffer[256];
    const int n = ::GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, n > 0 ? n : 0);
}

// Out-of-context event hooks are called from this thread's queue, only
// when it is read.
inline void DispatchQueued() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

template <typename Found>
inline bool WaitFor(Found found, int timeoutMs = kTimeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (found()) return true;
        DispatchQueued();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

struct FoundWindow {
    DWORD pid;
    const wchar_t* className;
    HWND result = nullptr;
};

inline BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* find = reinterpret_cast<FoundWindow*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == find->pid && ::IsWindowVisible(window) && ClassOf(window) == find->className) {
        find->result = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND TopLevelOf(DWORD pid, const wchar_t* className) {
    FoundWindow find{pid, className};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&find));
    return find.result;
}

// The expected layout, in twips, and what each control is.
// One start of the program.
class App {
public:
    explicit App(const std::wstring& folder) {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + folder + L"\\TsSetup.exe\"";
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &si, &pi)) {
            ADD_FAILURE() << "cannot start TsSetup.exe, error " << ::GetLastError();
            return;
        }
        process_.Reset(pi.hProcess);
        ::CloseHandle(pi.hThread);
        pid_ = pi.dwProcessId;
        WaitFor([&] { return (main_ = TopLevelOf(pid_, L"TsSetupForm1")) != nullptr; });
        if (!main_) {
            DWORD code = 0;
            ::GetExitCodeProcess(process_.Get(), &code);
            ADD_FAILURE() << "the window did not appear; process state " << code << ", found by class: "
                          << ::FindWindowW(L"TsSetupForm1", nullptr);
        }
    }
    ~App() {
        if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.Get(), 99);
            ::WaitForSingleObject(process_.Get(), kTimeoutMs);
        }
    }

    HWND Main() const { return main_; }
    // Ends the process at once, as a power user's Task Manager would.
    void Kill() {
        if (!process_) return;
        ::TerminateProcess(process_.Get(), 137);
        ::WaitForSingleObject(process_.Get(), kTimeoutMs);
    }
    HWND Control(int id) const { return ::GetDlgItem(main_, id); }
    // Posted, as a click arrives: the program's own handling may block in a
    // message box, which the test then answers.
    void Click(int id) const { ::PostMessageW(Control(id), BM_CLICK, 0, 0); }
    // The control that has the keyboard focus in the program; none while a
    // window of another thread is in front.
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!main_ || !::GetGUIThreadInfo(::GetWindowThreadProcessId(main_, nullptr), &info))
            return nullptr;
        return info.hwndFocus;
    }
    // Waits until the program's focus is on `control`.
    bool WaitFocus(HWND control) const {
        return WaitFor([&] { return Focus() == control; }, 5000);
    }
    int Bar() const { return static_cast<int>(::SendMessageW(Control(kBar), PBM_GETPOS, 0, 0)); }

    // The next dialog the program shows (a message box or the file dialog).
    HWND WaitDialog() const {
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = TopLevelOf(pid_, L"#32770")) != nullptr; });
        return dialog;
    }
    // Reads the next message box, checks it has OK only and no icon, and
    // presses OK. "" when none came.
    std::wstring AnswerMessage() const {
        HWND box = WaitDialog();
        if (!box) return L"<no message box>";
        const std::wstring text = WindowText(::GetDlgItem(box, 0xFFFF));
        HWND icon = ::GetDlgItem(box, 1088);
        EXPECT_FALSE(icon && ::SendMessageW(icon, STM_GETICON, 0, 0))
            << "the message box shows an icon";
        EXPECT_TRUE(::GetDlgItem(box, IDOK) || ::GetDlgItem(box, IDCANCEL));
        EXPECT_FALSE(::GetDlgItem(box, IDNO) || ::GetDlgItem(box, IDRETRY));
        CloseDialog(box, IDOK);
        return text;
    }
    static void CloseDialog(HWND dialog, int id) {
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
        WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); });
    }
    bool NoDialogFor(int ms) const {
        return !WaitFor([&] { return TopLevelOf(pid_, L"#32770") != nullptr; }, ms);
    }
    // Waits for the process to end; its exit code, or -1 if it did not.
    int WaitExit() const {
        if (!process_ || ::WaitForSingleObject(process_.Get(), kTimeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(process_.Get(), &code);
        return static_cast<int>(code);
    }

    DWORD Pid() const { return pid_; }

private:
    win::UniqueKernel process_;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

// Presses and releases `key` as a keyboard does, with Shift held around it
// when asked: through SendInput, so the keys reach the window in front and
// its GetKeyState sees Shift, as IsDialogMessage asks for Shift+Tab.
inline bool PressKey(WORD key, bool shift = false) {
    INPUT inputs[4]{};
    UINT n = 0;
    auto add = [&](WORD vk, bool up) {
        inputs[n].type = INPUT_KEYBOARD;
        inputs[n].ki.wVk = vk;
        inputs[n].ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        inputs[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++n;
    };
    if (shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift) add(VK_SHIFT, true);
    return ::SendInput(n, inputs, sizeof(INPUT)) == n;
}

// True when `button` draws and acts as the default push button.
inline bool IsDefaultButton(HWND button) {
    return (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

}  // namespace e2e
