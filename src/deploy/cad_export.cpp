#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "attributes.h"
#include "file_ops.h"
#include "long_path.h"
#include "replacing_writer.h"
#include "side_files.h"
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

// One file the uninstall handles, and whether it deletes ours when nothing
// was kept in its place.
struct Deployed {
    std::wstring path;
    bool deleteOurs;
};

// A deployed file goes back to what stood there before the install when a
// copy of that was kept. Otherwise ours is deleted (unless `deleteOurs` is
// false, or the file is one an earlier uninstall gave back: the user's
// again, not ours). A temporary file an interrupted install left beside it
// goes in either case.
void Undeploy(const Deployed& file, const GivenBack& givenBack, Failures& failures,
              fileio::Waiter& waiter) {
    fileio::RemoveStaleTemp(file.path, waiter);
    bool restored = false;
    const DWORD error = fileio::PutBackKept(file.path, restored, waiter);
    if (error != ERROR_SUCCESS) {
        failures.Note(error, file.path);
        return;
    }
    if (!restored && file.deleteOurs && !givenBack.count(file.path))
        failures.Note(fileio::DeleteIfPresent(file.path, waiter), file.path);
}

// What the install put into the picture folder: the pictures it deployed
// (`ours`) that are still plain files (the install never writes read-only,
// hidden or system files), and those whose kept copies are there (even when
// ours is gone). Every other file there is the user's, and so is every
// subfolder. A folder that is a link to somewhere else is not ours to empty.
// Temporary files of an interrupted copy go at once.
std::vector<Deployed> PicturesIn(const std::wstring& folder, const Pictures& ours,
                                 fileio::Waiter& waiter) {
    std::vector<Deployed> files;
    const DWORD attributes = ::GetFileAttributesW(fileio::LongPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return files;
    const std::wstring prefix = folder + L"\\";
    // The listing's own attributes decide, so nothing is asked twice.
    std::map<std::wstring, std::pair<std::wstring, uint32_t>> present;
    module1::ForEachEntry(prefix, [&](const module1::Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY))
            present.emplace(module1::UpperCase(entry.name), std::make_pair(entry.name, entry.attributes));
    });
    std::set<std::wstring> listed;
    auto add = [&](const std::wstring& name) {
        if (listed.insert(module1::UpperCase(name)).second) files.push_back({prefix + name, true});
    };
    for (const auto& [key, entry] : present) {
        if (fileio::IsTempName(entry.first)) {
            fileio::DeleteIfPresent(prefix + entry.first, waiter);
        } else if (std::optional<std::wstring> target = fileio::TargetOfKept(entry.first)) {
            add(*target);
        }
    }
    for (const std::wstring& name : ours) {
        const auto entry = present.find(module1::UpperCase(name));
        if (entry != present.end() && attr::IsRemovablePicture(entry->second.second))
            add(entry->second.first);
    }
    return files;
}

// The pictures the install deployed: as its record names them, or, for a
// record of a version that did not name them, as the payload lists them.
// Nothing when neither says.
std::optional<Pictures> DeployedPictures(const InstallRecord& record, const Folders& folders) {
    if (!record.pictures.empty()) return record.pictures;
    const std::wstring source = folders.PayloadDir() + payload::kPictures;
    if (!fileio::FolderExists(source)) return std::nullopt;
    return module1::ListPlainFiles(source + L"\\");
}

}  // namespace

