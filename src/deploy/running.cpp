#include "running.h"

#include <windows.h>

#include <tlhelp32.h>

#include "handles.h"
#include "long_path.h"
#include "module1.h"
#include "payload.h"
#include "reports.h"

namespace deploy {

namespace {

// The file name of a path: what the process list shows of an executable.
std::wstring_view FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring_view(path)
                                       : std::wstring_view(path).substr(slash + 1);
}

// Letter by letter, as the file system compares names: no locale's rules.
bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           module1::UpperCase(std::wstring(a)) == module1::UpperCase(std::wstring(b));
}

// The path as the file system names it: prefixed, separators collapsed, 8.3
// names expanded. Unchanged apart from the prefix when the file is not there.
std::wstring Resolved(const std::wstring& path) {
    const std::wstring prefixed = fileio::LongPath(path);
    std::wstring out(prefixed.size() + 64, L'\0');
    for (;;) {
        const DWORD n = ::GetLongPathNameW(prefixed.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (n == 0) return prefixed;
        if (n < out.size()) {
            out.resize(n);
            return out;
        }
        out.resize(n);
    }
}

using QueryFullProcessImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);

// Windows XP lacks it (Vista and later have it).
QueryFullProcessImageNameFn FindQueryFullProcessImageName() {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<QueryFullProcessImageNameFn>(reinterpret_cast<void*>(
                        ::GetProcAddress(kernel, "QueryFullProcessImageNameW")))
                  : nullptr;
}

}  // namespace

std::wstring ImagePathByQuery(DWORD pid) {
    const QueryFullProcessImageNameFn query = FindQueryFullProcessImageName();
    if (!query) return std::wstring();
    win::UniqueKernel process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (int tries = 0; tries < 4; ++tries) {
        DWORD size = static_cast<DWORD>(path.size());
        if (query(process.Get(), 0, path.data(), &size)) {
            path.resize(size);
            return path;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        path.resize(path.size() * 4);
    }
    return std::wstring();
}

std::wstring ImagePathByModules(DWORD pid) {
    // The list may be changing as it is taken; it is then asked again.
    win::UniqueFile snapshot;
    for (int tries = 0; tries < 4 && !snapshot; ++tries) {
        snapshot.Reset(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
        if (!snapshot && ::GetLastError() != ERROR_BAD_LENGTH) break;
    }
    if (!snapshot) return std::wstring();
    MODULEENTRY32W module{};
    module.dwSize = sizeof(module);
    if (!::Module32FirstW(snapshot.Get(), &module)) return std::wstring();
    return module.szExePath;
}

std::wstring ImagePathOf(DWORD pid) {
    return FindQueryFullProcessImageName() ? ImagePathByQuery(pid) : ImagePathByModules(pid);
}

bool IsProgramRunning(const std::wstring& exePath, ImagePathReader imagePathOf) {
    const std::wstring_view name = FileNameOf(exePath);
    win::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    std::wstring wanted;  // resolved only once a process of that name turns up
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        // The list names each process's executable file; only those of the
        // same name are worth opening.
        if (!SameTextIgnoringCase(entry.szExeFile, name)) continue;
        const std::wstring image = imagePathOf(entry.th32ProcessID);
        if (image.empty()) continue;
        if (wanted.empty()) wanted = Resolved(exePath);
        if (SameTextIgnoringCase(Resolved(image), wanted)) return true;
    }
    return false;
}

bool EndIfCadRunning(Host& host, const std::wstring& cadDir) {
    const std::wstring cadExe = cadDir + payload::kCadExe;
    if (!IsProgramRunning(cadExe)) return false;
    host.MessageShow(CadRunningText(cadExe));
    host.ProgramEnd(Outcome::CadRunning);
    return true;
}

}  // namespace deploy
