#include "cad_find.h"

#include <optional>

#include "file_ops.h"
#include "handles.h"
#include "install_record.h"

namespace deploy {

namespace {

// No folder's path is longer than the longest path the file APIs take.
constexpr DWORD kMaxPathChars = 32767;

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG result = ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        } else if (result != ERROR_MORE_DATA) {
            // The end, or a key that cannot be listed further.
            break;
        }
    }
    return names;
}

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* prefix) {
    const std::wstring start = module1::UpperCase(text.substr(0, ::lstrlenW(prefix)));
    return start == module1::UpperCase(prefix);
}

// A string value of `key`; nothing when it is missing, not a string, empty
// or longer than any path.
std::optional<std::wstring> StringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0 || bytes > (kMaxPathChars + 1) * sizeof(wchar_t))
        return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = bytes;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    // A string need not end in its NUL; one with a NUL inside is no path.
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (value.empty() || value.find(L'\0') != std::wstring::npos) return std::nullopt;
    return value;
}

win::UniqueRegKey OpenKey(HKEY parent, const std::wstring& name, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return win::UniqueRegKey();
    return win::UniqueRegKey(key);
}

void AddCad(std::vector<FoundCad>& cads, FoundCad cad) {
    for (FoundCad& known : cads) {
        if (!module1::SameFolder(known.dir, cad.dir)) continue;
        if (known.productName.empty()) known.productName = std::move(cad.productName);
        return;
    }
    cads.push_back(std::move(cad));
}

}  // namespace

bool IsAutoCadLt(const std::wstring& folder) {
    return !module1::HoldsAcadExe(folder) && fileio::FileExists(folder + L"acadlt.exe");
}

std::vector<FoundCad> RegisteredCads(HKEY root, const wchar_t* key, REGSAM view) {
    std::vector<FoundCad> cads;
    const win::UniqueRegKey autocad = OpenKey(root, key, view);
    if (!autocad) return cads;
    for (const std::wstring& release : SubkeyNames(autocad.Get())) {
        if (!StartsWithIgnoringCase(release, L"R")) continue;
        const win::UniqueRegKey releaseKey = OpenKey(autocad.Get(), release, view);
        if (!releaseKey) continue;
        for (const std::wstring& product : SubkeyNames(releaseKey.Get())) {
            if (!StartsWithIgnoringCase(product, L"ACAD-")) continue;
            const win::UniqueRegKey productKey = OpenKey(releaseKey.Get(), product, view);
            if (!productKey) continue;
            std::optional<std::wstring> location = StringValue(productKey.Get(), L"AcadLocation");
            if (!location) continue;
            if (location->back() != L'\\') *location += L'\\';
            if (!IsAbsoluteFolderPath(*location) || !fileio::FolderExists(*location) ||
                !module1::HoldsAcadExe(*location))
                continue;
            AddCad(cads, {*location, StringValue(productKey.Get(), L"ProductName").value_or(L"")});
        }
    }
    return cads;
}

std::vector<FoundCad> RegisteredCadsOfMachine() {
    std::vector<FoundCad> cads;
    // A 32-bit AutoCAD registers in the 32-bit view of 64-bit Windows, a
    // 64-bit one in the 64-bit view, which a 32-bit program sees only when it
    // asks for it. 32-bit Windows has one view, and ignores the asking.
    for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}})
        for (FoundCad& cad : RegisteredCads(HKEY_LOCAL_MACHINE, kAutoCadKey, view)) AddCad(cads, std::move(cad));
    return cads;
}

CadsFound FindCads(module1::ModuleHost& host, const Folders& folders) {
    // AutoCAD 2010 and later install one level deeper, into a root's
    // "Autodesk" folder: those are searched after every root itself.
    std::vector<std::wstring> searched = folders.searchRoots;
    for (const std::wstring& root : folders.searchRoots)
        searched.push_back(root + (root.empty() || root.back() == L'\\' ? L"" : L"\\") + L"Autodesk\\");
    CadsFound found;
    for (const std::wstring& root : searched) {
        module1::ForEachCadDir(root, host, [&](const std::wstring& folder) {
            if (module1::HoldsAcadExe(folder)) {
                AddCad(found.cads, {folder, L""});
            } else if (IsAutoCadLt(folder)) {
                found.lts.push_back(folder);
            } else if (found.other.empty()) {
                found.other = folder;
            }
            return false;
        });
    }
    for (const FoundCad& cad : folders.registered) AddCad(found.cads, cad);
    return found;
}

}  // namespace deploy
