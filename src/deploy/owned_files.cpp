#include "owned_files.h"

#include <set>

#include "file_ops.h"
#include "install_plan.h"
#include "long_path.h"
#include "replacing_writer.h"

namespace deploy {

std::wstring KeyOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(fileio::LongPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::wstring();
    return OwnedKey(path, fileio::FileSize(data.nFileSizeHigh, data.nFileSizeLow),
                    fileio::FileSize(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime));
}

Pictures OurPictures(const CadPlan& cad) {
    std::set<std::wstring> listed;
    const bool sameFolder = cad.recordedBefore;
    std::set<std::wstring> earlier;
    for (const std::wstring& name : cad.earlierPictures) earlier.insert(module1::UpperCase(name));
    // A record's first folder without pictures comes from a version that put
    // every picture of the payload there and did not name them.
    const bool allEarlier = cad.firstBefore && cad.earlierPictures.empty();
    Pictures ours;
    auto add = [&](const std::wstring& name) {
        if (listed.insert(module1::UpperCase(name)).second) ours.push_back(name);
    };
    for (const module1::Entry& picture : cad.pictures) {
        const std::wstring key = module1::UpperCase(picture.name);
        if (!cad.present.count(key) || allEarlier || (sameFolder && earlier.count(key))) add(picture.name);
    }
    if (sameFolder)
        for (const std::wstring& name : cad.earlierPictures) add(name);
    return ours;
}

Owned OwnedBefore(const InstallPlan& plan) {
    Owned owned = plan.previous.owned;
    for (const CadPlan& cad : plan.cads) {
        for (const Copy& copy : cad.copies)
            if (copy.found) owned.insert(OwnedKey(copy.dest, copy.size, fileio::StampTime(copy.time)));
        for (const module1::Entry& picture : cad.pictures)
            owned.insert(OwnedKey(cad.pictureFolder + picture.name, picture.size, fileio::StampTime(picture.lastWrite)));
    }
    return owned;
}

Owned OwnedAfter(const InstallPlan& plan, const module1::Copier& copier) {
    std::set<std::wstring> ours = copier.Unchanged();
    for (const module1::Copier::Changed& changed : copier.Changes()) ours.insert(changed.dest);
    Owned owned;
    std::set<std::wstring> planned;
    auto own = [&](const std::wstring& dest, const std::wstring& key) {
        planned.insert(dest);
        if (!key.empty() && (plan.record.owned.count(key) || ours.count(dest))) owned.insert(key);
    };
    for (const CadPlan& cad : plan.cads) {
        for (const Copy& copy : cad.copies) own(copy.dest, KeyOf(copy.dest));
        std::map<std::wstring, module1::Entry> written;
        module1::ForEachEntry(cad.pictureFolder, [&](const module1::Entry& entry) {
            written[module1::UpperCase(entry.name)] = entry;
        });
        for (const module1::Entry& picture : cad.pictures) {
            const auto now = written.find(module1::UpperCase(picture.name));
            const std::wstring dest = cad.pictureFolder + picture.name;
            own(dest, now == written.end() ? std::wstring() : OwnedKey(dest, now->second.size, now->second.lastWrite));
        }
    }
    for (const std::wstring& key : plan.previous.owned)
        if (!planned.count(std::wstring(OwnedKeyPath(key)))) owned.insert(key);
    return owned;
}

}  // namespace deploy
