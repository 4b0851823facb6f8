#include "cad_menus.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "file_ops.h"
#include "handles.h"
#include "long_path.h"
#include "module1.h"
#include "cui_menu.h"
#include "menu_file.h"
#include "mns_menu.h"
#include "payload.h"

namespace deploy {

namespace {

// A profile release, "R16.0", as the number 160; 0 for another name.
int ReleaseNumber(const std::wstring& name) {
    if (name.size() < 4 || name.size() > 5 || (name[0] != L'R' && name[0] != L'r') || name[name.size() - 2] != L'.')
        return 0;
    int number = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        if (i == name.size() - 2) continue;
        if (name[i] < L'0' || name[i] > L'9') return 0;
        number = number * 10 + (name[i] - L'0');
    }
    return number;
}

// One kind of menu file in a user's profile: the releases that load it
// (R16.0 is 160), its name in the language folder's "Support", and its
// MenuFile.
struct ProfileKind {
    int firstRelease, lastRelease;
    const wchar_t* name;
    menu::MenuFileMaker make;
};

constexpr ProfileKind kProfileKinds[] = {
    {160, 161, L"acad.mns", &menu::MakeMnsMenu},
    {162, 172, L"acad.cui", &menu::MakeCuiMenu},
    {180, 999, L"acad.cuix", &menu::MakeCuixMenu},
};

const ProfileKind* KindOfRelease(int release) {
    for (const ProfileKind& kind : kProfileKinds)
        if (release >= kind.firstRelease && release <= kind.lastRelease) return &kind;
    return nullptr;
}

// The names of the plain subfolders of `folder` (ending in "\").
std::vector<std::wstring> SubfolderNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    module1::ForEachEntry(folder, [&](const module1::Entry& entry) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(entry.name);
    });
    return names;
}

// The name `name` has among the files of `folder` (ending in "\"),
// found without regard to case, as Windows finds it: a profile may hold
// acad.CUIX, and its menu keeps that name. Where a folder that tells case
// apart holds two such files, the one of `name`'s own case is the one
// Windows opens. "" when there is none.
std::wstring FileNamedAs(const std::wstring& folder, const wchar_t* name) {
    const std::wstring wanted = module1::UpperCase(name);
    std::wstring found;
    module1::ForEachEntry(folder, [&](const module1::Entry& entry) {
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || module1::UpperCase(entry.name) != wanted)
            return;
        if (found.empty() || entry.name == name) found = entry.name;
    });
    return found;
}

// The last name of `cadDir`, without its trailing "\".
std::wstring FolderName(const std::wstring& cadDir) {
    const std::wstring folder = cadDir.substr(0, cadDir.find_last_not_of(L'\\') + 1);
    return folder.substr(folder.find_last_of(L'\\') + 1);
}

// The release folders of `product` (ending in "\") that hold a kind of menu
// file, lowest release first; of `release` alone, when it is known.
std::vector<std::wstring> ReleaseFolders(const std::wstring& product, const std::wstring& release) {
    std::vector<std::wstring> folders;
    for (const std::wstring& name : SubfolderNames(product)) {
        const int number = ReleaseNumber(name);
        if (!KindOfRelease(number) || (!release.empty() && number != ReleaseNumber(release))) continue;
        auto at = folders.begin();
        while (at != folders.end() && ReleaseNumber(*at) <= number) ++at;
        folders.insert(at, name);
    }
    return folders;
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

std::vector<std::wstring> CadMenus::Paths() const {
    std::vector<std::wstring> paths;
    for (const auto& menu : menus) paths.push_back(menu->Path());
    return paths;
}

CadMenus FindCadMenus(const std::wstring& cadDir, const std::wstring& roamingDir,
                      const std::wstring& appDir) {
    const menu::MenuPlace place{cadDir, appDir};
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
        if (candidates.empty() && KindOfRelease(ReleaseNumber(release))) {
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
            // The release the program names, or each when it names none. A
            // program of a release no kind serves (2002 is R15.0) has no
            // menu in a profile.
            for (const std::wstring& r : ReleaseFolders(product + L"\\", release)) {
                const ProfileKind& kind = *KindOfRelease(ReleaseNumber(r));
                const std::wstring releaseDir = product + L"\\" + r + L"\\";
                for (const std::wstring& language : SubfolderNames(releaseDir)) {
                    const std::wstring support = releaseDir + language + L"\\Support\\";
                    const std::wstring name = FileNamedAs(support, kind.name);
                    if (!name.empty()) found.menus.push_back(kind.make(support + name, L"", place));
                }
            }
        }
    }
    if (fileio::FileExists(own)) found.menus.push_back(menu::MakeMnsMenu(own, L"", place));
    return found;
}

std::vector<std::wstring> SideCopies(const std::wstring& appDir) {
    return {menu::PatchedCopyPath(appDir)};
}

std::unique_ptr<menu::MenuFile> RecordedMenu(const std::wstring& path, const std::wstring& word,
                                             const menu::MenuPlace& place) {
    const std::wstring name = module1::UpperCase(path.substr(path.find_last_of(L'\\') + 1));
    for (const ProfileKind& kind : kProfileKinds)
        if (name == module1::UpperCase(kind.name)) return kind.make(path, word, place);
    return nullptr;
}

}  // namespace deploy
