// Measures TsSetup.exe against minimal Win32 programs doing the same work, and
// against an NSIS installer of the same payload, all alternating run by run:
// - the install, from the click on "导入CAD" to the "导入完成！" box, against
//   bench_floor.exe writing each file through a temporary file beside it as
//   TsSetup does, against a bare program that only copies the files in
//   place, timed inside itself, and (for information) against those copies
//   from a window's click to its box;
// - the install, from the click, against the NSIS installer as a whole
//   silent process (CreateProcess to its exit), and for information
//   TsSetup.exe as a whole process too (CreateProcess to the box);
// - the start-up (process start to the visible window) against
//   bench_window.exe, the same window and nothing else, and (for
//   information) against an empty window, in --start-runs rounds;
// - the install into two AutoCADs, both taken in the choice, against the
//   install into one, from the click to the box;
// - the peak working set;
// - with --growth, how the install's time per picture grows with the number
//   of pictures, against the temporary-file floor.
// Prints rows 1, 3, 5 and 6 of the table; with --trace, the timeline of one
// install of each to stderr.
// Before every timed run of every side, the machine's dirty pages are
// written out (--sync), so that no side pays for the last one's writeback.
// Usage: bench_driver.exe [--runs N] [--start-runs N] [--warmup N] [--trace] [--sync MARK]
//                         [--nsis EXE --nsis-about TEXT | --nsis-missing TEXT]
//                         [--growth DIST RUNS]...
//   --start-runs N     rounds of the start-ups (default: --runs)
//   --sync MARK        the Linux path of a file a sync makes once it is done
//   --nsis EXE         the NSIS installer of the payload
//   --nsis-about TEXT  which NSIS built it
//   --nsis-missing TEXT why there is none: the NSIS row says so
//   --growth DIST RUNS a distribution folder laid out as C:\TsSetup\ with
//                      another number of pictures, and how many runs it gets;
//                      the first one given is the reference of the others
// Works on the world scripts/bench.sh lays out: C:\TsSetup\ holding
// TsSetup.exe, bench_floor.exe, bench_window.exe and data\, and
// C:\Program Files\AutoCAD 2002\.
#include <windows.h>

#include <psapi.h>

#include <cstdlib>
#include <functional>

#include "bench_common.h"

using namespace bench;

namespace {

const std::wstring kDist = L"C:\\TsSetup\\";
const std::wstring kData = kDist + L"data\\";
const std::wstring kCad = L"C:\\Program Files\\AutoCAD 2002\\";
// A second AutoCAD, there only while an install into two is timed.
const std::wstring kCad2 = L"C:\\Program Files\\AutoCAD 2014\\";
const wchar_t* const kCadFiles[] = {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb",
                                    L"acad.dvb",    L"TS_DATA.ldb", L"CPUID.dll"};
constexpr wchar_t kTemp[] = L"~TsSetup.tmp";
constexpr wchar_t kDone[] = L"导入完成！";
constexpr int kImport = 101;
constexpr DWORD kTimeoutMs = 5 * 60 * 1000;  // only a hang ends a wait
constexpr double kGrowthLimit = 1.1;
constexpr DWORD kSettleMs = 100;

enum class Kind {
    kProduct,  // TsSetup.exe: its button, its menu patch
    kFloor,    // bench_floor.exe or bench_window.exe
    kPeer,     // the NSIS installer: no window, done when it ends
    kBare,     // bench_floor.exe --bare: the copies alone, timed inside itself
};

// The Linux path of the file that tells the machine's writeback is done
// (--sync); empty: no sync before the timed runs.
std::wstring g_syncMark;

// Writes every dirty page of the machine out (Linux's sync) and waits for
// it, so that no side pays for the writeback of what the side before it
// left unflushed. Wine starts a Linux program but cannot wait for one: the
// shell it starts makes a mark once sync has returned, and that is awaited.
void SyncMachine() {
    if (g_syncMark.empty()) return;
    std::wstring mark = L"Z:" + g_syncMark;
    for (wchar_t& c : mark)
        if (c == L'/') c = L'\\';
    ::DeleteFileW(mark.c_str());
    std::wstring command = L"/bin/sh -c \"sync && : > '" + g_syncMark + L"'\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi))
        Fail("cannot start /bin/sh for sync, error %lu", ::GetLastError());
    if (pi.hThread) ::CloseHandle(pi.hThread);
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    const double end = NowMs() + kTimeoutMs;
    while (::GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (NowMs() > end) Fail("sync did not end");
        ::Sleep(2);
    }
    ::DeleteFileW(mark.c_str());
}

struct Program {
    std::string name;
    std::wstring dist;  // its folder: the working folder, data\ and INFOFILE
    std::wstring commandLine;
    const wchar_t* windowClass;
    const wchar_t* caption;
    Kind kind;
};

std::wstring WinDir() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, ::GetWindowsDirectoryW(buffer, MAX_PATH));
}

