#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "cad_menus.h"
#include "disk_space.h"
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
#include "take_back.h"

namespace deploy {

namespace {

// The AutoCAD folder under the search roots: the first folder found that
// holds acad.exe, and where none does, the first folder found. Another
// program with "CAD" in its folder's name (a viewer in "C:\Program Files",
// where AutoCAD itself is in "C:\Program Files (x86)") is passed over so.
// A root whose listing fails (a drive that is not ready) is passed over from
// where it failed.
std::wstring FindCadDir(Host& host, const Folders& folders) {
    std::wstring first;
    for (const std::wstring& root : folders.searchRoots) {
        std::wstring withAcad;
        module1::ForEachCadDir(root, host, [&](const std::wstring& folder) {
            if (first.empty()) first = folder;
            if (!module1::HoldsAcadExe(folder)) return false;
            withAcad = folder;
            return true;
        });
        if (!withAcad.empty()) return withAcad;
    }
    return first;
}

// The folder of a file the user picked, keeping its trailing "\".
std::wstring FolderOfPick(const std::wstring& picked) {
    const size_t slash = picked.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : picked.substr(0, slash + 1);
}

// Whether `record` is a usable record of an install into `cadDir`.
bool Records(const InstallRecord& record, const std::wstring& cadDir) {
    return record.status == RecordStatus::Usable &&
           module1::UpperCase(record.cadDir) == module1::UpperCase(cadDir);
}

// The pictures that are ours once this install is done, for the uninstall to
// remove: every picture of the payload that is not in the picture folder
// yet, and those an earlier install into this folder put there. A file of
// the same name that stands there already is the user's: if it differs from
// ours it is kept and comes back at the uninstall, and it is never deleted.
Pictures OurPictures(const std::wstring& cadDir, const std::vector<module1::Entry>& payload,
                     const std::map<std::wstring, module1::Entry>& present, const InstallRecord& previous) {
    std::set<std::wstring> listed;
    const bool sameFolder = Records(previous, cadDir);
    std::set<std::wstring> earlier;
    for (const std::wstring& name : previous.pictures) earlier.insert(module1::UpperCase(name));
    // A record without pictures comes from a version that put every picture
    // of the payload there and did not name them.
    const bool allEarlier = sameFolder && previous.pictures.empty();
    Pictures ours;
    auto add = [&](const std::wstring& name) {
        if (listed.insert(module1::UpperCase(name)).second) ours.push_back(name);
    };
    for (const module1::Entry& picture : payload) {
        const std::wstring key = module1::UpperCase(picture.name);
        if (!present.count(key) || allEarlier || (sameFolder && earlier.count(key))) add(picture.name);
    }
    if (sameFolder)
        for (const std::wstring& name : previous.pictures) add(name);
    return ours;
}

// One copy of the install, what it does to the progress bar afterwards, and
// its source's size and last-write time (`found` false when it is missing).
struct Copy {
    std::wstring source, dest;
    enum class Bar { ShowAndAdvance, Advance, Stay } bar;
    bool found = false;
    uint64_t size = 0, time = 0;
};

// The key of the file at `path` as it stands; "" when there is none.
std::wstring KeyOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(fileio::LongPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::wstring();
    return OwnedKey(path, fileio::FileSize(data.nFileSizeHigh, data.nFileSizeLow),
                    fileio::FileSize(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime));
}

// The add-on's files but its pictures, in the order they are copied.
std::vector<Copy> FileCopies(const Folders& folders, const std::wstring& cadDir) {
    const std::wstring payloadDir = folders.PayloadDir();
    std::vector<Copy> copies;
    for (const wchar_t* name : payload::kCadFiles)
        copies.push_back({payloadDir + name, cadDir + name, Copy::Bar::ShowAndAdvance});
    copies.push_back({payloadDir + payload::kLockFile, cadDir + payload::kLockFile, Copy::Bar::Advance});
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    copies.push_back({payloadDir + payload::kLibrary, folders.winDir + library, Copy::Bar::Stay});
    copies.push_back({payloadDir + payload::kLibrary, folders.sysDir + library, Copy::Bar::Stay});
    copies.push_back({payloadDir + payload::kLibrary, cadDir + payload::kLibrary, Copy::Bar::ShowAndAdvance});
    for (Copy& copy : copies) {
        WIN32_FILE_ATTRIBUTE_DATA source{};
        // A source that is not there is told as a failed copy later.
        copy.found = ::GetFileAttributesExW(fileio::LongPath(copy.source).c_str(), GetFileExInfoStandard, &source);
        copy.size = fileio::FileSize(source.nFileSizeHigh, source.nFileSizeLow);
        copy.time = fileio::FileSize(source.ftLastWriteTime.dwHighDateTime, source.ftLastWriteTime.dwLowDateTime);
    }
    return copies;
}

// Every file the install is about to write, for the count of the room it
// needs. What stands in the picture folder is known from its listing.
std::vector<PlannedFile> PlannedFiles(const std::vector<Copy>& copies,
                                      const std::vector<module1::Entry>& pictures,
                                      const std::wstring& pictureFolder,
                                      const std::map<std::wstring, module1::Entry>& present,
                                      const std::wstring& recordPath, size_t recordSize,
                                      const Menus& menus, const std::wstring& appDir) {
    std::vector<PlannedFile> files;
    for (const Copy& copy : copies)
        if (copy.found) files.push_back({copy.dest, copy.size, true});
    for (const module1::Entry& picture : pictures) {
        PlannedFile file{pictureFolder + picture.name, picture.size, true};
        const auto old = present.find(module1::UpperCase(picture.name));
        file.old = old == present.end() ? PlannedFile::Old::None : PlannedFile::Old::Present;
        if (old != present.end()) {
            file.oldSize = old->second.size;
            file.oldKept = present.count(module1::UpperCase(fileio::KeptPathFor(picture.name))) > 0;
        }
        files.push_back(file);
    }
    // The patched copy is written once for each menu: its largest counts.
    uint64_t largest = 0;
    for (const std::wstring& menu : menus) {
        uint64_t menuSize = 0;
        if (menu::PatchedSize(menu, menuSize) != ERROR_SUCCESS) continue;
        files.push_back({menu, menuSize, false});
        largest = std::max(largest, menuSize);
    }
    if (largest > 0) files.push_back({menu::PatchedCopyPath(appDir), largest, false});
    files.push_back({recordPath, recordSize, false});
    return files;
}

// Adds to `menus` those of `more` it does not name yet.
void AddMenus(Menus& menus, const Menus& more) {
    for (const std::wstring& menu : more) {
        const std::wstring key = module1::UpperCase(menu);
        if (std::none_of(menus.begin(), menus.end(),
                         [&](const std::wstring& m) { return module1::UpperCase(m) == key; }))
            menus.push_back(menu);
    }
}

// What an install has done so far outside its copies, for taking it back.
struct ThisRun {
    std::wstring recordPath;
    InstallRecord record;
    // The record as it stood before this run, and its bytes (none when
    // there was none).
    InstallRecord previous;
    std::optional<std::string> previousBytes;
    std::wstring pictures;
    bool madePictures = false;
    std::wstring patchedCopy;
    bool patchedCopyWritten = false;
};

// The drive of `at` filled up while this run copied: what the run did is
// taken back, the record says what is left of ours (or is as it was before
// the run, when nothing of this run is left), and the user hears it once.
void StopForFullDisk(Host& host, const std::wstring& at, const module1::Copier& copier, ThisRun& run) {
    const std::vector<std::wstring> left = TakeBack(copier.Changes(), host);
    if (run.madePictures) fileio::RemoveFolder(run.pictures.substr(0, run.pictures.size() - 1), host);
    bool recordIsThisFolders = !left.empty();
    if (left.empty()) {
        if (run.previousBytes) {
            fileio::WriteFileReplacing(run.recordPath, *run.previousBytes, host);
            recordIsThisFolders = Records(run.previous, run.record.cadDir);
        } else {
            fileio::DeleteIfPresent(run.recordPath, host);
        }
    } else {
        Pictures stay;
        for (const std::wstring& name : run.record.pictures)
            if (fileio::FileExists(run.pictures + name)) stay.push_back(name);
        run.record.pictures = stay;
        WriteInstallRecord(run.recordPath, run.record, host);
    }
    // The uninstall may rebuild the recorded AutoCAD's menu from the patched
    // copy: one made now from another AutoCAD's menu must not stay beside a
    // record of that one.
    if (run.patchedCopyWritten && !recordIsThisFolders) fileio::DeleteIfPresent(run.patchedCopy, host);
    host.MessageShow(DiskFilledText(DriveRootOf(at), left));
    host.ProgramEnd();
}

}  // namespace

void CadImport(Host& host, const Folders& folders) {
    std::wstring cadDir = FindCadDir(host, folders);
    if (cadDir.empty()) {
        host.MessageShow(text::kAskForAcadExe);
        cadDir = FolderOfPick(host.FilePick(text::kExeFilter));
    }
    if (cadDir.empty()) {
        host.ProgramEnd();
        return;
    }
    if (EndIfCadRunning(host, cadDir)) return;

    const std::wstring pictures = cadDir + payload::kPictures + L"\\";
    const std::wstring pictureSource = folders.PayloadDir() + payload::kPictures + L"\\";
    const std::vector<module1::Entry> pictureFiles = module1::ListPlainFileEntries(pictureSource);
    // What stands in the picture folder already, by upper-case name: one
    // listing serves every question about it.
    std::map<std::wstring, module1::Entry> present;
    module1::ForEachEntry(pictures, [&](const module1::Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) present[module1::UpperCase(entry.name)] = entry;
    });

