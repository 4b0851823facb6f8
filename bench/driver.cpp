// Measures TsSetup.exe against bench_floor.exe, the minimal Win32 program
// doing the same work, the two alternating run by run: the install (the click
// on "导入CAD" to the "导入完成！" box), the start-up (process start to the
// visible window) and the peak working set. Prints rows 1, 3 and 5 of the
// table; with --trace, the timeline of one install of each to stderr.
// Usage: bench_driver.exe [--runs N] [--warmup N] [--trace]
// Works on the world scripts/bench.sh lays out: C:\TsSetup\ holding
// TsSetup.exe, bench_floor.exe and data\, and C:\Program Files\AutoCAD 2002\.
#include <windows.h>

#include <psapi.h>

#include <functional>

#include "bench_common.h"

using namespace bench;

namespace {

const std::wstring kDist = L"C:\\TsSetup\\";
const std::wstring kData = kDist + L"data\\";
const std::wstring kCad = L"C:\\Program Files\\AutoCAD 2002\\";
const wchar_t* const kCadFiles[] = {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb",
                                    L"acad.dvb",    L"TS_DATA.ldb", L"CPUID.dll"};
constexpr wchar_t kDone[] = L"导入完成！";
constexpr int kImport = 101;
constexpr DWORD kTimeoutMs = 5 * 60 * 1000;  // only a hang ends a wait

struct Program {
    std::string name;
    std::wstring commandLine;
    const wchar_t* windowClass;
    const wchar_t* caption;
    bool isProduct;
};

std::wstring WinDir() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, ::GetWindowsDirectoryW(buffer, MAX_PATH));
}

std::wstring SysDir() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH));
}

// One started program; terminated if it still runs when dropped.
class Child {
public:
    explicit Child(const Program& program) : name_(program.name) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring command = program.commandLine;
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              kDist.c_str(), &si, &pi_))
            Fail("cannot start %s, error %lu", name_.c_str(), ::GetLastError());
    }
    ~Child() {
        if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(pi_.hProcess, 99);
            ::WaitForSingleObject(pi_.hProcess, kTimeoutMs);
        }
        ::CloseHandle(pi_.hThread);
        ::CloseHandle(pi_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    HANDLE Process() const { return pi_.hProcess; }

    // A visible top-level window of this process.
    HWND Visible(const wchar_t* windowClass, const wchar_t* caption) const {
        for (HWND w = nullptr;
             (w = ::FindWindowExW(nullptr, w, windowClass, caption)) != nullptr;) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (pid == pi_.dwProcessId && ::IsWindowVisible(w)) return w;
        }
        return nullptr;
    }

    // Polls `found` every millisecond until it yields a window.
    HWND WaitFor(const std::function<HWND()>& found, const char* what) const {
        const double end = NowMs() + kTimeoutMs;
        for (;;) {
            if (HWND window = found()) return window;
            if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0)
                Fail("%s ended before showing %s", name_.c_str(), what);
            if (NowMs() > end) Fail("%s did not show %s", name_.c_str(), what);
            ::Sleep(1);
        }
    }

    double PeakWorkingSetMb() const {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!::GetProcessMemoryInfo(pi_.hProcess, &counters, sizeof counters))
            Fail("cannot read the memory counters of %s", name_.c_str());
        return counters.PeakWorkingSetSize / kMiB;
    }

    void WaitExit() const {
        DWORD code = 1;
        if (::WaitForSingleObject(pi_.hProcess, kTimeoutMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(pi_.hProcess, &code) || code != 0)
            Fail("%s did not end cleanly (exit code %lu)", name_.c_str(), code);
    }

private:
    std::string name_;
    PROCESS_INFORMATION pi_{};
};

// Puts the world back as it was before any install, so that every run does
// the same work.
void ResetWorld(const std::string& menu) {
    for (const wchar_t* name : kCadFiles) {
        ::DeleteFileW((kCad + name).c_str());
        ::DeleteFileW((kCad + name + L"~TsSetup.tmp").c_str());
    }
    RemoveFolder(kCad + L"Pictrue\\");
    ::DeleteFileW((WinDir() + L"\\CPUID.dll").c_str());
    ::DeleteFileW((SysDir() + L"\\CPUID.dll").c_str());
    ::DeleteFileW((kDist + L"INFOFILE").c_str());
    ::DeleteFileW((kDist + L"acad.mns").c_str());
    WriteAll(kCad + L"support\\acad.mns", menu);
}

