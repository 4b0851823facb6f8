#include <gtest/gtest.h>

#include "file_ops.h"
#include "side_files.h"
#include "handles.h"
#include "progress.h"
#include "cuix_package.h"
#include "menu_file.h"
#include "test_support.h"

namespace test {

TempDir::TempDir() {
    wchar_t base[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, base);
    static unsigned serial = 0;
    for (;;) {
        path_ = std::wstring(base) + L"tstest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial);
        if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no temp folder");
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry{};
    win::UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find.Get(), &entry));
    }
    find.Reset();
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
}

void MakeDirs(const std::wstring& path) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    ::CreateDirectoryW(path.c_str(), nullptr);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "cannot create test file, error " << ::GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
    std::string content;
    if (fileio::ReadWholeFile(path, content) != ERROR_SUCCESS) return std::nullopt;
    return content;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDir(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

template <typename Visit>
void Walk(const std::wstring& root, const std::wstring& relative, Visit& visit) {
    WIN32_FIND_DATAW entry{};
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    win::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring rel = relative.empty() ? name : relative + L"\\" + name;
        const bool dir = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        visit(rel, dir);
        if (dir) Walk(root, rel, visit);
    } while (::FindNextFileW(find.Get(), &entry));
}

}  // namespace

Snapshot Snap(const std::wstring& root) {
    Snapshot snapshot;
    auto visit = [&](const std::wstring& rel, bool dir) {
        snapshot[rel] = dir ? "<dir>" : ReadBytes(root + L"\\" + rel).value_or("<unreadable>");
    };
    Walk(root, L"", visit);
    return snapshot;
}