    // The record says what this install puts where before anything is put
    // there, so that even an install cut short can be undone. Its folder must
    // be writable: the uninstall needs the record and the menu copy kept
    // there. When it is not, the user hears so while nothing is changed yet.
    ThisRun run;
    run.recordPath = folders.InstallRecordPath();
    run.previous = ReadInstallRecord(run.recordPath);
    run.pictures = pictures;
    run.patchedCopy = menu::PatchedCopyPath(folders.appDir);
    InstallRecord& record = run.record;
    record.cadDir = cadDir;
    record.pictures = OurPictures(cadDir, pictureFiles, present, run.previous);
    // The menus an earlier install into this folder changed stay named, so
    // that the uninstall takes the item out of each, whoever ran which.
    const CadMenus cadMenus = FindCadMenus(cadDir, folders.roamingDir);
    Menus earlierMenus;
    if (Records(run.previous, cadDir)) earlierMenus = run.previous.menus;
    record.menus = earlierMenus;
    AddMenus(record.menus, cadMenus.menus);
    // The add-on's own files: those an earlier install wrote that nothing
    // changed since, and those this one writes, each known by its size and
    // the last-write time the copy gives it. A kill at any moment leaves
    // each target as one of these, or as it was.
    const std::vector<Copy> copies = FileCopies(folders, cadDir);
    const Owned& earlier = run.previous.owned;
    record.owned = earlier;
    for (const Copy& copy : copies)
        if (copy.found) record.owned.insert(OwnedKey(copy.dest, copy.size, fileio::StampTime(copy.time)));
    for (const module1::Entry& picture : pictureFiles)
        record.owned.insert(OwnedKey(pictures + picture.name, picture.size, fileio::StampTime(picture.lastWrite)));
    const std::string recordBytes = EncodeInstallRecord(record);
    // A target that is still one of ours is replaced without being kept;
    // anything else in the way is the user's, kept to be given back.
    auto replaced = [&](const std::wstring& key) {
        return record.owned.count(key) ? module1::Replaced::Discard : module1::Replaced::Keep;
    };

