#include "removal.h"

#include <map>
#include <set>
#include <utility>

#include "attributes.h"
#include "file_ops.h"
#include "long_path.h"
#include "module1.h"
#include "payload.h"
#include "side_files.h"

namespace deploy {

namespace {

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

std::vector<Deployed> Removal::All() const {
    std::vector<Deployed> all = cadFiles;
    if (!sysLibrary.path.empty()) all.push_back(sysLibrary);
    all.insert(all.end(), pictures.begin(), pictures.end());
    all.insert(all.end(), keptLibraries.begin(), keptLibraries.end());
    return all;
}

Removal PlanRemoval(const InstallRecord& record, size_t cad, const Folders& folders, fileio::Waiter& waiter) {
    const bool first = cad == 0;
    const std::wstring& cadDir = first ? record.cadDir : record.more[cad - 1].cadDir;
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    Removal removal;
    for (const wchar_t* name : payload::kCadFiles) removal.cadFiles.push_back({cadDir + name, true});
    removal.cadFiles.push_back({cadDir + payload::kLockFile, true});
    if (first) removal.sysLibrary = {folders.sysDir + library, true};
    removal.pictureFolder = cadDir + payload::kPictures;
    removal.ours = first ? DeployedPictures(record, folders) : record.more[cad - 1].pictures;
    removal.pictures = PicturesIn(removal.pictureFolder, removal.ours.value_or(Pictures()), waiter);
    if (first) removal.keptLibraries.push_back({folders.winDir + library, false});
    removal.keptLibraries.push_back({cadDir + payload::kLibrary, false});
    return removal;
}

GiveBack NoteGivenBack(const std::wstring& recordPath, const InstallRecord& record,
                       const std::vector<Removal>& removals, Failures& failures, fileio::Waiter& waiter) {
    GiveBack back{record.givenBack, true};
    bool more = false;
    for (const Removal& removal : removals)
        for (const Deployed& file : removal.All())
            if (fileio::FileExists(fileio::KeptPathFor(file.path))) more |= back.givenBack.insert(file.path).second;
    InstallRecord noted = record;
    noted.givenBack = back.givenBack;
    DWORD error = more ? WriteInstallRecord(recordPath, noted, waiter) : ERROR_SUCCESS;
    if (fileio::IsDiskFullError(error)) {
        // What cannot go now is tried again, and told, later.
        std::vector<Deployed> ours;
        for (const Removal& removal : removals) {
            ours.insert(ours.end(), removal.cadFiles.begin(), removal.cadFiles.end());
            if (!removal.sysLibrary.path.empty()) ours.push_back(removal.sysLibrary);
            ours.insert(ours.end(), removal.pictures.begin(), removal.pictures.end());
        }
        for (const Deployed& file : ours)
            if (!fileio::FileExists(fileio::KeptPathFor(file.path)) && !back.givenBack.count(file.path))
                fileio::DeleteIfPresent(file.path, waiter);
        error = WriteInstallRecord(recordPath, noted, waiter);
    }
    if (error != ERROR_SUCCESS) {
        for (const std::wstring& path : back.givenBack)
            if (!record.givenBack.count(path)) failures.Note(ERROR_WRITE_FAULT, path);
        back.givenBack = record.givenBack;
        back.allowed = false;
    }
    return back;
}

}  // namespace deploy