std::wstring SysDir() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH));
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// One started program; terminated if it still runs when dropped. With
// `error`, a program that cannot start says so there instead of ending the
// benchmark.
class Child {
public:
    explicit Child(const Program& program, std::string* error = nullptr) : name_(program.name) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring command = program.commandLine;
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             program.dist.c_str(), &si, &pi_))
            return;
        const DWORD code = ::GetLastError();
        if (!error) Fail("cannot start %s, error %lu", name_.c_str(), code);
        *error = "cannot start, error " + std::to_string(code);
    }
    ~Child() {
        if (!pi_.hProcess) return;
        End();
        ::CloseHandle(pi_.hThread);
        ::CloseHandle(pi_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pi_.hProcess != nullptr; }
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

    // Ends the program if it still runs, and waits until it has.
    void End() const {
        if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(pi_.hProcess, 99);
            ::WaitForSingleObject(pi_.hProcess, kTimeoutMs);
        }
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

// The text of a message box.
std::string BoxText(HWND box) {
    wchar_t text[256] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), text, 256);
    return Narrow(text);
}

// Puts the world back as it was before any install from `dist`, so that
// every run does the same work.
void ResetWorld(const std::wstring& dist, const std::string& menu) {
    for (const wchar_t* name : kCadFiles) {
        ::DeleteFileW((kCad + name).c_str());
        ::DeleteFileW((kCad + name + kTemp).c_str());
    }
    RemoveFolder(kCad + L"Pictrue\\");
    for (const std::wstring& folder : {WinDir(), SysDir()}) {
        ::DeleteFileW((folder + L"\\CPUID.dll").c_str());
        ::DeleteFileW((folder + L"\\CPUID.dll" + kTemp).c_str());
    }
    for (const wchar_t* name : {L"INFOFILE", L"acad.mns"}) {
        ::DeleteFileW((dist + name).c_str());
        ::DeleteFileW((dist + name + kTemp).c_str());
    }
    ::DeleteFileW((kCad + L"support\\acad.mns" + kTemp).c_str());
    WriteAll(kCad + L"support\\acad.mns", menu);
    // The second AutoCAD goes whole: a run of one AutoCAD must find one.
    for (const wchar_t* name : kCadFiles) ::DeleteFileW((kCad2 + name).c_str());
    RemoveFolder(kCad2 + L"Pictrue\\");
    for (const wchar_t* name : {L"acad.exe", L"support\\acad.mns"}) ::DeleteFileW((kCad2 + name).c_str());
    ::RemoveDirectoryW((kCad2 + L"support").c_str());
    ::RemoveDirectoryW(kCad2.c_str());
}

// The world of an install into two AutoCADs: the second with its own menu.
void AddSecondCad(const std::string& menu) {
    ::CreateDirectoryW(kCad2.c_str(), nullptr);
    ::CreateDirectoryW((kCad2 + L"support").c_str(), nullptr);
    WriteAll(kCad2 + L"acad.exe", "placeholder for acad.exe\r\n");
    WriteAll(kCad2 + L"support\\acad.mns", menu);
}

