// The folders a procedure works with. Production asks the OS for them; tests
// point them at temporary folders.
#pragma once

#include <string>
#include <vector>

namespace deploy {

struct Folders {
    // Searched in order for the AutoCAD folder.
    std::vector<std::wstring> searchRoots;
    // The executable's folder; no trailing "\" except at a drive root.
    std::wstring appDir;
    // The Windows and System folders, without a trailing "\".
    std::wstring winDir;
    std::wstring sysDir;

    std::wstring PayloadDir() const { return appDir + L"\\data\\"; }
    std::wstring InstallRecordPath() const { return appDir + L"\\INFOFILE"; }
};

Folders FoldersFromOs();

}  // namespace deploy
