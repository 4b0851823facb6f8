#include <windows.h>

#include "attributes.h"
#include "file_io.h"
#include "install_record.h"
#include "menu_file.h"
#include "messages.h"
#include "module1.h"
#include "payload.h"
#include "procedures.h"
#include "progress.h"

namespace deploy {

namespace {

// A recorded path is shown whole unless it is absurdly long.
std::wstring ShownPath(const std::wstring& path) {
    constexpr size_t kMaxShown = 300;
    return path.size() <= kMaxShown ? path : path.substr(0, kMaxShown) + L"…";
}

std::wstring RecordProblemText(const InstallRecord& record) {
    switch (record.status) {
        case RecordStatus::Missing:
            return text::kRecordMissing;
        case RecordStatus::Unreadable:
            return text::kRecordUnreadable;
        case RecordStatus::Invalid:
            return text::kRecordInvalid;
        case RecordStatus::FolderGone:
            return text::kRecordFolderGone + ShownPath(record.cadDir) + L"\r\n";
        case RecordStatus::Usable:
            break;
    }
    return std::wstring();
}

// Deletes a file the install deployed, and any temporary file an interrupted
// install left beside it.
bool DeleteDeployed(const std::wstring& path) {
    fileio::RemoveStaleTemp(path);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

// Deletes the plain files of the picture folder: what the install can have
// put there. Subfolders, and hidden, system or read-only files, stay. A
// folder that is a link to somewhere else is not ours to empty.
void DeletePictures(const std::wstring& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    const auto removable = [](uint32_t a) { return attr::IsRemovablePicture(a); };
    for (const std::wstring& name : module1::ListFiles(folder + L"\\", removable))
        ::DeleteFileW((folder + L"\\" + name).c_str());
}

}  // namespace

void CadExport(Host& host, const Folders& folders) {
    const InstallRecord record = ReadInstallRecord(folders.InstallRecordPath());
    if (record.status != RecordStatus::Usable) {
        host.MessageShow(RecordProblemText(record) + text::kNothingRemoved);
        host.ProgramEnd();
        return;
    }
    const std::wstring& cadDir = record.cadDir;
    auto advance = [&] { host.ProgressSet(host.ProgressGet() + progress::kUninstallStep); };

    host.ProgressSet(progress::kUninstallStep);
    for (const wchar_t* name : payload::kCadFiles) {
        DeleteDeployed(cadDir + name);
        advance();
    }
    DeleteDeployed(cadDir + payload::kLockFile);
    advance();
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    DeleteDeployed(folders.sysDir + library);
    advance();
    const std::wstring pictures = cadDir + payload::kPictures;
    DeletePictures(pictures);
    advance();
    ::RemoveDirectoryW(pictures.c_str());  // fails, as it should, when the user's files remain
    advance();
    host.MenuDel(cadDir + payload::kCadMenu);
    advance();

    // The copies the uninstall keeps may still have a temporary file beside
    // them from an interrupted install; those are ours to clear.
    for (const std::wstring& kept :
         {folders.winDir + library, cadDir + payload::kLibrary, folders.InstallRecordPath(),
          menu::PatchedCopyPath(folders.appDir)}) {
        fileio::RemoveStaleTemp(kept);
    }

    host.MessageShow(text::kExportDone);
    host.ProgramEnd();
}

}  // namespace deploy
