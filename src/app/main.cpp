#include <windows.h>

#include <commctrl.h>

#include "command_line.h"
#include "form1.h"
#include "handles.h"
#include "log_host.h"

namespace {

// Libraries load from the System folder only, so a DLL planted in the
// download folder beside the program is never picked up. The call exists
// from Windows 8 on (and on 7 with its update), hence the lookup.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");
}

// Names the running copy in this session. The system drops the name with the
// last handle, so a copy that was killed never blocks the next start.
constexpr wchar_t kRunningMutex[] = L"Local\\Tesmora.TsSetup.Running";

// Brings the running copy's window (or the message box or dialog it shows)
// to the front. The first copy may still be creating its window.
void ShowRunningCopy() {
    HWND window = nullptr;
    for (int i = 0; i < 40 && !(window = ::FindWindowW(app::kWindowClass, nullptr)); ++i) ::Sleep(50);
    if (!window) return;
    if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(::GetLastActivePopup(window));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int show) {
    // Without arguments, the window; /install and /uninstall run without it.
    const wchar_t* const commandText = arguments ? arguments : L"";
    const app::CommandLine commandLine = app::ParseCommandLine(commandText);
    if (commandLine.action == app::Action::Invalid) return app::kExitInvalidCommandLine;
    if (commandLine.action == app::Action::Usage) {
        RestrictDllSearch();
        ::MessageBoxW(nullptr, app::kUsage, app::kMessageTitle, MB_OK);
        return 0;
    }
    const bool windowless = commandLine.action != app::Action::Window;
    // Two copies at once would copy over and delete each other's files.
    const win::UniqueKernel running(::CreateMutexW(nullptr, FALSE, kRunningMutex));
    if (running && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        // A script hears it from the exit code; no window comes forward.
        if (windowless) app::EndAsOtherCopyRuns(commandLine);
        ShowRunningCopy();
        return 0;
    }
    RestrictDllSearch();
    if (windowless) app::RunWithoutWindow(commandLine, commandText);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    app::Form1 form;
    if (!form.Create(instance, show)) return 1;

    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!form.DialogMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
