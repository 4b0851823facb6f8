#include "log_host.h"

#include "encoding.h"
#include "file_ops.h"
#include "handles.h"
#include "long_path.h"
#include "menu_file.h"
#include "messages.h"
#include "module1.h"
#include "procedures.h"
#include "progress.h"

namespace app {

namespace {

std::wstring FullPath(const std::wstring& path) {
    return fileio::AskOs(
        [&](wchar_t* b, DWORD n) { return ::GetFullPathNameW(path.c_str(), n, b, nullptr); });
}

// Writes `value` as `digits` decimal digits, with leading zeros, at `at`.
void PutDigits(wchar_t* at, int digits, unsigned value) {
    for (; digits > 0; value /= 10) at[--digits] = static_cast<wchar_t>(L'0' + value % 10);
}

// "2024-05-01 08:30:15  " for now, in local time: the start of an entry.
std::wstring EntryStart() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[] = L"0000-00-00 00:00:00  ";
    PutDigits(text, 4, now.wYear);
    PutDigits(text + 5, 2, now.wMonth);
    PutDigits(text + 8, 2, now.wDay);
    PutDigits(text + 11, 2, now.wHour);
    PutDigits(text + 14, 2, now.wMinute);
    PutDigits(text + 17, 2, now.wSecond);
    return text;
}

// The log's last entry.
[[noreturn]] void EndWith(const Log& log, int code) {
    wchar_t text[] = L"退出代码：00";
    const int digits = code >= 10 ? 2 : 1;
    PutDigits(text + 5, digits, static_cast<unsigned>(code));
    text[5 + digits] = L'\0';
    log.Write(text);
    ::ExitProcess(static_cast<UINT>(code));
}

class LogHost final : public deploy::Host {
  public:
    LogHost(const Log& log, const deploy::Folders& folders) : log_(log), folders_(folders) {}

    bool ProgressSet(float value) override {
        if (!progress::InRange(value)) return false;
        progress_ = value;
        return true;
    }
    float ProgressGet() override { return progress_; }

    void MessageShow(const std::wstring& text) override {
        copyFailed_ |= text == module1::kCopyError;
        log_.Write(text);
    }
    void Note(const std::wstring& text) override { log_.Write(text); }

    // Nobody follows the run: no folder is guessed at or asked for.
    bool Attended() override { return false; }

    // Never asked: the run ends as one where none was picked.
    std::wstring FilePick(const std::wstring&) override { return std::wstring(); }

    // Every AutoCAD the window would offer, as the window offers them: all.
    std::optional<std::vector<size_t>> CadsChoose(
        const std::vector<deploy::FoundCad>& found) override {
        std::vector<size_t> all(found.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = i;
        return all;
    }

    // No window whose events would wait.
    void EventsService() override {}

    void ProgramEnd(deploy::Outcome outcome) override {
        EndWith(log_, ExitCodeOf(outcome, copyFailed_));
    }

    DWORD MenuAdd(const std::wstring& fileName) override {
        return menu::MenuAdd(folders_.appDir, fileName, *this);
    }
    DWORD MenuDel(const std::wstring& fileName) override {
        return menu::MenuDel(folders_.appDir, fileName, *this);
    }

  private:
    const Log& log_;
    const deploy::Folders& folders_;
    float progress_ = progress::kMin;
    bool copyFailed_ = false;
};

}  // namespace

int ExitCodeOf(deploy::Outcome outcome, bool copyFailed) {
    switch (outcome) {
        case deploy::Outcome::Done:
            return copyFailed ? kExitIncomplete : kExitDone;
        case deploy::Outcome::Incomplete:
            return kExitIncomplete;
        case deploy::Outcome::CadRunning:
            return kExitCadRunning;
        case deploy::Outcome::NoCad:
            return kExitNoCad;
        case deploy::Outcome::NoRoom:
            return kExitNoRoom;
        case deploy::Outcome::Stopped:
            break;
    }
    return kExitStopped;
}

Log::Log(const CommandLine& commandLine) {
    if (!commandLine.log.empty()) {
        path_ = FullPath(commandLine.log);
    } else {
        const std::wstring temp = fileio::AskOs([](wchar_t* b, DWORD n) { return ::GetTempPathW(n, b); });
        if (!temp.empty()) path_ = temp + (temp.back() == L'\\' ? L"" : L"\\") + L"TsSetup.log";
    }
}

void Log::Write(const std::wstring& text) const {
    if (path_.empty()) return;
    std::wstring entry = EntryStart();
    entry += text;
    entry += L"\r\n";
    // Appends only, and shares the file: a second copy that logs its exit
    // code, or a person reading the log meanwhile, loses nothing.
    const win::UniqueFile file(::CreateFileW(
        fileio::LongPath(path_).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    // Notepad reads a file without the mark in the ANSI code page.
    LARGE_INTEGER size{};
    const bool fresh = ::GetFileSizeEx(file.Get(), &size) && size.QuadPart == 0;
    const std::string bytes = enc::ToUtf8(fresh ? L"\uFEFF" + entry : entry);
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void RunWithoutWindow(const CommandLine& commandLine, const wchar_t* text) {
    // A drive without its disk fails its listing instead of asking, in a box,
    // for the disk.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const Log log(commandLine);
    // Where a run begins, in a log that several runs append to.
    log.Write(std::wstring(L"TsSetup ") + text);
    try {
        deploy::Folders folders = deploy::FoldersFromOs();
        // Each named folder as the file system takes it, ending in "\".
        for (const std::wstring& dir : commandLine.dirs) {
            std::wstring full = FullPath(dir);
            if (full.empty()) full = dir;
            if (full.back() != L'\\') full += L'\\';
            folders.namedCads.push_back(std::move(full));
        }
        LogHost host(log, folders);
        if (commandLine.action == Action::Install) {
            deploy::CadImport(host, folders);
        } else {
            deploy::CadExport(host, folders);
        }
    } catch (...) {
        // Every file was written whole or not at all; the log must say that
        // the run did not finish, as the window would.
        log.Write(deploy::text::kInterrupted);
    }
    // The procedures end the program themselves: one that returned, or threw,
    // did not finish.
    EndWith(log, kExitStopped);
}

void EndAsOtherCopyRuns(const CommandLine& commandLine) {
    const Log log(commandLine);
    log.Write(L"另一个TsSetup正在运行：本次没有做任何事。");
    EndWith(log, kExitOtherCopy);
}

}  // namespace app