// A run that did not install everything measures nothing.
void CheckInstalled(const Program& program) {
    for (const wchar_t* name : kCadFiles) {
        if (FileSize(kCad + name) != FileSize(kData + name))
            Fail("%s: %s missing or incomplete after the install", program.name.c_str(),
                 Narrow(name).c_str());
    }
    if (FilesIn(kCad + L"Pictrue\\").size() != FilesIn(kData + L"Pictrue\\").size())
        Fail("%s: pictures missing after the install", program.name.c_str());
    if (FileSize(WinDir() + L"\\CPUID.dll") < 0 || FileSize(SysDir() + L"\\CPUID.dll") < 0 ||
        FileSize(kDist + L"INFOFILE") <= 0)
        Fail("%s: CPUID.dll or INFOFILE missing after the install", program.name.c_str());
    if (program.isProduct &&
        ReadAll(kCad + L"support\\acad.mns").find("ID_TSDRAW") == std::string::npos)
        Fail("%s: the menu was not patched", program.name.c_str());
}

// When each step of an install became visible on disk, polled while waiting
// for the "done" box.
class Timeline {
public:
    Timeline() {
        const long long mdb = FileSize(kData + L"TS_DATA.mdb");
        const std::vector<std::wstring> pictures = FilesIn(kData + L"Pictrue\\");
        const std::wstring pictureDir = kCad + L"Pictrue\\";
        auto has = [](std::wstring path, long long size) {
            return [path, size] { return size < 0 ? FileSize(path) > 0 : FileSize(path) == size; };
        };
        events_ = {
            {"TS_DATA.mdb temp file written in full", has(kCad + L"TS_DATA.mdb~TsSetup.tmp", mdb)},
            {"TS_DATA.mdb in place", has(kCad + L"TS_DATA.mdb", mdb)},
            {"CPUID.dll in the AutoCAD folder", has(kCad + L"CPUID.dll", -1)},
            {"first picture in place", has(pictureDir + pictures.front(), -1)},
            {"last picture in place", has(pictureDir + pictures.back(), -1)},
            {"menu copy in the program folder", has(kDist + L"acad.mns", -1)},
            {"INFOFILE written", has(kDist + L"INFOFILE", -1)},
        };
    }
    void Poll(double ms) {
        for (Event& e : events_)
            if (e.at < 0 && e.happened()) e.at = ms;
    }
    void Print(const std::string& name, double totalMs) const {
        std::fprintf(stderr, "%s, ms after the click:\n", name.c_str());
        for (const Event& e : events_)
            if (e.at >= 0) std::fprintf(stderr, "  %8.1f  %s\n", e.at, e.label);
        std::fprintf(stderr, "  %8.1f  message box shown\n", totalMs);
    }

private:
    struct Event {
        const char* label;
        std::function<bool()> happened;
        double at = -1;
    };
    std::vector<Event> events_;
};

struct Run {
    double ms;
    double peakMb;
};

// Start-up: from CreateProcess to the visible window. The program is then
// ended rather than closed: under Xvfb, without a window manager, Wine waits
// 2 s for a closing window to be withdrawn, which would measure nothing.
Run StartUp(const Program& program) {
    const double start = NowMs();
    Child child(program);
    child.WaitFor([&] { return child.Visible(program.windowClass, program.caption); },
                  "its window");
    const double ms = NowMs() - start;
    ::WaitForInputIdle(child.Process(), 10000);
    return {ms, child.PeakWorkingSetMb()};
}