// What a run left missing, or nothing when everything arrived. A run that
// did not install everything measures nothing.
std::string Missing(const Program& program) {
    const std::wstring data = program.dist + L"data\\";
    for (const wchar_t* name : kCadFiles) {
        if (FileSize(kCad + name) != FileSize(data + name))
            return Narrow(name) + " missing or incomplete after the install";
    }
    if (FilesIn(kCad + L"Pictrue\\").size() != FilesIn(data + L"Pictrue\\").size())
        return "pictures missing after the install";
    if (FileSize(WinDir() + L"\\CPUID.dll") < 0 || FileSize(SysDir() + L"\\CPUID.dll") < 0 ||
        (program.kind != Kind::kBare && FileSize(program.dist + L"INFOFILE") <= 0))
        return "CPUID.dll or INFOFILE missing after the install";
    if (program.kind == Kind::kProduct &&
        ReadAll(kCad + L"support\\acad.mns").find("ID_TSDRAW") == std::string::npos)
        return "the menu was not patched";
    return std::string();
}

void CheckInstalled(const Program& program) {
    const std::string missing = Missing(program);
    if (!missing.empty()) Fail("%s: %s", program.name.c_str(), missing.c_str());
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
            {"TS_DATA.mdb temp file written in full", has(kCad + L"TS_DATA.mdb" + kTemp, mdb)},
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
    double ms;       // the measured span
    double wholeMs;  // an install's: from CreateProcess to the box
    double peakMb;
};

// Start-up: from CreateProcess to the visible window. The program is then
// ended rather than closed: under Xvfb, without a window manager, Wine waits
// 2 s for a closing window to be withdrawn, which would measure nothing.
Run StartUp(const Program& program) {
    Run run{};
    {
        const double start = NowMs();
        Child child(program);
        child.WaitFor([&] { return child.Visible(program.windowClass, program.caption); },
                      "its window");
        const double ms = NowMs() - start;
        ::WaitForInputIdle(child.Process(), 10000);
        run = {ms, ms, child.PeakWorkingSetMb()};
    }
    // Wine and the X server take down an ended program's window after its
    // process is gone; the next start, always of the same program in these
    // turns, would otherwise share the machine with that.
    ::Sleep(kSettleMs);
    return run;
}

// How an install's program goes once it has shown its "done" box.
enum class Ending {
    kAnswered,  // the box answered, and the program must end by itself with 0
    kEnded,     // ended by the benchmark: under Xvfb, without a window manager,
                // Wine waits 2 s for each closing window to be withdrawn
};

// The install: from the click to the "done" box, whose moment also gives the
// peak working set; then ends the program and checks what was installed,
// which was all written before the box.
// How the world is when an install starts.
enum class Over {
    kNothing,    // as before any install
    kInstalled,  // as the last install left it: a user's second click
};

Run Install(const Program& program, const std::string& menu, Timeline* timeline,
            Ending ending = Ending::kEnded, Over over = Over::kNothing, bool twoCads = false) {
    if (over == Over::kNothing) ResetWorld(program.dist, menu);
    if (twoCads) AddSecondCad(menu);
    SyncMachine();
    const double created = NowMs();
    Child child(program);
    HWND window = child.WaitFor([&] { return child.Visible(program.windowClass, program.caption); },
                                "its window");
    ::WaitForInputIdle(child.Process(), 10000);
    HWND button = ::GetDlgItem(window, kImport);
    const bool product = program.kind == Kind::kProduct;
    if (product && !button) Fail("%s has no button %d", program.name.c_str(), kImport);

    const double start = NowMs();
    if (product) {
        ::PostMessageW(button, BM_CLICK, 0, 0);
    } else {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kImport, BN_CLICKED), 0);
    }
    if (twoCads) {
        // Both AutoCADs are taken as soon as the choice shows them.
        HWND choice = child.WaitFor([&] { return child.Visible(L"#32770", L"选择AutoCAD"); }, "the choice");
        ::PostMessageW(choice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(choice, IDOK)));
        child.WaitFor([&] { return ::IsWindowVisible(choice) ? nullptr : choice; }, "the choice closed");
    }
    HWND box = child.WaitFor(
        [&] {
            if (timeline) timeline->Poll(NowMs() - start);
            return child.Visible(L"#32770", nullptr);
        },
        "the message box");
    const double end = NowMs();
    const Run run{end - start, end - created, child.PeakWorkingSetMb()};

    const std::string text = BoxText(box);
    if (text != Narrow(kDone))
        Fail("%s said \"%s\" instead of the install's end", program.name.c_str(), text.c_str());
    if (ending == Ending::kAnswered) {
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
        child.WaitExit();
    } else {
        child.End();
    }
    CheckInstalled(program);
    if (twoCads && FilesIn(kCad2 + L"Pictrue\\").size() != FilesIn(program.dist + L"data\\Pictrue\\").size())
        Fail("%s: pictures missing in the second AutoCAD", program.name.c_str());
    if (timeline) timeline->Print(program.name, run.ms);
    return run;
}