    // Every drive written to must have room for its part before anything is
    // written: a drive that is short is said once, with nothing changed.
    const std::vector<DriveSpace> drives =
        CountSpace(PlannedFiles(copies, pictureFiles, pictures, present, run.recordPath, recordBytes.size(),
                                cadMenus.menus, folders.appDir));
    if (std::any_of(drives.begin(), drives.end(), [](const DriveSpace& d) { return d.IsShort(); })) {
        host.MessageShow(NoRoomText(drives));
        host.ProgramEnd();
        return;
    }

    run.previousBytes.emplace();
    if (fileio::ReadWholeFile(run.recordPath, *run.previousBytes) != ERROR_SUCCESS) run.previousBytes.reset();
    if (const DWORD error = fileio::WriteFileReplacing(run.recordPath, recordBytes, host)) {
        host.MessageShow(fileio::IsDiskFullError(error) ? DiskFilledText(DriveRootOf(run.recordPath), {})
                                                        : ProgramFolderUnwritableText(folders.appDir));
        host.ProgramEnd();
        return;
    }

    progress::StepCounter step;
    // Every deployed file keeps what it replaces, for the uninstall to give
    // back, unless that is one of ours. A full disk stops the copying at once.
    module1::Copier copier(host);
    auto show = [&] { host.ProgressSet(step.AsProgress()); };
    for (const Copy& copy : copies) {
        if (!copier.DiskFullAt().empty()) break;
        copier.FileCopy(copy.source, copy.dest, replaced(KeyOf(copy.dest)));
        if (copy.bar == Copy::Bar::ShowAndAdvance) show();
        if (copy.bar != Copy::Bar::Stay) step.Advance();
    }

