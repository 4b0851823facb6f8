#include "cad_menus.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "file_ops.h"
#include "handles.h"
#include "long_path.h"
#include "module1.h"
#include "payload.h"

namespace deploy {

namespace {

// The releases whose profiles hold an acad.mns.
constexpr const wchar_t* kMenuReleases[] = {L"R16.0", L"R16.1"};

// The names of the plain subfolders of `folder` (ending in "\").
std::vector<std::wstring> SubfolderNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    module1::ForEachEntry(folder, [&](const module1::Entry& entry) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(entry.name);
    });
    return names;
}

// The last name of `cadDir`, without its trailing "\".
std::wstring FolderName(const std::wstring& cadDir) {
    const std::wstring folder = cadDir.substr(0, cadDir.find_last_not_of(L'\\') + 1);
    return folder.substr(folder.find_last_of(L'\\') + 1);
}

}  // namespace

std::optional<std::wstring> ReleaseOfProgram(const std::wstring& exePath) {
    // Loaded as data only: nothing of it runs, and a program of the other
    // bitness loads as well. The loader of older Windows takes no "\\?\"
    // path, so only a path too long without it gets one.
    const std::wstring path = exePath.size() < MAX_PATH ? exePath : fileio::LongPath(exePath);
    win::UniqueModule module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return std::nullopt;
    HRSRC found = ::FindResourceW(module.Get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!found) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module.Get(), found);
    const auto* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    const DWORD size = ::SizeofResource(module.Get(), found);
    // VS_VERSIONINFO: three WORDs, the key "VS_VERSION_INFO" with its NUL,
    // padding to a DWORD boundary, then the fixed part.
    constexpr size_t kFixedAt = (3 * sizeof(WORD) + sizeof(L"VS_VERSION_INFO") + 3) & ~size_t{3};
    VS_FIXEDFILEINFO fixed;
    if (!data || size < kFixedAt + sizeof(fixed)) return std::nullopt;
    std::memcpy(&fixed, data + kFixedAt, sizeof(fixed));
    if (fixed.dwSignature != 0xFEEF04BD) return std::nullopt;
    const DWORD major = HIWORD(fixed.dwFileVersionMS), minor = LOWORD(fixed.dwFileVersionMS);
    if (major > 99 || minor > 9) return std::nullopt;
    std::wstring release = L"R";
    if (major >= 10) release += static_cast<wchar_t>(L'0' + major / 10);
    release += static_cast<wchar_t>(L'0' + major % 10);
    release += L'.';
    release += static_cast<wchar_t>(L'0' + minor);
    return release;
}

CadMenus FindCadMenus(const std::wstring& cadDir, const std::wstring& roamingDir) {
    CadMenus found;
    const std::wstring own = cadDir + payload::kCadMenu;
    found.looked.push_back(own);

    if (!roamingDir.empty()) {
        const std::wstring autodesk = roamingDir + L"\\Autodesk\\";
        const std::vector<std::wstring> products = SubfolderNames(autodesk);
        const std::wstring release = ReleaseOfProgram(cadDir + payload::kCadExe).value_or(L"");
        // AutoCAD names its folder and its profile folder after the product;
        // where the folder has another name, the one product with a profile
        // of the program's release is this one.
        const std::wstring name = module1::UpperCase(FolderName(cadDir));
        std::vector<std::wstring> candidates;
        for (const std::wstring& p : products)
            if (module1::UpperCase(p) == name) candidates = {autodesk + p};
        if (candidates.empty() && std::any_of(std::begin(kMenuReleases), std::end(kMenuReleases),
                                              [&](const wchar_t* r) { return release == r; })) {
            for (const std::wstring& p : products)
                if (fileio::FolderExists(autodesk + p + L"\\" + release))
                    candidates.push_back(autodesk + p);
        }
        if (candidates.size() > 1) {
            found.rivals = std::move(candidates);
        } else if (candidates.empty()) {
            found.looked.push_back(autodesk.substr(0, autodesk.size() - 1));
        } else {
            const std::wstring& product = candidates.front();
            found.looked.push_back(product);
            // The release the program names, or either when it names none. A
            // program of another release (2002 is R15.0, 2006 is R16.2) has
            // no menu in a profile.
            for (const wchar_t* r : kMenuReleases) {
                if (!release.empty() && release != r) continue;
                const std::wstring releaseDir = product + L"\\" + r + L"\\";
                for (const std::wstring& language : SubfolderNames(releaseDir)) {
                    const std::wstring menu = releaseDir + language + L"\\Support\\acad.mns";
                    if (fileio::FileExists(menu)) found.menus.push_back(menu);
                }
            }
        }
    }
    if (fileio::FileExists(own)) found.menus.push_back(own);
    return found;
}

}  // namespace deploy