// The peer's install, a whole process with no window: from CreateProcess to
// its end. What went wrong, or nothing when it installed everything; a box it
// shows (an error it would ask about) ends it rather than waiting for an
// answer.
std::string PeerInstall(const Program& program, const std::string& menu, double& ms) {
    ResetWorld(program.dist, menu);
    SyncMachine();
    const double start = NowMs();
    std::string error;
    Child child(program, &error);
    if (!child.Started()) return error;
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(child.Process(), 20);
        if (waited == WAIT_OBJECT_0) break;
        if (waited != WAIT_TIMEOUT) return "cannot wait for it";
        if (HWND box = child.Visible(L"#32770", nullptr))
            return "it showed a box, \"" + BoxText(box) + "\"";
        if (NowMs() - start > kTimeoutMs) return "it did not end";
    }
    ms = NowMs() - start;
    DWORD code = 1;
    if (!::GetExitCodeProcess(child.Process(), &code) || code != 0)
        return "it ended with exit code " + std::to_string(code);
    return Missing(program);
}

// The bare copies: what the program measured itself, from its first copy
// to its last, into an AutoCAD folder that holds none of the files.
Run BareInstall(const Program& program, const std::string& menu) {
    ResetWorld(program.dist, menu);
    const std::wstring timing = program.dist + L"bare-floor-ms.txt";
    ::DeleteFileW(timing.c_str());
    SyncMachine();
    {
        Child child(program);
        child.WaitExit();
    }
    CheckInstalled(program);
    const double ms = std::atof(ReadAll(timing).c_str());
    if (ms <= 0) Fail("%s gave no time", program.name.c_str());
    return Run{ms, ms, 0};
}

long long LargestPayloadFile(const std::wstring& data) {
    long long largest = 0;
    for (const std::wstring& name : FilesIn(data))
        largest = std::max(largest, FileSize(data + name));
    return largest;
}

std::string PicturesText(const std::wstring& data) {
    const std::vector<std::wstring> pictures = FilesIn(data + L"Pictrue\\");
    long long pictureBytes = 0;
    for (const std::wstring& name : pictures) pictureBytes += FileSize(data + L"Pictrue\\" + name);
    return std::to_string(pictures.size()) + " pictures of " +
           Number(pictureBytes / 1024.0 / std::max<size_t>(pictures.size(), 1)) + " KB";
}

std::string PayloadText(const std::wstring& data) {
    return Number(LargestPayloadFile(data) / kMiB) + " MB TS_DATA.mdb, " + PicturesText(data);
}

double MedianRatio(const Side& a, const Side& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i)
        ratios.push_back(a.samples[i] / b.samples[i]);
    return Summarize(ratios).median;
}

// The row of the NSIS peer, or, when there is none, the row that says why.
void PrintPeerRow(const std::string& what, const Side& product, const Side& peer,
                  const std::string& missing, double limit, const std::string& target) {
    if (missing.empty()) {
        PrintRow(what, product, peer, Compare::Ratio, limit, target);
        return;
    }
    std::printf("| %s | %s: %s | %s: %s | — | %s | %s |\n", what.c_str(),
                product.name.c_str(), Describe(Summarize(product.samples)).c_str(),
                peer.name.c_str(), missing.c_str(), target.empty() ? "—" : target.c_str(),
                limit > 0 ? "not measured" : "—");
    std::fflush(stdout);
}