ULONGLONG FileId(const std::wstring& path) {
    win::UniqueFile file(::CreateFileW(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return 0;
    return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

std::map<std::wstring, ULONGLONG> FileIds(const std::wstring& root) {
    std::map<std::wstring, ULONGLONG> ids;
    for (const auto& [path, content] : Snap(root))
        if (content != "<dir>") ids[path] = FileId(root + L"\\" + path);
    return ids;
}

std::vector<std::wstring> FileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    win::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (::FindNextFileW(find.Get(), &entry));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> LeftoverTemps(const std::wstring& root) {
    std::vector<std::wstring> temps;
    const std::wstring suffix = fileio::TempPathFor(L"");
    auto visit = [&](const std::wstring& rel, bool) {
        if (rel.size() >= suffix.size() && rel.compare(rel.size() - suffix.size(), suffix.size(), suffix) == 0)
            temps.push_back(rel);
    };
    Walk(root, L"", visit);
    return temps;
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring own(path, n);
    return own.substr(0, own.find_last_of(L'\\'));
}

RunningStandIn::RunningStandIn(const std::wstring& exePath) {
    const std::wstring standIn = OwnFolder() + L"\\stand_in.exe";
    if (!::CopyFileW(standIn.c_str(), exePath.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy stand_in.exe beside the test, error " << ::GetLastError();
        return;
    }
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exePath + L"\"";
    if (!::CreateProcessW(exePath.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start the stand-in, error " << ::GetLastError();
        return;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    ::WaitForInputIdle(process_, 5000);
}

RunningStandIn::~RunningStandIn() {
    if (!process_) return;
    ::TerminateProcess(process_, 0);
    ::WaitForSingleObject(process_, 10000);
    ::CloseHandle(process_);
}

bool RecordingHost::ProgressSet(float value) {
    NoteCall();
    if (onProgress) onProgress(value);
    const bool accepted = progress::InRange(value);
    progress.push_back({value, accepted});
    if (accepted) bar_ = value;
    return accepted;
}

void RecordingHost::MessageShow(const std::wstring& text) {
    NoteCall();
    messages.push_back(text);
}

std::wstring RecordingHost::FilePick(const std::wstring& filter) {
    NoteCall();
    filters.push_back(filter);
    if (pickAnswers.empty()) return std::wstring();
    std::wstring answer = pickAnswers.front();
    pickAnswers.erase(pickAnswers.begin());
    return answer;
}

std::optional<std::vector<size_t>> RecordingHost::CadsChoose(const std::vector<deploy::FoundCad>& found) {
    NoteCall();
    offered.push_back(found);
    if (chooseAnswer) return *chooseAnswer;
    std::vector<size_t> all;
    for (size_t i = 0; i < found.size(); ++i) all.push_back(i);
    return all;
}

void RecordingHost::ProgramEnd(deploy::Outcome how) {
    NoteCall();
    ended = true;
    outcome = how;
}

DWORD RecordingHost::MenuAdd(const std::wstring& fileName) {
    NoteCall();
    return menu::MenuAdd(appDir_, fileName, *this);
}

DWORD RecordingHost::MenuDel(const std::wstring& fileName) {
    NoteCall();
    return menu::MenuDel(appDir_, fileName, *this);
}

std::vector<float> RecordingHost::Shown() const {
    std::vector<float> shown;
    for (const ProgressCall& call : progress)
        if (call.accepted) shown.push_back(call.value);
    return shown;
}

RecordingHost RunToEnd(void (*procedure)(deploy::Host&, const deploy::Folders&),
                       const deploy::Folders& folders) {
    RecordingHost host(folders.appDir);
    procedure(host, folders);
    EXPECT_TRUE(host.ended);
    EXPECT_FALSE(host.calledAfterEnd);
    return host;
}

Sandbox::Sandbox() {
    folders.searchRoots = deploy::SearchRoots({dir / L"C", dir / L"D", dir / L"E"});
    MakeDirs(ProgramFiles(L'C'));
    folders.appDir = dir / L"app";
    folders.winDir = dir / L"windows";
    folders.sysDir = dir / L"windows\\system32";
    folders.roamingDir = dir / L"roaming";
    MakeDirs(folders.appDir + L"\\data");
    MakeDirs(folders.sysDir);
}

std::wstring Sandbox::ProgramFiles(wchar_t drive) const {
    return dir / (std::wstring(1, drive) + L"\\Program Files");
}

std::wstring Sandbox::MakeCad(const std::wstring& name, const std::string& menu) {
    const std::wstring cad = ProgramFiles(L'C') + L"\\" + name + L"\\";
    MakeDirs(cad + L"support");
    WriteBytes(cad + L"support\\acad.mns", menu);
    return cad;
}

void Sandbox::MakePayload(int pictures) {
    const std::wstring data = folders.PayloadDir();
    for (const wchar_t* name :
         {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb", L"CPUID.dll"}) {
        std::string content = "content of ";
        for (const wchar_t* c = name; *c; ++c) content += static_cast<char>(*c);
        WriteBytes(data + name, content);
    }
    WriteBytes(data + L"TS_DATA.ldb", "");  // a lock file is empty
    MakeDirs(data + L"Pictrue");
    for (int i = 0; i < pictures; ++i)
        WriteBytes(data + L"Pictrue\\p" + std::to_wstring(i) + L".jpg",
                   "picture " + std::to_string(i));
}

std::optional<std::string> WithoutFingerprints(const std::optional<std::string>& record) {
    if (!record) return record;
    std::string kept;
    for (size_t at = 0; at < record->size();) {
        size_t end = record->find('\n', at);
        end = end == std::string::npos ? record->size() : end + 1;
        if (record->compare(at, 6, ":file ") != 0) kept.append(*record, at, end - at);
        at = end;
    }
    return kept;
}

std::optional<std::string> SharedFile(const std::wstring& linuxPath) {
    std::wstring path;
    for (const wchar_t c : linuxPath) path += c == L'/' ? L'\\' : c;
    return ReadBytes(path);
}

std::optional<std::map<std::string, std::string>> PackageParts(const std::optional<std::string>& zip) {
    std::vector<std::string> names;
    if (!zip || cuix::ListParts(*zip, names) != cuix::Refusal::None) return std::nullopt;
    std::map<std::string, std::string> parts;
    for (const std::string& name : names)
        if (cuix::ReadPart(*zip, name, parts[name]) != cuix::Refusal::None) return std::nullopt;
    return parts;
}

std::optional<std::map<std::string, std::string>> PartsWithoutDates(const std::optional<std::string>& zip) {
    std::optional<std::map<std::string, std::string>> parts = PackageParts(zip);
    if (parts) parts->erase(std::string(cuix::kInfoName));
    return parts;
}

void KeepForOtherReaders(const std::wstring& path, const std::wstring& label) {
    wchar_t folder[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"TS_E2E_PACKAGES", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    // Numbered, so that no copy replaces another of the same label.
    static int kept = 0;
    const std::wstring copy =
        std::wstring(folder) + L"\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
        std::to_wstring(++kept) + L"-" + label + L".cuix";
    EXPECT_TRUE(::CopyFileW(path.c_str(), copy.c_str(), FALSE)) << "kept for the other readers";
}

}  // namespace test