    // One left from an earlier install is fine: the temporary files a killed
    // run left there go now, in one look at the folder rather than one look
    // per picture. In a folder made just now nothing stands in the way.
    fileio::Target look = fileio::Target::InNewFolder;
    if (copier.DiskFullAt().empty()) {
        run.madePictures = ::CreateDirectoryW(fileio::LongPath(pictures).c_str(), nullptr);
        if (!run.madePictures) {
            for (const auto& [key, entry] : present) {
                if (fileio::IsTempName(entry.name)) fileio::DeleteIfPresent(pictures + entry.name, host);
            }
            look = fileio::Target::MayExistNoLeftover;
        }
    }
    for (const module1::Entry& picture : pictureFiles) {
        if (!copier.DiskFullAt().empty()) break;
        host.EventsService();
        const auto old = present.find(module1::UpperCase(picture.name));
        const std::wstring dest = pictures + picture.name;
        copier.FileCopy(pictureSource + picture.name, dest,
                        old == present.end() ? module1::Replaced::Keep
                                             : replaced(OwnedKey(dest, old->second.size, old->second.lastWrite)),
                        look);
        show();
        step.Advance();
    }
    copier.Finish();

    // The record goes on to know each target that holds our bytes now (this
    // run wrote it or found it so, or it is still as an earlier one wrote
    // it), as it stands, and what an earlier install wrote that this one did
    // not touch.
    std::set<std::wstring> ours = copier.Unchanged();
    for (const module1::Copier::Changed& changed : copier.Changes()) ours.insert(changed.dest);
    Owned owned;
    std::set<std::wstring> planned;
    auto own = [&](const std::wstring& dest, const std::wstring& key) {
        planned.insert(dest);
        if (!key.empty() && (record.owned.count(key) || ours.count(dest))) owned.insert(key);
    };
    for (const Copy& copy : copies) own(copy.dest, KeyOf(copy.dest));
    std::map<std::wstring, module1::Entry> written;
    module1::ForEachEntry(pictures, [&](const module1::Entry& entry) {
        written[module1::UpperCase(entry.name)] = entry;
    });
    for (const module1::Entry& picture : pictureFiles) {
        const auto now = written.find(module1::UpperCase(picture.name));
        const std::wstring dest = pictures + picture.name;
        own(dest, now == written.end() ? std::wstring() : OwnedKey(dest, now->second.size, now->second.lastWrite));
    }
    for (const std::wstring& key : earlier)
        if (!planned.count(std::wstring(OwnedKeyPath(key)))) owned.insert(key);

    // Each menu of this AutoCAD gets the item: the patched copy in the
    // program folder is made from it and copied over it, in turn. The last,
    // AutoCAD's own menu where it has one, stays there as the trace the
    // uninstall may rebuild that menu from. A copy left by an earlier
    // install may belong to another AutoCAD: when no menu was patched now
    // it goes. A menu's old content is its own minus our line, so it is not
    // kept.
    std::wstring fullAt = copier.DiskFullAt();
    std::vector<MenuFailure> menuFailures;
    Menus patched;
    for (const std::wstring& menu : cadMenus.menus) {
        if (!fullAt.empty()) break;
        const DWORD error = host.MenuAdd(menu);
        if (fileio::IsDiskFullError(error)) {
            fullAt = run.patchedCopy;
        } else if (error != ERROR_SUCCESS) {
            menuFailures.push_back({menu, error});
        } else {
            run.patchedCopyWritten = true;
            const size_t failedBefore = copier.UntoldCount();
            copier.FileCopy(run.patchedCopy, menu, module1::Replaced::Discard, fileio::Target::MayExist,
                            module1::Copier::Tell::ByCaller);
            copier.Finish();
            fullAt = copier.DiskFullAt();
            if (copier.UntoldCount() > failedBefore) {
                menuFailures.push_back({menu, copier.UntoldError(), true});
            } else if (fullAt.empty()) {
                patched.push_back(menu);
            }
        }
    }
    if (fullAt.empty()) {
        if (patched.empty()) fileio::DeleteIfPresent(run.patchedCopy, host);
        if (!menuFailures.empty() || !cadMenus.rivals.empty() || cadMenus.menus.empty())
            host.MessageShow(MenusNotPatchedText(menuFailures, cadMenus.rivals, cadMenus.looked));
    }
    if (!fullAt.empty()) {
        StopForFullDisk(host, fullAt, copier, run);
        return;
    }

    // Written at the start already, naming every menu it meant to change;
    // now it names those it did.
    record.menus = earlierMenus;
    AddMenus(record.menus, patched);
    record.owned = std::move(owned);
    WriteInstallRecord(run.recordPath, record, host);
    host.MessageShow(text::kImportDone);
    host.ProgramEnd();
}

}  // namespace deploy
