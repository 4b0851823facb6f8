// The folders a procedure works with. Production asks the OS for them; tests
// point them at temporary folders.
#pragma once

#include <string>
#include <vector>

namespace deploy {

// One AutoCAD: its folder, ending in "\", and its name as Windows lists it
// ("" where it does not).
struct FoundCad {
    std::wstring dir;
    std::wstring productName;
    // The name it is shown by: its product name, else its folder's name;
    // then its folder.
    std::wstring Label() const;
};

struct Folders {
    // Searched in order for the AutoCAD folder.
    std::vector<std::wstring> searchRoots;
    // The executable's folder; no trailing "\" except at a drive root.
    std::wstring appDir;
    // The Windows and System folders, without a trailing "\".
    std::wstring winDir;
    std::wstring sysDir;
    // The running user's roaming application data, where AutoCAD 2004 and
    // 2005 keep each user's menu; "" when the shell has none.
    std::wstring roamingDir;
    // The AutoCADs Windows lists, in the order read.
    std::vector<FoundCad> registered;
    // AutoCAD folders (each ending in "\") named by the one who started the
    // program: served instead of those found, when there are any.
    std::vector<std::wstring> namedCads;

    std::wstring PayloadDir() const { return appDir + L"\\data\\"; }
    std::wstring InstallRecordPath() const { return appDir + L"\\INFOFILE"; }
};

// The roots searched for the AutoCAD folder on each of `drives` ("C:", or a
// test's folder standing for a drive), in order: its "Program Files", then
// its "Program Files (x86)", where 64-bit Windows puts 32-bit programs such
// as the AutoCAD versions we serve. A root that does not exist holds nothing.
std::vector<std::wstring> SearchRoots(const std::vector<std::wstring>& drives);

// Loads the shell's library for the roaming folder: called when a procedure
// starts, not at the program's start.
Folders FoldersFromOs();

}  // namespace deploy