// One payload of the growth rows: its programs and their time per picture.
struct Growth {
    std::wstring dist;
    int runs;
    size_t pictures;
    Program product, floor;
    Side a{"TsSetup.exe"}, b{"temp-file floor"};
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    UseBinaryStdout();
    int runs = 7, startRuns = 0, warmup = 1;
    bool trace = false;
    std::wstring nsisExe;
    std::string nsisAbout = "NSIS", nsisMissing;
    std::vector<Growth> growth;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--runs" && i + 1 < argc)
            runs = _wtoi(argv[++i]);
        else if (arg == L"--start-runs" && i + 1 < argc)
            startRuns = _wtoi(argv[++i]);
        else if (arg == L"--warmup" && i + 1 < argc)
            warmup = _wtoi(argv[++i]);
        else if (arg == L"--trace")
            trace = true;
        else if (arg == L"--sync" && i + 1 < argc)
            g_syncMark = argv[++i];
        else if (arg == L"--nsis" && i + 1 < argc)
            nsisExe = argv[++i];
        else if (arg == L"--nsis-about" && i + 1 < argc)
            nsisAbout = Narrow(argv[++i]);
        else if (arg == L"--nsis-missing" && i + 1 < argc)
            nsisMissing = Narrow(argv[++i]);
        else if (arg == L"--growth" && i + 2 < argc) {
            Growth g;
            g.dist = argv[++i];
            if (g.dist.back() != L'\\') g.dist += L'\\';
            g.runs = _wtoi(argv[++i]);
            growth.push_back(std::move(g));
        } else
            Fail("unknown argument %s", Narrow(arg).c_str());
    }
    if (startRuns <= 0) startRuns = runs;
    const std::string menu = ReadAll(kCad + L"support\\acad.mns");
    auto floorOf = [](const std::wstring& dist, const std::string& name, const wchar_t* mode) {
        return Program{name,
                       dist,
                       Quoted(dist + L"bench_floor.exe") + L" " + mode + kCad,
                       L"TsBenchFloor",
                       L"Floor",
                       Kind::kFloor};
    };
    auto productOf = [](const std::wstring& dist) {
        return Program{"TsSetup.exe",         dist,          Quoted(dist + L"TsSetup.exe"),
                       L"TsSetupForm1", L"Tesmora---Halvoren", Kind::kProduct};
    };
    const Program product = productOf(kDist);
    const Program emptyWindow{"empty window",  kDist,    Quoted(kDist + L"bench_floor.exe"),
                              L"TsBenchFloor", L"Floor", Kind::kFloor};
    const Program sameWindow{"same window",         kDist,          Quoted(kDist + L"bench_window.exe"),
                             L"TsBenchWindowFloor", L"Window floor", Kind::kFloor};
    const Program tempFloor = floorOf(kDist, "temp-file floor", L"--temp ");
    const Program durableFloor = floorOf(kDist, "durable floor", L"--durable ");
    const Program inPlaceFloor{"CopyFileW in place, bare",
                               kDist,
                               Quoted(kDist + L"bench_floor.exe") + L" --bare " + kCad,
                               nullptr,
                               nullptr,
                               Kind::kBare};
    const Program inPlaceWindow = floorOf(kDist, "CopyFileW in place, window", L"");
    const Program nsis{"NSIS installer", kDist, Quoted(nsisExe), nullptr, nullptr, Kind::kPeer};
    if (nsisExe.empty() && nsisMissing.empty()) nsisMissing = "no installer given";
    for (Growth& g : growth) {
        g.pictures = FilesIn(g.dist + L"data\\Pictrue\\").size();
        if (g.pictures == 0) Fail("no pictures in %s", Narrow(g.dist).c_str());
        g.product = productOf(g.dist);
        g.floor = floorOf(g.dist, "temp-file floor", L"--temp ");
    }

    // Wine's desktop process starts with the prefix's first window: not part
    // of any measurement.
    StartUp(emptyWindow);

    Side startA{"TsSetup.exe"}, startSame{"same window"}, startEmpty{"empty window"};
    Side memA{"TsSetup.exe at the box"}, memB{"empty window"};
    for (int i = -warmup; i < startRuns; ++i) {
        const Run a = StartUp(product), same = StartUp(sameWindow), empty = StartUp(emptyWindow);
        if (i < 0) continue;
        startA.samples.push_back(a.ms);
        startSame.samples.push_back(same.ms);
        startEmpty.samples.push_back(empty.ms);
        memB.samples.push_back(empty.peakMb);
    }

    Side installA{"TsSetup.exe"}, installTemp{"temp-file floor"}, installDurable{"durable floor"},
        installInPlace{"CopyFileW in place, bare"}, installInPlaceWindow{"CopyFileW in place, window"},
        againA{"TsSetup.exe, second install"},
        firstA{"TsSetup.exe, first install"}, twoA{"TsSetup.exe, two AutoCADs"},
        oneA{"TsSetup.exe, one AutoCAD"};
    Side wholeA{"TsSetup.exe"}, wholeNsis{"NSIS installer"};
    for (int i = -warmup; i < runs; ++i) {
        // Once, the program is seen to its own end after the box.
        const Run a =
            Install(product, menu, nullptr, i == -warmup ? Ending::kAnswered : Ending::kEnded);
        // The user clicks "导入CAD" again over the finished install.
        const Run again = Install(product, menu, nullptr, Ending::kEnded, Over::kInstalled);
        const Run two = Install(product, menu, nullptr, Ending::kEnded, Over::kNothing, true);
        const Run temp = Install(tempFloor, menu, nullptr);
        const Run durable = Install(durableFloor, menu, nullptr);
        double nsisMs = 0;
        if (nsisMissing.empty()) {
            const std::string failed = PeerInstall(nsis, menu, nsisMs);
            if (!failed.empty()) nsisMissing = "failed: " + failed;
        }
        const Run inPlace = BareInstall(inPlaceFloor, menu);
        const Run inPlaceClick = Install(inPlaceWindow, menu, nullptr);
        if (i < 0) continue;
        installInPlaceWindow.samples.push_back(inPlaceClick.ms);
        installA.samples.push_back(a.ms);
        installTemp.samples.push_back(temp.ms);
        installDurable.samples.push_back(durable.ms);
        againA.samples.push_back(again.ms);
        twoA.samples.push_back(two.ms);
        oneA.samples.push_back(a.ms);
        firstA.samples.push_back(a.ms);
        installInPlace.samples.push_back(inPlace.ms);
        memA.samples.push_back(a.peakMb);
        wholeA.samples.push_back(a.wholeMs);
        wholeNsis.samples.push_back(nsisMs);
    }

    // The first payload warms up; every payload gets its runs, the smaller
    // ones first in each round, so that the rounds pair them up.
    int growthRuns = 0;
    for (const Growth& g : growth) growthRuns = std::max(growthRuns, g.runs);
    for (int i = growth.empty() ? 0 : -warmup; i < growthRuns; ++i) {
        for (Growth& g : growth) {
            if (i >= g.runs || (i < 0 && &g != &growth.front())) continue;
            const Run a = Install(g.product, menu, nullptr);
            const Run b = Install(g.floor, menu, nullptr);
            if (i < 0) continue;
            g.a.samples.push_back(a.ms / g.pictures);
            g.b.samples.push_back(b.ms / g.pictures);
        }
    }

    const double memLimit = LargestPayloadFile(kData) / kMiB + 16;
    PrintRow("1. Install, " + PayloadText(kData) +
                 ": click to \"导入完成！\", against CopyFileW to a temporary file and "
                 "MoveFileExW over the target (ms)",
             installA, installTemp, Compare::Ratio, 1.05, "≤ 1.05×");
    // The user starts TsSetup.exe and then clicks; a silent NSIS installer
    // starts and installs. So the click starts TsSetup's install, and the
    // start of the process NSIS's.
    PrintPeerRow("1b. Install against " + nsisAbout +
                     " (stored, silent): TsSetup.exe from the click to \"导入完成！\", NSIS "
                     "from CreateProcess to the process's end (ms)",
                 installA, wholeNsis, nsisMissing, 0.85, "≤ 0.85×");
    PrintRow("1e. Install as row 1, against the durable floor: each temporary file also "
             "flushed (FlushFileBuffers) before its rename, as TsSetup.exe does (ms)",
             installA, installDurable, Compare::Ratio, 1.05, "≤ 1.05×");
    PrintRow("7. A second install over the finished first one, against the first install, "
             "same rounds (ms)",
             againA, firstA, Compare::Ratio, 0.2, "≤ 0.2×");
    PrintRow("8. Install into two AutoCADs (both taken in the choice, each with its own menu), "
             "against the install into one, same rounds, click to \"导入完成！\" (ms)",
             twoA, oneA, Compare::Ratio, 1.8, "≤ 1.8×");
    PrintRow("1c. Install as row 1, against a bare program copying the same files with "
             "CopyFileW in place into an empty folder (no window, menu, record or box), "
             "timed inside itself from its first copy to its last (ms)",
             installA, installInPlace, Compare::Ratio, 1.2, "≤ 1.2×");
    PrintRow("1f. Install as row 1, against the same copies from a window's click to its box, "
             "with its menu and record (ms, information)",
             installA, installInPlaceWindow, Compare::Ratio, 0, "");
    PrintPeerRow("1d. Install as row 1b, TsSetup.exe also from CreateProcess (its start-up "
                     "to the window, and the click, included) (ms, information)",
                 wholeA, wholeNsis, nsisMissing, 0, "");
    const std::string startRounds = std::to_string(startRuns) + " run(s)";
    PrintRow("3. Start-up: CreateProcess to visible window, against the same window and "
             "controls alone, " + startRounds + " (ms)",
             startA, startSame, Compare::Ratio, 1.05, "≤ 1.05×");
    PrintRow("3b. Start-up as row 3, against an empty window, " + startRounds +
                 " (ms, information)",
             startA, startEmpty, Compare::Ratio, 0, "");
    PrintRow("5. Peak working set, A − B (MB)", memA, memB, Compare::Difference, memLimit,
             "≤ " + Number(memLimit) + " MB (largest file + 16)");

    if (!growth.empty()) {
        const Growth& first = growth.front();
        const double firstRatio = MedianRatio(first.a, first.b);
        char letter = 'a';
        for (const Growth& g : growth) {
            const std::string what = std::string("6") + letter++ + ". Install's growth, " +
                                     PicturesText(g.dist + L"data\\") +
                                     ", small files of 4 KB: click to \"导入完成！\" per "
                                     "picture, " +
                                     std::to_string(g.runs) + " run(s) (ms)";
            if (&g == &first) {
                PrintRow(what, g.a, g.b, Compare::Ratio, 0, "");
            } else {
                PrintRow(what, g.a, g.b, Compare::Ratio, kGrowthLimit * firstRatio,
                         "≤ " + Number(kGrowthLimit) + " × row 6a's " + Number(firstRatio) +
                             "× = " + Number(kGrowthLimit * firstRatio) + "×");
            }
        }
        const Growth& last = growth.back();
        if (&last != &first) {
            Side lastA{"TsSetup.exe, " + std::to_string(last.pictures)},
                firstA{"TsSetup.exe, " + std::to_string(first.pictures)};
            lastA.samples = last.a.samples;
            firstA.samples = first.a.samples;
            const std::string counts =
                std::to_string(last.pictures) + " against " + std::to_string(first.pictures);
            PrintRow(std::string("6") + letter++ + ". TsSetup.exe's ms per picture, " + counts +
                         " pictures, same rounds",
                     lastA, firstA, Compare::Ratio, kGrowthLimit,
                     "≤ " + Number(kGrowthLimit) + "×");
            // What the platform's own copy does over the same counts: the
            // part of the growth that is Wine's.
            Side lastB{"temp-file floor, " + std::to_string(last.pictures)},
                firstB{"temp-file floor, " + std::to_string(first.pictures)};
            lastB.samples = last.b.samples;
            firstB.samples = first.b.samples;
            PrintRow(std::string("6") + letter + ". The temp-file floor's ms per picture, " +
                         counts + " pictures, same rounds (information)",
                     lastB, firstB, Compare::Ratio, 0, "");
        }
    }

    if (trace) {
        for (const Program* program : {&product, &tempFloor}) {
            Timeline timeline;
            Install(*program, menu, &timeline);
        }
        ResetWorld(kDist, menu);
    }
    return 0;
}
