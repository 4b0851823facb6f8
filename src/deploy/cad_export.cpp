#include <windows.h>

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "attributes.h"
#include "file_io.h"
#include "install_record.h"
#include "menu_file.h"
#include "messages.h"
#include "module1.h"
#include "payload.h"
#include "procedures.h"
#include "progress.h"
#include "reports.h"
#include "running.h"

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

// What the uninstall could not delete or give back, for the user to hear.
class Failures {
public:
    void Note(DWORD error, const std::wstring& path) {
        if (error != ERROR_SUCCESS) paths_.push_back(path);
    }
    bool Any() const { return !paths_.empty(); }
    const std::vector<std::wstring>& Paths() const { return paths_; }

private:
    std::vector<std::wstring> paths_;
};

// A deployed file goes back to what stood there before the install when a
// copy of that was kept; otherwise it is deleted, or, where `delete_` is
// false, left as it is. A temporary file an interrupted install left beside
// it goes in either case.
void Undeploy(const std::wstring& path, bool delete_, Failures& failures) {
    fileio::RemoveStaleTemp(path);
    bool restored = false;
    const DWORD error = fileio::PutBackKept(path, restored);
    if (error != ERROR_SUCCESS) {
        failures.Note(error, path);
        return;
    }
    if (!restored && delete_) failures.Note(fileio::DeleteIfPresent(path), path);
}

// Empties the picture folder of what the install can have put there: plain
// files go, or are given back where the install kept what they replaced.
// Subfolders, and hidden, system or read-only files, stay. A folder that is
// a link to somewhere else is not ours to empty.
void RemovePictures(const std::wstring& folder, Failures& failures) {
    const DWORD attributes = ::GetFileAttributesW(fileio::LongPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    const std::wstring prefix = folder + L"\\";
    // The listing's own attributes decide, so nothing is asked twice.
    std::vector<std::pair<std::wstring, uint32_t>> entries;
    module1::ForEachEntry(prefix, [&](const std::wstring& name, uint32_t a) {
        if (!(a & FILE_ATTRIBUTE_DIRECTORY)) entries.emplace_back(name, a);
    });
    std::set<std::wstring> pictures;
    for (const auto& [name, a] : entries) {
        if (fileio::IsTempName(name)) {
            ::DeleteFileW(fileio::LongPath(prefix + name).c_str());  // an interrupted copy's
        } else if (std::optional<std::wstring> target = fileio::TargetOfKept(name)) {
            // A kept copy: its picture comes back even when ours is gone.
            pictures.insert(*target);
        } else if (attr::IsRemovablePicture(a)) {
            pictures.insert(name);
        }
    }
    for (const std::wstring& name : pictures) Undeploy(prefix + name, true, failures);
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
    const std::wstring cadExe = cadDir + L"acad.exe";
    if (IsProgramRunning(cadExe)) {
        host.MessageShow(CadRunningText(cadExe));
        host.ProgramEnd();
        return;
    }
    auto advance = [&] { host.ProgressSet(host.ProgressGet() + progress::kUninstallStep); };
    Failures failures;

    host.ProgressSet(progress::kUninstallStep);
    for (const wchar_t* name : payload::kCadFiles) {
        Undeploy(cadDir + name, true, failures);
        advance();
    }
    Undeploy(cadDir + payload::kLockFile, true, failures);
    advance();
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    Undeploy(folders.sysDir + library, true, failures);
    advance();
    const std::wstring pictures = cadDir + payload::kPictures;
    RemovePictures(pictures, failures);
    advance();
    // Fails, as it should, when the user's files remain.
    ::RemoveDirectoryW(fileio::LongPath(pictures).c_str());
    advance();
    const std::wstring cadMenu = cadDir + payload::kCadMenu;
    const bool menuThere = fileio::FileExists(cadMenu);
    const DWORD menuError = host.MenuDel(cadMenu);
    // A menu that is not there (and has no copy to come back from) is
    // nothing the uninstall failed at.
    if (menuThere) failures.Note(menuError, cadMenu);
    advance();

    // The copies of the library the uninstall keeps give way to what the
    // install found in their place, if anything; temporary files an
    // interrupted install left beside the files it keeps are ours to clear.
    Undeploy(folders.winDir + library, false, failures);
    Undeploy(cadDir + payload::kLibrary, false, failures);
    for (const std::wstring& kept : {folders.InstallRecordPath(), menu::PatchedCopyPath(folders.appDir)})
        fileio::RemoveStaleTemp(kept);

    if (failures.Any()) host.MessageShow(NotRemovedText(failures.Paths()));
    host.MessageShow(text::kExportDone);
    host.ProgramEnd();
}

}  // namespace deploy
