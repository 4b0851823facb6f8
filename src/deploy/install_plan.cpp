#include "install_plan.h"

#include <algorithm>

#include "file_ops.h"
#include "long_path.h"
#include "owned_files.h"
#include "payload.h"
#include "side_files.h"

namespace deploy {

namespace {

// The add-on's files but its pictures, in the order they are copied; the
// library in the Windows and System folders only with `withLibraries`.
std::vector<Copy> FileCopies(const Folders& folders, const std::wstring& cadDir, bool withLibraries) {
    const std::wstring payloadDir = folders.PayloadDir();
    std::vector<Copy> copies;
    for (const wchar_t* name : payload::kCadFiles)
        copies.push_back({payloadDir + name, cadDir + name, Copy::Bar::ShowAndAdvance});
    copies.push_back({payloadDir + payload::kLockFile, cadDir + payload::kLockFile, Copy::Bar::Advance});
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    if (withLibraries) {
        copies.push_back({payloadDir + payload::kLibrary, folders.winDir + library, Copy::Bar::Stay});
        copies.push_back({payloadDir + payload::kLibrary, folders.sysDir + library, Copy::Bar::Stay});
    }
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

// Every file the install is about to write into one AutoCAD, for the count
// of the room it needs. What stands in the picture folder is known from its
// listing. A menu's side copy is written once for each menu that has it:
// its largest counts, over every AutoCAD.
void PlannedFiles(const CadPlan& cad, std::vector<PlannedFile>& files, std::vector<PlannedFile>& sideCopies) {
    for (const Copy& copy : cad.copies)
        if (copy.found) files.push_back({copy.dest, copy.size, true});
    for (const module1::Entry& picture : cad.pictures) {
        PlannedFile file{cad.pictureFolder + picture.name, picture.size, true};
        const auto old = cad.present.find(module1::UpperCase(picture.name));
        file.old = old == cad.present.end() ? PlannedFile::Old::None : PlannedFile::Old::Present;
        if (old != cad.present.end()) {
            file.oldSize = old->second.size;
            file.oldKept = cad.present.count(module1::UpperCase(fileio::KeptPathFor(picture.name))) > 0;
        }
        files.push_back(file);
    }
    for (size_t i = 0; i < cad.menus.menus.size(); ++i) {
        const auto& menu = cad.menus.menus[i];
        const uint64_t menuSize = cad.menuSizes[i];
        if (menuSize == CadPlan::kUnreadable) continue;
        files.push_back({menu->Path(), menuSize, false});
        const std::wstring side = menu->SideCopy();
        if (side.empty()) continue;
        auto known = std::find_if(sideCopies.begin(), sideCopies.end(),
                                  [&](const PlannedFile& s) { return s.target == side; });
        if (known == sideCopies.end()) {
            sideCopies.push_back({side, menuSize, false});
        } else {
            known->size = std::max(known->size, menuSize);
        }
    }
}

CadPlan PlanCad(const Folders& folders, const FoundCad& cad, bool first, const InstallRecord& previous) {
    CadPlan plan;
    plan.cad = cad;
    plan.pictureFolder = cad.dir + payload::kPictures + L"\\";
    plan.pictureSource = folders.PayloadDir() + payload::kPictures + L"\\";
    plan.pictures = module1::ListPlainFileEntries(plan.pictureSource);
    module1::ForEachEntry(plan.pictureFolder, [&](const module1::Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) plan.present[module1::UpperCase(entry.name)] = entry;
    });
    plan.recordedBefore = RecordNames(previous, cad.dir, &plan.earlierPictures);
    plan.firstBefore = Records(previous, cad.dir);
    plan.menus = FindCadMenus(cad.dir, folders.roamingDir, folders.appDir);
    plan.copies = FileCopies(folders, cad.dir, first);
    // Reading each menu for its size once patched also tells its kind what
    // the record keeps of it.
    for (const auto& menu : plan.menus.menus) {
        uint64_t size = 0;
        plan.menuSizes.push_back(menu->PatchedSize(size) == ERROR_SUCCESS ? size : CadPlan::kUnreadable);
    }
    return plan;
}

// Whether `path` lies in the folder `dir` (ending in "\"), without regard to case.
bool IsIn(const std::wstring& path, const std::wstring& dir) {
    return module1::UpperCase(path.substr(0, dir.size())) == module1::UpperCase(dir);
}

// Whether the AutoCAD in `dir`, which `previous` names, holds the add-on
// still: a file the record names there is as the install left it, or, where
// the record names none there (a version that did not name its files), the
// database is there. An uninstall since leaves neither (but the library,
// which it leaves by design).
bool StillServed(const InstallRecord& previous, const std::wstring& dir) {
    const std::wstring library = module1::UpperCase(dir + payload::kLibrary);
    bool named = false;
    for (const std::wstring& key : previous.owned) {
        const std::wstring path(OwnedKeyPath(key));
        if (!IsIn(path, dir) || module1::UpperCase(path) == library) continue;
        if (KeyOf(path) == key) return true;
        named = true;
    }
    return !named && fileio::FileExists(dir + payload::kCadFiles[0]);
}

bool Serves(const InstallPlan& plan, const std::wstring& cadDir) {
    return std::any_of(plan.cads.begin(), plan.cads.end(), [&](const CadPlan& cad) {
        return module1::SameFolder(cad.Dir(), cadDir);
    });
}

}  // namespace

bool Records(const InstallRecord& record, const std::wstring& cadDir) {
    return record.status == RecordStatus::Usable &&
           module1::UpperCase(record.cadDir) == module1::UpperCase(cadDir);
}

void AddMenus(Menus& menus, const Menus& more) {
    for (const std::wstring& menu : more) {
        const std::wstring key = module1::UpperCase(menu);
        if (std::none_of(menus.begin(), menus.end(),
                         [&](const std::wstring& m) { return module1::UpperCase(m) == key; }))
            menus.push_back(menu);
    }
}

module1::Replaced InstallPlan::ReplacedFor(const std::wstring& key) const {
    return record.owned.count(key) ? module1::Replaced::Discard : module1::Replaced::Keep;
}

bool InstallPlan::WrittenBefore(const std::wstring& key, const std::wstring& dest, uint64_t size,
                                uint64_t time) const {
    return !key.empty() && previous.owned.count(key) && key == OwnedKey(dest, size, fileio::StampTime(time));
}

bool InstallPlan::ShortOfRoom() const {
    return std::any_of(drives.begin(), drives.end(), [](const DriveSpace& d) { return d.IsShort(); });
}

InstallPlan PlanInstall(const Folders& folders, const std::vector<FoundCad>& cads) {
    InstallPlan plan;
    const std::wstring recordPath = folders.InstallRecordPath();
    plan.previous = ReadInstallRecord(recordPath);
    for (const FoundCad& cad : cads) plan.cads.push_back(PlanCad(folders, cad, plan.cads.empty(), plan.previous));

    InstallRecord& record = plan.record;
    record.cadDir = plan.cads.front().Dir();
    record.pictures = OurPictures(plan.cads.front());
    for (size_t i = 1; i < plan.cads.size(); ++i) record.more.push_back({plan.cads[i].Dir(), OurPictures(plan.cads[i])});
    // The AutoCADs an earlier install served that hold the add-on still stay
    // recorded, with the menus it changed and the user's files an uninstall
    // gave back there, so that the uninstall takes the add-on out of each,
    // whoever ran which install, and nothing of the user's.
    if (plan.previous.status == RecordStatus::Usable) {
        for (const std::wstring& dir : plan.previous.CadDirs()) {
            if (Serves(plan, dir) || !StillServed(plan.previous, dir)) continue;
            for (const std::wstring& path : plan.previous.givenBack)
                if (IsIn(path, dir)) record.givenBack.insert(path);
            Pictures pictures;
            RecordNames(plan.previous, dir, &pictures);
            // A record of a version that did not name its pictures put
            // every picture of the payload there.
            if (pictures.empty() && Records(plan.previous, dir))
                for (const module1::Entry& picture : plan.cads.front().pictures) pictures.push_back(picture.name);
            record.more.push_back({dir, std::move(pictures)});
        }
        plan.earlierMenus = plan.previous.menus;
        // Such a version changed the AutoCAD's own menu alone.
        const std::wstring ownMenu = plan.previous.cadDir + payload::kCadMenu;
        if (plan.earlierMenus.empty() && !Serves(plan, plan.previous.cadDir) &&
            StillServed(plan.previous, plan.previous.cadDir) && fileio::FileExists(ownMenu))
            plan.earlierMenus.push_back(ownMenu);
        record.menuWords = plan.previous.menuWords;
    }
    record.owned = OwnedBefore(plan);
    record.menus = plan.earlierMenus;
    for (const CadPlan& cad : plan.cads) {
        for (const auto& menu : cad.menus.menus) {
            const std::wstring word = menu->RecordWord();
            if (!word.empty() && MenuWord(record, menu->Path()).empty())
                record.menuWords.insert(word + L' ' + menu->Path());
        }
        AddMenus(record.menus, cad.menus.Paths());
    }
    plan.recordBytes = EncodeInstallRecord(record);

    std::vector<PlannedFile> files, sideCopies;
    for (const CadPlan& cad : plan.cads) PlannedFiles(cad, files, sideCopies);
    for (const PlannedFile& side : sideCopies)
        if (side.size > 0) files.push_back(side);
    files.push_back({recordPath, plan.recordBytes.size(), false});
    plan.drives = CountSpace(files);
    return plan;
}

}  // namespace deploy
