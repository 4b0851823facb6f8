// Times the library's menu patch, menu::MenuAdd and menu::MenuDel, on a large
// menu file against a plain whole-file read and write (ReadFile, WriteFile) of
// the same file, the two alternating run by run. Prints rows 2a and 2b of the
// table. With --diagnose DATA_DIR it also prints rows D1-D8, which take the
// cost apart (the flush, the transform) and compare the library's FileCopy
// with CopyFileW on the payload in DATA_DIR, and with --lookup-small and
// --lookup-large (two folders of many files) rows D9-D10, the platform's
// costs that the install pays.
// Usage: bench_fileops.exe --work DIR [--runs N] [--warmup N] [--menu-mb N]
//                          [--diagnose DATA_DIR [--lookup-small DIR --lookup-large DIR]]
#include <windows.h>

#include <functional>
#include <memory>

#include "bench_common.h"
#include "file_ops.h"
#include "replacing_writer.h"
#include "side_files.h"
#include "menu_file.h"
#include "menu_text.h"
#include "module1.h"

using namespace bench;

namespace {

// An AutoCAD menu source of about `bytes` bytes: sections ***POP1 to ***POP16
// over and over, each a title and 150 items, labels in code page 936.
std::string MakeMenu(size_t bytes) {
    static const char* const kCommands[] = {"^C^C_line",  "^C^C_circle",  "^C^C_arc",
                                            "^C^C_pline", "^C^C_-insert", "^C^C_dimlinear"};
    std::string text =
        "//\r\n//      AutoCAD menu file - acad.mns\r\n//\r\n***MENUGROUP=ACAD\r\n\r\n";
    char line[128];
    for (int section = 0; text.size() < bytes; ++section) {
        const int pop = section % 16 + 1;
        std::snprintf(line, sizeof line,
                      "***POP%d\r\n**P%d\r\nID_Mn%d     [\xb2\xcb\xb5\xa5%d(&M)]\r\n", pop, pop,
                      pop, pop);
        text += line;
        for (int item = 1; item <= 150; ++item) {
            if (item % 25 == 0) {
                text += "               [--]\r\n";
                continue;
            }
            std::snprintf(line, sizeof line, "ID_Item%d_%d  [\xcf\xee\xc4\xbf%d-%d]%s\r\n", pop,
                          item, pop, item, kCommands[item % 6]);
            text += line;
        }
        text += "\r\n";
    }
    return text;
}

void Check(DWORD error, const char* what) {
    if (error != ERROR_SUCCESS) Fail("%s failed, error %lu", what, error);
}

// Writes `bytes` to `path` in one WriteFile, optionally flushed to the disk.
void PlainWrite(const std::wstring& path, const std::string& bytes, bool flush) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    const bool ok =
        file != INVALID_HANDLE_VALUE &&
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
        (!flush || ::FlushFileBuffers(file));
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!ok || done != bytes.size()) Fail("cannot write %s", Narrow(path).c_str());
}

// Puts on the disk what earlier steps left in the page cache, untimed: a
// timed flush is then paid for the step's own writes only, not for those of
// the step before it.
void FlushFiles(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        ::FlushFileBuffers(file);
        ::CloseHandle(file);
    }
}