// The install: from the click to the "done" box, whose moment also gives the
// peak working set; then answers the box and checks what was installed.
Run Install(const Program& program, const std::string& menu, Timeline* timeline) {
    ResetWorld(menu);
    Child child(program);
    HWND window = child.WaitFor([&] { return child.Visible(program.windowClass, program.caption); },
                                "its window");
    ::WaitForInputIdle(child.Process(), 10000);
    HWND button = ::GetDlgItem(window, kImport);
    if (program.isProduct && !button) Fail("%s has no button %d", program.name.c_str(), kImport);

    const double start = NowMs();
    if (program.isProduct) {
        ::PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kImport, BN_CLICKED), 0);
    }
    HWND box = child.WaitFor(
        [&] {
            if (timeline) timeline->Poll(NowMs() - start);
            return child.Visible(L"#32770", nullptr);
        },
        "the message box");
    const Run run{NowMs() - start, child.PeakWorkingSetMb()};

    wchar_t text[256] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), text, 256);
    if (std::wstring(text) != kDone)
        Fail("%s said \"%s\" instead of the install's end", program.name.c_str(),
             Narrow(text).c_str());
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
    child.WaitExit();
    CheckInstalled(program);
    if (timeline) timeline->Print(program.name, run.ms);
    return run;
}

long long LargestPayloadFile() {
    long long largest = 0;
    for (const std::wstring& name : FilesIn(kData))
        largest = std::max(largest, FileSize(kData + name));
    return largest;
}

std::string PayloadText() {
    const std::vector<std::wstring> pictures = FilesIn(kData + L"Pictrue\\");
    long long pictureBytes = 0;
    for (const std::wstring& name : pictures) pictureBytes += FileSize(kData + L"Pictrue\\" + name);
    return Number(LargestPayloadFile() / kMiB) + " MB TS_DATA.mdb, " +
           std::to_string(pictures.size()) + " pictures of " +
           Number(pictureBytes / 1024.0 / std::max<size_t>(pictures.size(), 1)) + " KB";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    UseBinaryStdout();
    int runs = 7, warmup = 1;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--runs" && i + 1 < argc)
            runs = _wtoi(argv[++i]);
        else if (arg == L"--warmup" && i + 1 < argc)
            warmup = _wtoi(argv[++i]);
        else if (arg == L"--trace")
            trace = true;
        else
            Fail("unknown argument %s", Narrow(arg).c_str());
    }
    const std::string menu = ReadAll(kCad + L"support\\acad.mns");
    const std::wstring floorExe = L"\"" + kDist + L"bench_floor.exe\"";
    const Program product{"TsSetup.exe", L"\"" + kDist + L"TsSetup.exe\"", L"TsSetupForm1",
                          L"Tesmora---Halvoren", true};
    const Program emptyWindow{"empty window", floorExe, L"TsBenchFloor", L"Floor", false};
    const Program copyFloor{"CopyFileW floor", floorExe + L" " + kCad, L"TsBenchFloor", L"Floor",
                            false};

    // Wine's desktop process starts with the prefix's first window: not part
    // of any measurement.
    StartUp(emptyWindow);

    Side startA{"TsSetup.exe"}, startB{"empty window"};
    Side memA{"TsSetup.exe at the box"}, memB{"empty window"};
    Side installA{"TsSetup.exe"}, installB{"CopyFileW floor"};
    for (int i = -warmup; i < runs; ++i) {
        const Run a = StartUp(product), b = StartUp(emptyWindow);
        if (i < 0) continue;
        startA.samples.push_back(a.ms);
        startB.samples.push_back(b.ms);
        memB.samples.push_back(b.peakMb);
    }
    for (int i = -warmup; i < runs; ++i) {
        const Run a = Install(product, menu, nullptr), b = Install(copyFloor, menu, nullptr);
        if (i < 0) continue;
        installA.samples.push_back(a.ms);
        installB.samples.push_back(b.ms);
        memA.samples.push_back(a.peakMb);
    }

    const double memLimit = LargestPayloadFile() / kMiB + 16;
    PrintRow("1. Install, " + PayloadText() + ": click to \"导入完成！\" (ms)", installA, installB,
             Compare::Ratio, 1.15, "≤ 1.15×");
    PrintRow("3. Start-up: CreateProcess to visible window (ms)", startA, startB, Compare::Ratio,
             1.2, "≤ 1.2×");
    PrintRow("5. Peak working set, A − B (MB)", memA, memB, Compare::Difference, memLimit,
             "≤ " + Number(memLimit) + " MB (largest file + 16)");

    if (trace) {
        for (const Program* program : {&product, &copyFloor}) {
            Timeline timeline;
            Install(*program, menu, &timeline);
        }
        ResetWorld(menu);
    }
    return 0;
}
