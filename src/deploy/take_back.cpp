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
    const std::vector<CadPlan>& cads = run.plan.cads;
    const auto folderOf = [&](size_t i) {
        return cads[i].pictureFolder.substr(0, cads[i].pictureFolder.size() - 1);
    };
    // Staged pictures go with their folder; their own names were never given.
    std::vector<std::wstring> stagedStay;
    for (size_t i = 0; i < cads.size(); ++i)
        if (run.pictures[i].staged && !module1::RemoveStagedFolder(folderOf(i), host))
            stagedStay.push_back(fileio::TempPathFor(folderOf(i)));
    std::vector<std::wstring> left = TakeBack(copier.Changes(), host);
    left.insert(left.end(), stagedStay.begin(), stagedStay.end());
    // A menu with the item stays as it is, for the uninstall to take it out.
    for (const std::wstring& menu : run.menusChanged)
        if (std::find(left.begin(), left.end(), menu) == left.end()) left.push_back(menu);
    InstallRecord& record = run.plan.record;
    for (size_t i = 0; i < cads.size(); ++i)
        if (run.pictures[i].made) fileio::RemoveFolder(folderOf(i), host);
    bool recordIsThisFolders = !left.empty();
    if (left.empty()) {
        if (run.previousBytes) {
            fileio::WriteFileReplacing(run.recordPath, *run.previousBytes, host);
            recordIsThisFolders = std::any_of(cads.begin(), cads.end(), [&](const CadPlan& cad) {
                return RecordNames(run.plan.previous, cad.Dir());
            });
        } else {
            fileio::DeleteIfPresent(run.recordPath, host);
        }
    } else {
        // The pictures of this run's AutoCADs that are still there; those of
        // AutoCADs served before stay as they were recorded.
        const auto stay = [&](const Pictures& pictures, const CadPlan& cad) {
            Pictures kept;
            for (const std::wstring& name : pictures)
                if (fileio::FileExists(cad.pictureFolder + name)) kept.push_back(name);
            return kept;
        };
        record.pictures = stay(record.pictures, cads.front());
        for (size_t i = 1; i < cads.size(); ++i) record.more[i - 1].pictures = stay(record.more[i - 1].pictures, cads[i]);
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
