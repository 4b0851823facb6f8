// Finding every AutoCAD on the machine: in the searched folders of the
// drives, and as Windows lists them in the registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "folders.h"
#include "module1.h"

namespace deploy {

// The key under which each AutoCAD registers, in HKEY_LOCAL_MACHINE:
// <key>\R<release>\ACAD-<product>:<language>, with its folder in the value
// AcadLocation and its name in ProductName.
inline constexpr wchar_t kAutoCadKey[] = L"SOFTWARE\\Autodesk\\AutoCAD";

// The AutoCADs registered under `root`\`key` in the registry view `view`
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY), each whose folder holds acad.exe,
// in the order the registry lists them. A value that is empty, not a
// string, too long, relative, or names a folder that is gone is passed over.
std::vector<FoundCad> RegisteredCads(HKEY root, const wchar_t* key, REGSAM view);

// Those of both views of HKEY_LOCAL_MACHINE, the 32-bit view's first, each
// folder once.
std::vector<FoundCad> RegisteredCadsOfMachine();

// What the search came to.
struct CadsFound {
    // Every AutoCAD, each folder once: those of the searched folders first,
    // in search order, then those only Windows lists.
    std::vector<FoundCad> cads;
    // The first folder searched whose path holds "CAD" and which is neither
    // an AutoCAD nor an AutoCAD LT: taken where no AutoCAD is found.
    std::wstring other;
    // AutoCAD LT folders (acadlt.exe without acad.exe), which run no VBA.
    std::vector<std::wstring> lts;
};

// Searches the roots of `folders` and their "Autodesk" folders, then adds
// the AutoCADs of `folders.registered`. A root whose listing fails (a drive
// that is not ready) is passed over from where it failed.
CadsFound FindCads(module1::ModuleHost& host, const Folders& folders);

// Whether `folder` (ending in "\") is AutoCAD LT's: acadlt.exe without acad.exe.
bool IsAutoCadLt(const std::wstring& folder);

}  // namespace deploy