void CadExport(Host& host, const Folders& folders) {
    const std::wstring recordPath = folders.InstallRecordPath();
    const InstallRecord record = ReadInstallRecord(recordPath);
    if (record.status != RecordStatus::Usable) {
        host.MessageShow(RecordProblemText(record) + text::kNothingRemoved);
        host.ProgramEnd();
        return;
    }
    const std::wstring& cadDir = record.cadDir;
    if (EndIfCadRunning(host, cadDir)) return;

    // What the uninstall handles, in the order the bar follows.
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    std::vector<Deployed> cadFiles;
    for (const wchar_t* name : payload::kCadFiles) cadFiles.push_back({cadDir + name, true});
    cadFiles.push_back({cadDir + payload::kLockFile, true});
    const Deployed sysLibrary{folders.sysDir + library, true};
    const std::wstring pictureFolder = cadDir + payload::kPictures;
    const std::optional<Pictures> ours = DeployedPictures(record, folders);
    const std::vector<Deployed> pictures = PicturesIn(pictureFolder, ours.value_or(Pictures()), host);
    // The library copies the uninstall keeps when nothing was there before.
    const Deployed keptLibraries[] = {{folders.winDir + library, false},
                                      {cadDir + payload::kLibrary, false}};

    // Every file with a kept copy is about to be the user's again. The record
    // says so before any of them is put back, so that no later uninstall, even
    // after this one was killed half-way, takes one of them for ours.
    GivenBack givenBack = record.givenBack;
    bool more = false;
    auto note = [&](const Deployed& file) {
        if (fileio::FileExists(fileio::KeptPathFor(file.path))) more |= givenBack.insert(file.path).second;
    };
    for (const Deployed& file : cadFiles) note(file);
    note(sysLibrary);
    for (const Deployed& file : pictures) note(file);
    for (const Deployed& file : keptLibraries) note(file);
    Failures failures;
    bool mayGiveBack = true;
    InstallRecord noted = record;
    noted.givenBack = givenBack;
    DWORD noteError = more ? WriteInstallRecord(recordPath, noted, host) : ERROR_SUCCESS;
    if (fileio::IsDiskFullError(noteError)) {
        // A full drive: our own files, those with nothing to give back, go
        // first, which makes room for the note. What cannot go now is tried
        // again, and told, below.
        std::vector<Deployed> ours = cadFiles;
        ours.push_back(sysLibrary);
        ours.insert(ours.end(), pictures.begin(), pictures.end());
        for (const Deployed& file : ours)
            if (!fileio::FileExists(fileio::KeptPathFor(file.path)) && !givenBack.count(file.path))
                fileio::DeleteIfPresent(file.path, host);
        noteError = WriteInstallRecord(recordPath, noted, host);
    }
    if (noteError != ERROR_SUCCESS) {
        // Without that note a second uninstall would delete the user's files:
        // they stay kept beside ours instead, and the user hears which.
        for (const std::wstring& path : givenBack)
            if (!record.givenBack.count(path)) failures.Note(ERROR_WRITE_FAULT, path);
        givenBack = record.givenBack;
        mayGiveBack = false;
    }
    const auto undeploy = [&](const Deployed& file) {
        if (!mayGiveBack && fileio::FileExists(fileio::KeptPathFor(file.path))) return;
        Undeploy(file, givenBack, failures, host);
    };

    auto advance = [&] { host.ProgressSet(host.ProgressGet() + progress::kUninstallStep); };
    host.ProgressSet(progress::kUninstallStep);
    for (const Deployed& file : cadFiles) {
        undeploy(file);
        advance();
    }
    undeploy(sysLibrary);
    advance();
    for (const Deployed& file : pictures) undeploy(file);
    advance();
    // Fails, as it should, when the user's files remain: no failure then.
    // Only when nothing tells which pictures were ours do they all stay, and
    // the user hears that the folder was not removed.
    fileio::RemoveFolder(pictureFolder, host);
    if (!ours && fileio::FolderExists(pictureFolder))
        failures.Note(ERROR_FILE_NOT_FOUND, pictureFolder);
    advance();
    // The item comes out of every menu the record names, in whoever's
    // profile it is; a record that names none is of a version that patched
    // AutoCAD's own menu only. That one alone may be rebuilt from the
    // program folder's patched copy, made from it last.
    const std::wstring cadMenu = cadDir + payload::kCadMenu;
    const Menus menus = record.menus.empty() ? Menus{cadMenu} : record.menus;
    for (const std::wstring& menu : menus) {
        const bool menuThere = fileio::FileExists(menu);
        fileio::RemoveStaleTemp(menu, host);
        const DWORD menuError = module1::UpperCase(menu) == module1::UpperCase(cadMenu)
                                    ? host.MenuDel(menu)
                                    : menu::MenuItemRemove(menu, host);
        // A menu that is not there (and has no copy to come back from) is
        // nothing the uninstall failed at.
        if (menuThere) failures.Note(menuError, menu);
    }
    advance();

    for (const Deployed& file : keptLibraries) undeploy(file);
    // Temporary files an interrupted install left beside the program's own
    // files are ours to clear.
    for (const std::wstring& own : {recordPath, menu::PatchedCopyPath(folders.appDir)})
        fileio::RemoveStaleTemp(own, host);

    if (failures.Any()) host.MessageShow(NotRemovedText(failures.Paths()));
    host.MessageShow(text::kExportDone);
    host.ProgramEnd();
}

}  // namespace deploy
