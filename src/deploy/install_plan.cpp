#include "install_plan.h"

#include <algorithm>

#include "file_ops.h"
#include "long_path.h"
#include "owned_files.h"
#include "payload.h"
#include "side_files.h"

namespace deploy {

namespace {

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
std::vector<PlannedFile> PlannedFiles(const InstallPlan& plan, const std::wstring& recordPath) {
    std::vector<PlannedFile> files;
    for (const Copy& copy : plan.copies)
        if (copy.found) files.push_back({copy.dest, copy.size, true});
    for (const module1::Entry& picture : plan.pictures) {
        PlannedFile file{plan.pictureFolder + picture.name, picture.size, true};
        const auto old = plan.present.find(module1::UpperCase(picture.name));
        file.old = old == plan.present.end() ? PlannedFile::Old::None : PlannedFile::Old::Present;
        if (old != plan.present.end()) {
            file.oldSize = old->second.size;
            file.oldKept = plan.present.count(module1::UpperCase(fileio::KeptPathFor(picture.name))) > 0;
        }
        files.push_back(file);
    }
    // A menu's side copy is written once for each menu that has it: its
    // largest counts.
    std::vector<PlannedFile> sideCopies;
    for (size_t i = 0; i < plan.menus.menus.size(); ++i) {
        const auto& menu = plan.menus.menus[i];
        const uint64_t menuSize = plan.menuSizes[i];
        if (menuSize == InstallPlan::kUnreadable) continue;
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
    for (const PlannedFile& side : sideCopies)
        if (side.size > 0) files.push_back(side);
    files.push_back({recordPath, plan.recordBytes.size(), false});
    return files;
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

InstallPlan PlanInstall(const Folders& folders, const std::wstring& cadDir) {
    InstallPlan plan;
    plan.cadDir = cadDir;
    plan.pictureFolder = cadDir + payload::kPictures + L"\\";
    plan.pictureSource = folders.PayloadDir() + payload::kPictures + L"\\";
    plan.pictures = module1::ListPlainFileEntries(plan.pictureSource);
    module1::ForEachEntry(plan.pictureFolder, [&](const module1::Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) plan.present[module1::UpperCase(entry.name)] = entry;
    });

    const std::wstring recordPath = folders.InstallRecordPath();
    plan.previous = ReadInstallRecord(recordPath);
    InstallRecord& record = plan.record;
    record.cadDir = cadDir;
    record.pictures = OurPictures(plan);
    // The menus an earlier install into this folder changed stay named, so
    // that the uninstall takes the item out of each, whoever ran which.
    plan.menus = FindCadMenus(cadDir, folders.roamingDir, folders.appDir);
    if (Records(plan.previous, cadDir)) {
        plan.earlierMenus = plan.previous.menus;
        record.menuWords = plan.previous.menuWords;
    }
    plan.copies = FileCopies(folders, cadDir);
    record.owned = OwnedBefore(plan);
    // Reading each menu for its size once patched also tells its kind what
    // the record keeps of it.
    for (const auto& menu : plan.menus.menus) {
        uint64_t size = 0;
        plan.menuSizes.push_back(menu->PatchedSize(size) == ERROR_SUCCESS ? size : InstallPlan::kUnreadable);
    }
    record.menus = plan.earlierMenus;
    for (const auto& menu : plan.menus.menus) {
        const std::wstring word = menu->RecordWord();
        if (!word.empty() && MenuWord(record, menu->Path()).empty())
            record.menuWords.insert(word + L' ' + menu->Path());
    }
    AddMenus(record.menus, plan.menus.Paths());
    plan.recordBytes = EncodeInstallRecord(record);
    plan.drives = CountSpace(PlannedFiles(plan, recordPath));
    return plan;
}

}  // namespace deploy
