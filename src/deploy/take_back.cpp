#include "take_back.h"

#include <algorithm>

#include "disk_space.h"
#include "file_ops.h"
#include "install_plan.h"
#include "replacing_writer.h"
#include "reports.h"
#include "side_files.h"

namespace deploy {

std::vector<std::wstring> TakeBack(const std::vector<module1::Copier::Changed>& changes,
                                   fileio::Waiter& waiter) {
    using Change = fileio::ReplacingWriter::Change;
    std::vector<std::wstring> left;
    for (auto file = changes.rbegin(); file != changes.rend(); ++file) {
        bool gone = false;
        if (file->change == Change::Created) {
            gone = fileio::DeleteIfPresent(file->dest, waiter) == ERROR_SUCCESS;
        } else if (file->change == Change::ReplacedAndKept) {
            gone = fileio::PutBackKept(file->dest, gone, waiter) == ERROR_SUCCESS && gone;
        }
        if (!gone) left.push_back(file->dest);
    }
    std::reverse(left.begin(), left.end());
    return left;
}

}  // namespace deploy

namespace deploy {

void StopForFullDisk(Host& host, const std::wstring& at, const module1::Copier& copier,
                     InstallRun& run) {
    const std::wstring& pictures = run.plan.pictureFolder;
    // Staged pictures go with their folder; their own names were never given.
    const std::wstring folder = pictures.substr(0, pictures.size() - 1);
    const bool stagedStays = run.stagedPictures && !module1::RemoveStagedFolder(folder, host);
    std::vector<std::wstring> left = TakeBack(copier.Changes(), host);
    if (stagedStays) left.push_back(fileio::TempPathFor(folder));
    // A menu with the item stays as it is, for the uninstall to take it out.
    for (const std::wstring& menu : run.menusChanged)
        if (std::find(left.begin(), left.end(), menu) == left.end()) left.push_back(menu);
    InstallRecord& record = run.plan.record;
    if (run.madePictures) fileio::RemoveFolder(pictures.substr(0, pictures.size() - 1), host);
    bool recordIsThisFolders = !left.empty();
    if (left.empty()) {
        if (run.previousBytes) {
            fileio::WriteFileReplacing(run.recordPath, *run.previousBytes, host);
            recordIsThisFolders = Records(run.plan.previous, record.cadDir);
        } else {
            fileio::DeleteIfPresent(run.recordPath, host);
        }
    } else {
        Pictures stay;
        for (const std::wstring& name : record.pictures)
            if (fileio::FileExists(pictures + name)) stay.push_back(name);
        record.pictures = stay;
        WriteInstallRecord(run.recordPath, record, host);
    }
    // The uninstall may rebuild the recorded AutoCAD's menu from a side
    // copy: one made now from another AutoCAD's menu must not stay beside a
    // record of that one.
    if (!recordIsThisFolders)
        for (const std::wstring& side : run.sideCopies) fileio::DeleteIfPresent(side, host);
    host.MessageShow(DiskFilledText(DriveRootOf(at), left));
    host.ProgramEnd(Outcome::NoRoom);
}

}  // namespace deploy
