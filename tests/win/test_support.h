// Temporary folders, file helpers and a recording host for the Win32 tests.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "folders.h"
#include "host.h"

namespace test {

// A fresh folder under the temporary folder, removed with all it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
void MakeDirs(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
bool IsDir(const std::wstring& path);

// Every file and folder below `root`, by relative path, with its content
// ("<dir>" for folders): two snapshots are equal when nothing changed.
using Snapshot = std::map<std::wstring, std::string>;
Snapshot Snap(const std::wstring& root);

// The file system's identity of every file below `root`, by relative path: a
// file written anew and renamed into place gets a new one.
std::map<std::wstring, ULONGLONG> FileIds(const std::wstring& root);
ULONGLONG FileId(const std::wstring& path);

// Names of the files (not folders) directly in `folder`, sorted.
std::vector<std::wstring> FileNames(const std::wstring& folder);

// Temporary files of the replacing writer anywhere below `root`.
std::vector<std::wstring> LeftoverTemps(const std::wstring& root);

// A small program of the build copied to `exePath` and started from there,
// standing for a running AutoCAD; ended when this goes.
class RunningStandIn {
public:
    explicit RunningStandIn(const std::wstring& exePath);
    ~RunningStandIn();
    RunningStandIn(const RunningStandIn&) = delete;
    RunningStandIn& operator=(const RunningStandIn&) = delete;
    bool Started() const { return process_ != nullptr; }

private:
    HANDLE process_ = nullptr;
};

// The folder of the running test program, without a trailing "\".
std::wstring OwnFolder();

struct ProgressCall {
    float value;
    bool accepted;
    bool operator==(const ProgressCall& o) const { return value == o.value && accepted == o.accepted; }
};

// Keeps, in order, everything a procedure asks of its window, and answers
// the file dialog from a list prepared by the test.
class RecordingHost final : public deploy::Host {
public:
    explicit RecordingHost(std::wstring appDir) : appDir_(std::move(appDir)) {}

    bool ProgressSet(float value) override;
    float ProgressGet() override { return bar_; }
    void MessageShow(const std::wstring& text) override;
    std::wstring FilePick(const std::wstring& filter) override;
    void EventsService() override { ++eventsServiced; }
    std::optional<std::vector<size_t>> CadsChoose(const std::vector<deploy::FoundCad>& found) override;
    void Note(const std::wstring& text) override { notes.push_back(text); }
    bool Attended() override { return attended; }
    void ProgramEnd(deploy::Outcome outcome) override;
    DWORD MenuAdd(const std::wstring& fileName) override;
    DWORD MenuDel(const std::wstring& fileName) override;

    // Values the bar showed, in order (accepted ones only).
    std::vector<float> Shown() const;

    std::vector<ProgressCall> progress;
    std::vector<std::wstring> messages;
    std::vector<std::wstring> filters;   // one per file-dialog call
    std::vector<std::wstring> pickAnswers;  // "" is a cancel
    int eventsServiced = 0;
    // Called with each value the procedure gives the bar, before it is set.
    std::function<void(float)> onProgress;
    // The AutoCADs each choice offered, and its answer: every one offered
    // unless the test sets one (nothing is a cancel).
    std::vector<std::vector<deploy::FoundCad>> offered;
    std::optional<std::optional<std::vector<size_t>>> chooseAnswer;
    std::vector<std::wstring> notes;
    bool attended = true;
    bool ended = false;
    deploy::Outcome outcome = deploy::Outcome::Done;
    bool calledAfterEnd = false;

private:
    void NoteCall() { calledAfterEnd |= ended; }
    std::wstring appDir_;
    float bar_ = 1.0f;
};

// Runs one procedure with a fresh recording host and checks that it ended
// the program and asked nothing of the window after that.
RecordingHost RunToEnd(void (*procedure)(deploy::Host&, const deploy::Folders&),
                       const deploy::Folders& folders);

// A sandbox laid out as the program finds the world: three drives whose
// "Program Files" and "Program Files (x86)" are searched, a program folder
// with its payload, a Windows folder and a System folder, all inside one
// temporary folder.
struct Sandbox {
    Sandbox();
    TempDir dir;
    deploy::Folders folders;
    std::wstring ProgramFiles(wchar_t drive) const;
    // Makes an AutoCAD folder with a menu file under C:'s Program Files and
    // returns it with its trailing "\".
    std::wstring MakeCad(const std::wstring& name, const std::string& menu);
    // Puts the add-on's files and `pictures` pictures into the payload.
    void MakePayload(int pictures);
    std::wstring Payload(const std::wstring& name) const { return folders.PayloadDir() + name; }
};

// A record's bytes without its lines that name the files it wrote by their
// size and last-write time, which a test does not know beforehand.
std::optional<std::string> WithoutFingerprints(const std::optional<std::string>& record);

// A file of ../shared by its Linux path (which Wine's Z: drive shows), as
// it is; nothing when it is not there.
std::optional<std::string> SharedFile(const std::wstring& linuxPath);

// Every part of a .cuix package by name with its unpacked bytes; nothing
// when the package cannot be read whole.
std::optional<std::map<std::string, std::string>> PackageParts(const std::optional<std::string>& zip);

// The same without the package's listing of part dates, which a change
// re-dates: what must come back after an install and an uninstall.
std::optional<std::map<std::string, std::string>> PartsWithoutDates(const std::optional<std::string>& zip);

// A copy of the package at `path`, for the readers that are not ours
// (Python's zipfile and .NET's packaging API), which the test script runs
// on the folder TS_E2E_PACKAGES names once the tests have ended; nothing
// where that is not set.
void KeepForOtherReaders(const std::wstring& path, const std::wstring& label);

inline const std::string kSampleMenu =
    "***MENUGROUP=ACAD\r\n***POP7\r\n**DRAW\r\nID_Line [&Line]^C^C_line\r\n\r\n***POP8\r\n"
    "**DIMENSION\r\nID_Dim [&Dimension]^C^C_dim\r\n";

}  // namespace test
