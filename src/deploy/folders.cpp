#include "folders.h"

#include <windows.h>
#include <shlobj.h>

#include "cad_find.h"
#include "file_ops.h"
#include "handles.h"

namespace deploy {

namespace {

std::wstring ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    // A drive root keeps its "\" ("C:\"); any other folder loses it.
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

// The shell's answer, not an environment variable's: the program reads none.
// The shell's library is loaded from the System folder only when asked, so
// that the program's start (before any click) does without it.
std::wstring RoamingFolder(const std::wstring& sysDir) {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    const win::UniqueModule shell(::LoadLibraryW((sysDir + L"\\shell32.dll").c_str()));
    const auto getFolderPath = shell ? reinterpret_cast<GetFolderPathFn>(reinterpret_cast<void*>(
                                           ::GetProcAddress(shell.Get(), "SHGetFolderPathW")))
                                     : nullptr;
    wchar_t path[MAX_PATH];
    if (!getFolderPath || getFolderPath(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return std::wstring();
    return path;
}

}  // namespace

std::wstring FoundCad::Label() const {
    const std::wstring folder = dir.substr(0, dir.find_last_not_of(L'\\') + 1);
    const std::wstring name = productName.empty() ? folder.substr(folder.find_last_of(L'\\') + 1) : productName;
    return name + L"  (" + folder + L")";
}

std::vector<std::wstring> SearchRoots(const std::vector<std::wstring>& drives) {
    std::vector<std::wstring> roots;
    for (const std::wstring& drive : drives) {
        roots.push_back(drive + L"\\Program Files");
        roots.push_back(drive + L"\\Program Files (x86)");
    }
    return roots;
}

Folders FoldersFromOs() {
    Folders folders;
    folders.searchRoots = SearchRoots({L"C:", L"D:", L"E:"});
    folders.appDir = ExecutableFolder();
    folders.winDir = fileio::AskOs([](wchar_t* b, DWORD n) { return ::GetWindowsDirectoryW(b, n); });
    folders.sysDir = fileio::AskOs([](wchar_t* b, DWORD n) { return ::GetSystemDirectoryW(b, n); });
    folders.roamingDir = RoamingFolder(folders.sysDir);
    folders.registered = RegisteredCadsOfMachine();
    return folders;
}

}  // namespace deploy
