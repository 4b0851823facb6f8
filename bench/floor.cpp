// The floor the benchmarks measure TsSetup.exe against: the least a Win32
// program does to show a window. Started with an AutoCAD folder as its
// command line ("bench_floor.exe C:\Program Files\AutoCAD 2002\"), it also
// does the install's file work when told to (WM_COMMAND 101, as TsSetup's
// button sends): the same files into the same places, each with one CopyFileW,
// then the same "导入完成！" box, and ends. With "--temp" before the folder,
// each file goes as TsSetup's do, never half-written: CopyFileW to
// "<target>~TsSetup.tmp" beside the target, then one MoveFileExW over it.
// With "--durable", each temporary file is also flushed to the disk
// (FlushFileBuffers) before it is renamed, so a power cut never leaves an
// empty file at a target: the least a copy that survives a power cut costs.
// With "--bare" before the folder it shows no window and writes no menu, no
// record and no box: it copies only the files, each with one CopyFileW in
// place, into an AutoCAD folder that holds none of them, times itself from
// before its first copy to after its last, writes the milliseconds to
// "bare-floor-ms.txt" in its own folder and ends (0 when every copy
// worked): the least any install of these files costs, timed as a user
// would time a program doing only that.
// No C++ library, no common controls, so its start-up is the platform's own.
#include <windows.h>

namespace {

constexpr int kImport = 101;

wchar_t g_cad[MAX_PATH];  // the AutoCAD folder, ending in "\"; empty: window only
wchar_t g_app[MAX_PATH];  // this program's folder, ending in "\"
bool g_temp = false;      // through a temporary file beside each target
bool g_durable = false;   // that temporary file flushed before its rename
bool g_bare = false;      // the copies alone, no window, timed inside

// A folder and a name joined into one path.
struct Path {
    wchar_t text[2 * MAX_PATH];
    Path(const wchar_t* folder, const wchar_t* name) {
        ::lstrcpynW(text, folder, 2 * MAX_PATH);
        const int n = ::lstrlenW(text);
        ::lstrcpynW(text + n, name, 2 * MAX_PATH - n);
    }
};

// The temporary file's name is TsSetup's, so both leave the same traces.
constexpr wchar_t kTempSuffix[] = L"~TsSetup.tmp";

bool Flush(const Path& file) {
    HANDLE handle = ::CreateFileW(file.text, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::FlushFileBuffers(handle);
    ::CloseHandle(handle);
    return ok;
}

bool Replace(const Path& temp, const Path& to) {
    return (!g_durable || Flush(temp)) && ::MoveFileExW(temp.text, to.text, MOVEFILE_REPLACE_EXISTING);
}

bool Copy(const Path& from, const Path& to) {
    if (!g_temp) return ::CopyFileW(from.text, to.text, FALSE);
    const Path temp(to.text, kTempSuffix);
    return ::CopyFileW(from.text, temp.text, FALSE) && Replace(temp, to);
}

// The install record: this folder's path, whole or not at all.
bool WriteRecord() {
    const Path record(g_app, L"INFOFILE");
    const Path temp(record.text, kTempSuffix);
    const Path& written = g_temp ? temp : record;
    HANDLE file = ::CreateFileW(written.text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const DWORD bytes = ::lstrlenW(g_cad) * sizeof(wchar_t);
    const bool ok = ::WriteFile(file, g_cad, bytes, &done, nullptr) && done == bytes &&
                    (!g_durable || ::FlushFileBuffers(file));
    ::CloseHandle(file);
    return ok && (!g_temp || ::MoveFileExW(temp.text, record.text, MOVEFILE_REPLACE_EXISTING));
}

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

    if (g_bare) return ok;
    const Path menu(g_cad, L"support\\acad.mns"), menuCopy(g_app, L"acad.mns");
    ok &= Copy(menu, menuCopy) && Copy(menuCopy, menu);

    ok &= WriteRecord();
    return ok;
}

// The copies alone, timed from the first to the last; the milliseconds go
// to a file beside this program, as text.
int BareCopies() {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const bool ok = CopyAll();
    ::QueryPerformanceCounter(&end);
    const long long micro = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
    char text[32];
    const int n = ::wsprintfA(text, "%d.%03d", static_cast<int>(micro / 1000), static_cast<int>(micro % 1000));
    HANDLE file = ::CreateFileW(Path(g_app, L"bare-floor-ms.txt").text, GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD done = 0;
    const bool written = ::WriteFile(file, text, static_cast<DWORD>(n), &done, nullptr);
    ::CloseHandle(file);
    return ok && written ? 0 : 1;
}

// What follows `prefix` at the start of `text`, or null when it does not start so.
const wchar_t* AfterPrefix(const wchar_t* text, const wchar_t* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix) return nullptr;
    return text;
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
    if (const wchar_t* rest = AfterPrefix(commandLine, L"--temp ")) {
        g_temp = true;
        commandLine = const_cast<PWSTR>(rest);
    } else if (const wchar_t* rest = AfterPrefix(commandLine, L"--durable ")) {
        g_temp = g_durable = true;
        commandLine = const_cast<PWSTR>(rest);
    } else if (const wchar_t* rest = AfterPrefix(commandLine, L"--bare ")) {
        g_bare = true;
        commandLine = const_cast<PWSTR>(rest);
    }
    ::lstrcpynW(g_cad, commandLine, MAX_PATH);
    const DWORD n = ::GetModuleFileNameW(nullptr, g_app, MAX_PATH);
    for (DWORD i = n; i > 0; --i) {
        if (g_app[i - 1] == L'\\') {
            g_app[i] = 0;
            break;
        }
    }
    if (g_bare) return BareCopies();

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