// A copy like the library's (module1::FileCopy of a new file: no flush) with
// its choices as parameters: the chunk size, and the temporary file renamed
// onto the target (the library reads 1 MB chunks into a fresh buffer for each
// file, and renames).
void StreamCopy(const std::wstring& from, const std::wstring& to, DWORD chunk, bool viaTemp) {
    HANDLE in = ::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const std::wstring temp = viaTemp ? fileio::TempPathFor(to) : to;
    HANDLE out = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE)
        Fail("cannot copy %s", Narrow(from).c_str());
    std::string buffer(chunk, '\0');
    DWORD got = 0, put = 0;
    while (::ReadFile(in, buffer.data(), chunk, &got, nullptr) && got > 0)
        ::WriteFile(out, buffer.data(), got, &put, nullptr);
    ::CloseHandle(out);
    ::CloseHandle(in);
    if (viaTemp && !::MoveFileExW(temp.c_str(), to.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail("cannot replace %s", Narrow(to).c_str());
}

// MenuAdd as it could be: the runs of lines it leaves as they are go from the
// text it read straight to the temporary file, and only the inserted menu
// lines and rewritten line ends are written on their own, instead of a second
// copy of the whole text being built in memory first. Same bytes out.
void MenuAddInRuns(const std::wstring& from, const std::wstring& to) {
    std::string text;
    Check(fileio::ReadWholeFile(from, text), "ReadWholeFile");
    fileio::ReplacingWriter writer(to);
    Check(writer.Open(), "Open");
    const std::string_view all = text;
    auto write = [&](std::string_view bytes) { Check(writer.Write(bytes), "Write"); };
    size_t run = 0;  // where the text not yet written starts
    std::string_view prev;
    menu::ForEachLine(all, [&](std::string_view line) {
        const size_t start = line.data() - all.data(), end = start + line.size();
        if (line == menu::kPop8Marker && prev != menu::kMenuLine) {
            write(all.substr(run, start - run));
            write(menu::kMenuLine);
            write(menu::kLineEnd);
            run = start;
        }
        if (all.substr(end, 2) != menu::kLineEnd) {  // a lone CR, or no line end at all
            write(all.substr(run, end - run));
            write(menu::kLineEnd);
            run = std::min(end + 1, all.size());
        }
        prev = line;
    });
    write(all.substr(run));
    Check(writer.Commit(), "Commit");
}

// Any message from the library is a copy error.
class FailingHost final : public module1::ModuleHost {
public:
    void MessageShow(const std::wstring& text) override { Fail("%s", Narrow(text).c_str()); }
    void EventsService() override {}
};

// Two ways of doing one thing, timed alternately. `prepare` runs untimed
// before each side.
struct Pair {
    Pair(std::string what, Side a, Side b, std::function<void()> runA, std::function<void()> runB,
         std::function<void()> prepare, double limit = 0, std::string target = "")
        : what(std::move(what)),
          a(std::move(a)),
          b(std::move(b)),
          runA(std::move(runA)),
          runB(std::move(runB)),
          prepare(std::move(prepare)),
          limit(limit),
          target(std::move(target)) {}
    std::string what;
    Side a, b;
    std::function<void()> runA, runB, prepare;
    double limit;
    std::string target;  // none: no verdict
};

double TimeMs(const std::function<void()>& run) {
    const double start = NowMs();
    run();
    return NowMs() - start;
}

// The files of the menu rows, in the work folder.
struct MenuFiles {
    explicit MenuFiles(const std::wstring& work, double megabytes)
        : text(MakeMenu(static_cast<size_t>(megabytes * kMiB))),
          original(work + L"menu\\acad.mns"),
          patched(work + L"menu\\patched.mns"),
          appDir(work + L"app"),
          appCopy(menu::PatchedCopyPath(appDir)),
          plainOut(work + L"plain\\acad.mns") {
        WriteAll(original, text);
        WriteAll(patched, menu::AddMenuLine(text));
    }
    // The plain side of every menu row: the whole file read, then written.
    void ReadWrite(const std::wstring& from) const { PlainWrite(plainOut, ReadAll(from), false); }
    void Settle() const { FlushFiles({plainOut, appCopy}); }

    std::string text;
    std::wstring original, patched, appDir, appCopy, plainOut;
};

std::vector<Pair> MenuRows(const MenuFiles& m) {
    const std::string size = Number(m.text.size() / kMiB) + " MB menu";
    auto settle = [&m] { m.Settle(); };
    std::vector<Pair> rows;
    rows.push_back(Pair{"2a. menu::MenuAdd, " + size + ", over an earlier patched copy (ms)",
                        {"MenuAdd"},
                        {"read + write"},
                        [&m] { Check(menu::MenuAdd(m.appDir, m.original), "MenuAdd"); },
                        [&m] { m.ReadWrite(m.original); },
                        settle,
                        2,
                        "≤ 2×"});
    // MenuDel works on the patched copy, put back before each run.
    rows.push_back(Pair{"2b. menu::MenuDel, " + size + " (ms)",
                        {"MenuDel"},
                        {"read + write"},
                        [&m] {
                            Check(menu::MenuDel(m.appDir, m.appCopy), "MenuDel");
                            if (FileSize(m.appCopy) != static_cast<long long>(m.text.size()))
                                Fail("MenuDel left a file of the wrong size");
                        },
                        [&m] { m.ReadWrite(m.appCopy); },
                        [&m] {
                            ::CopyFileW(m.patched.c_str(), m.appCopy.c_str(), FALSE);
                            m.Settle();
                        },
                        2,
                        "≤ 2×"});
    return rows;
}

// Where the menu rows' time goes, and what an alternative would take, each
// against the same plain read and write.
std::vector<Pair> MenuDiagnostics(const MenuFiles& m) {
    MenuAddInRuns(m.original, m.appCopy);
    if (ReadAll(m.appCopy) != ReadAll(m.patched)) Fail("MenuAddInRuns differs from MenuAdd");
    std::vector<Pair> rows;
    auto add = [&](std::string what, std::string name, std::function<void()> run) {
        rows.push_back(Pair{std::move(what), {std::move(name)}, {"read + write"}, std::move(run),
                            [&m] { m.ReadWrite(m.original); }, [&m] { m.Settle(); }});
    };
    add("D1. read + write + FlushFileBuffers (ms)", "flushed",
        [&m] { PlainWrite(m.plainOut, ReadAll(m.original), true); });
    add("D2. menu::AddMenuLine alone, in memory (ms)", "AddMenuLine",
        [&m] { menu::AddMenuLine(m.text); });
    add("D3. MenuAdd writing unchanged runs straight from the read text (ms)", "in runs",
        [&m] { MenuAddInRuns(m.original, m.appCopy); });
    return rows;
}

// The library's FileCopy against CopyFileW on the payload in `data`, file by
// file into `copyDir`, and variants of it that show where its time goes.
std::vector<Pair> CopyDiagnostics(const std::wstring& data, const std::wstring& copyDir) {
    using Copier = std::function<void(const std::wstring&, const std::wstring&)>;
    static FailingHost host;
    const Copier library = [](const std::wstring& from, const std::wstring& to) {
        module1::FileCopy(from, to, host);
    };
    const Copier platform = [](const std::wstring& from, const std::wstring& to) {
        if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("CopyFileW failed");
    };
    auto chunked = [](DWORD chunk, bool viaTemp) -> Copier {
        return [=](const std::wstring& from, const std::wstring& to) {
            StreamCopy(from, to, chunk, viaTemp);
        };
    };
    auto empty = [copyDir] {
        RemoveFolder(copyDir);
        ::CreateDirectoryW(copyDir.c_str(), nullptr);
    };
    std::vector<Pair> rows;
    auto add = [&](std::string what, std::string name, const std::wstring& from,
                   const std::vector<std::wstring>& names, Copier copy, bool reinstall) {
        auto all = [=](Copier c) {
            return [=] {
                for (const std::wstring& n : names) c(from + n, copyDir + n);
            };
        };
        // A reinstall finds every target there already, and on the disk.
        std::function<void()> prepare = empty;
        if (reinstall) {
            prepare = [=] {
                empty();
                all(platform)();
                std::vector<std::wstring> targets;
                for (const std::wstring& n : names) targets.push_back(copyDir + n);
                FlushFiles(targets);
            };
        }
        rows.push_back(Pair{
            std::move(what), {std::move(name)}, {"CopyFileW"}, all(copy), all(platform), prepare});
    };
    const std::wstring pictureDir = data + L"Pictrue\\";
    const std::vector<std::wstring> mdb = {L"TS_DATA.mdb"}, pictures = FilesIn(pictureDir);
    const std::string many = std::to_string(pictures.size()) + " pictures";
    add("D4. module1::FileCopy of TS_DATA.mdb, new file (ms)", "FileCopy", data, mdb, library,
        false);
    add("D5. module1::FileCopy of " + many + ", new files (ms)", "FileCopy", pictureDir, pictures,
        library, false);
    add("D6. same with 64 KB chunks (ms)", "64 KB chunks", pictureDir, pictures,
        chunked(64 << 10, true), false);
    add("D7. same with 64 KB chunks, written in place, no rename (ms)", "in place", pictureDir,
        pictures, chunked(64 << 10, false), false);
    add("D8. module1::FileCopy of " + many + " over earlier copies (ms)", "FileCopy", pictureDir,
        pictures, library, true);
    return rows;
}

// What Wine's file system costs where the install's remaining time goes:
// - a look-up of a name that is not there (as each new file's name is),
//   in a large folder against a small one: Wine reads the whole folder to
//   rule out the name in another case, so the cost grows with the folder;
// - the flush of a small file (as the install's replacing of AutoCAD's menu
//   does) right after 100 MB were written elsewhere, against on a settled
//   disk: the file system's journal waits for the other file's data first.
std::vector<Pair> PlatformDiagnostics(const std::wstring& smallFolder,
                                      const std::wstring& largeFolder, const std::wstring& work) {
    std::vector<Pair> rows;
    auto lookUps = [](std::wstring folder) {
        return [folder] {
            for (int i = 0; i < 1000; ++i) {
                const std::wstring name = folder + L"absent" + std::to_wstring(i) + L".bmp";
                if (::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES)
                    Fail("%s is there", Narrow(name).c_str());
            }
        };
    };
    const size_t small = FilesIn(smallFolder).size(), large = FilesIn(largeFolder).size();
    rows.push_back(Pair{"D9. 1,000 look-ups of absent names, folder of " + std::to_string(large) +
                            " files against one of " + std::to_string(small) + " (ms)",
                        {std::to_string(large) + " files"},
                        {std::to_string(small) + " files"},
                        lookUps(largeFolder),
                        lookUps(smallFolder),
                        [] {}});
    const std::wstring bulk = work + L"bulk.bin", menuFile = work + L"small.mns";
    const auto bulkBytes = std::make_shared<const std::string>(static_cast<size_t>(100 * kMiB), 'x');
    const std::string menuBytes(2048, 'm');
    rows.push_back(Pair{"D10. write and flush a 2 KB file just after writing 100 MB elsewhere, "
                        "against on a settled disk (ms)",
                        {"after 100 MB"},
                        {"settled"},
                        [=] { PlainWrite(menuFile, menuBytes, true); },
                        [=] { PlainWrite(menuFile, menuBytes, true); },
                        [] {}});
    // Side A's run follows a bulk write; side B's a flushed one. The pair's
    // one prepare runs before each side, so it alternates between the two.
    auto state = std::make_shared<bool>(false);
    rows.back().prepare = [=] {
        *state = !*state;
        PlainWrite(bulk, *bulkBytes, !*state);
    };
    return rows;
}

void RunAlternately(std::vector<Pair>& pairs, int runs, int warmup) {
    for (int i = -warmup; i < runs; ++i) {
        for (Pair& pair : pairs) {
            pair.prepare();
            const double a = TimeMs(pair.runA);
            pair.prepare();
            const double b = TimeMs(pair.runB);
            if (i < 0) continue;
            pair.a.samples.push_back(a);
            pair.b.samples.push_back(b);
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    UseBinaryStdout();
    std::wstring work, data, lookupSmall, lookupLarge;
    int runs = 7, warmup = 1;
    double menuMb = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring arg = argv[i], value = argv[i + 1];
        if (arg == L"--work")
            work = value + L"\\";
        else if (arg == L"--runs")
            runs = _wtoi(value.c_str());
        else if (arg == L"--warmup")
            warmup = _wtoi(value.c_str());
        else if (arg == L"--menu-mb")
            menuMb = _wtof(value.c_str());
        else if (arg == L"--diagnose")
            data = value + L"\\";
        else if (arg == L"--lookup-small")
            lookupSmall = value + L"\\";
        else if (arg == L"--lookup-large")
            lookupLarge = value + L"\\";
        else
            Fail("unknown argument %s", Narrow(arg).c_str());
    }
    if (work.empty()) Fail("--work is missing");
    for (const wchar_t* sub : {L"", L"menu", L"app", L"plain", L"copy"})
        ::CreateDirectoryW((work + sub).c_str(), nullptr);

    const MenuFiles menuFiles(work, menuMb);
    std::vector<Pair> rows = MenuRows(menuFiles), diagnostics;
    if (!data.empty()) {
        diagnostics = MenuDiagnostics(menuFiles);
        for (Pair& pair : CopyDiagnostics(data, work + L"copy\\")) diagnostics.push_back(pair);
        if (!lookupSmall.empty() && !lookupLarge.empty())
            for (Pair& pair : PlatformDiagnostics(lookupSmall, lookupLarge, work))
                diagnostics.push_back(pair);
    }
    // The diagnostics run after the rows, so that what they leave on the disk
    // does not weigh on the rows' flushes.
    RunAlternately(rows, runs, warmup);
    RunAlternately(diagnostics, runs, warmup);
    for (const std::vector<Pair>* list : {&rows, &diagnostics})
        for (const Pair& pair : *list)
            PrintRow(pair.what, pair.a, pair.b, Compare::Ratio, pair.limit, pair.target);
    return 0;
}
