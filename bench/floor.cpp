// The floor the benchmarks measure TsSetup.exe against: the least a Win32
// program does to show a window. Started with an AutoCAD folder as its
// command line ("bench_floor.exe C:\Program Files\AutoCAD 2002\"), it also
// does the install's file work when told to (WM_COMMAND 101, as TsSetup's
// button sends): the same files into the same places, each with one CopyFileW,
// then the same "导入完成！" box, and ends. No C++ library, no common
// controls, so its start-up is the platform's own.
#include <windows.h>

namespace {

constexpr int kImport = 101;

wchar_t g_cad[MAX_PATH];  // the AutoCAD folder, ending in "\"; empty: window only
wchar_t g_app[MAX_PATH];  // this program's folder, ending in "\"

// A folder and a name joined into one path.
struct Path {
    wchar_t text[2 * MAX_PATH];
    Path(const wchar_t* folder, const wchar_t* name) {
        ::lstrcpynW(text, folder, MAX_PATH);
        ::lstrcpynW(text + ::lstrlenW(text), name, MAX_PATH);
    }
};

bool Copy(const Path& from, const Path& to) { return ::CopyFileW(from.text, to.text, FALSE); }

// What the install writes, with the platform's copy. The menu is read into
// the program folder and written back, as the install's patch does.
bool CopyAll() {
    bool ok = true;
    const Path data(g_app, L"data\\");
    const wchar_t* const names[] = {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb",
                                    L"TS_DATA.ldb"};
    for (const wchar_t* name : names) ok &= Copy(Path(data.text, name), Path(g_cad, name));
    wchar_t winDir[MAX_PATH], sysDir[MAX_PATH];
    ::GetWindowsDirectoryW(winDir, MAX_PATH);
    ::GetSystemDirectoryW(sysDir, MAX_PATH);
    const Path cpuid(data.text, L"CPUID.dll");
    ok &= Copy(cpuid, Path(winDir, L"\\CPUID.dll"));
    ok &= Copy(cpuid, Path(sysDir, L"\\CPUID.dll"));
    ok &= Copy(cpuid, Path(g_cad, L"CPUID.dll"));

    const Path pictures(g_cad, L"Pictrue\\");
    ::CreateDirectoryW(pictures.text, nullptr);
    const Path source(data.text, L"Pictrue\\");
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW(Path(source.text, L"*").text, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ok &=
                    Copy(Path(source.text, entry.cFileName), Path(pictures.text, entry.cFileName));
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }

    const Path menu(g_cad, L"support\\acad.mns"), menuCopy(g_app, L"acad.mns");
    ok &= Copy(menu, menuCopy) && Copy(menuCopy, menu);

    HANDLE record = ::CreateFileW(Path(g_app, L"INFOFILE").text, GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ok &= record != INVALID_HANDLE_VALUE &&
          ::WriteFile(record, g_cad, ::lstrlenW(g_cad) * sizeof(wchar_t), &written, nullptr);
    if (record != INVALID_HANDLE_VALUE) ::CloseHandle(record);
    return ok;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kImport && g_cad[0]) {
        const bool ok = CopyAll();
        ::MessageBoxW(window, ok ? L"导入完成！" : L"Copy Error!", L"TsSetup", MB_OK);
        ::ExitProcess(0);
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
    ::lstrcpynW(g_cad, commandLine, MAX_PATH);
    const DWORD n = ::GetModuleFileNameW(nullptr, g_app, MAX_PATH);
    for (DWORD i = n; i > 0; --i) {
        if (g_app[i - 1] == L'\\') {
            g_app[i] = 0;
            break;
        }
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"TsBenchFloor";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowW(L"TsBenchFloor", L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, show);
    ::UpdateWindow(window);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
