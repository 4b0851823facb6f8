#include <string>

#include "file_ops.h"
#include "install_plan.h"
#include "long_path.h"
#include "menu_step.h"
#include "messages.h"
#include "module1.h"
#include "owned_files.h"
#include "procedures.h"
#include "progress.h"
#include "replacing_writer.h"
#include "reports.h"
#include "running.h"
#include "side_files.h"
#include "take_back.h"

namespace deploy {

namespace {

// The AutoCAD folder under the search roots, then their "Autodesk" folders:
// the first folder found that holds acad.exe, and where none does, the first folder found. Another
// program with "CAD" in its folder's name (a viewer in "C:\Program Files",
// where AutoCAD itself is in "C:\Program Files (x86)") is passed over so.
// A root whose listing fails (a drive that is not ready) is passed over from
// where it failed. Where nothing is found the user picks acad.exe; "" when
// the user cancels.
std::wstring FindCadDir(Host& host, const Folders& folders) {
    // AutoCAD 2010 and later install one level deeper, into a root's
    // "Autodesk" folder: those are searched after every root itself, so that
    // an AutoCAD the program serves in full is taken before them.
    std::vector<std::wstring> searched = folders.searchRoots;
    for (const std::wstring& root : folders.searchRoots)
        searched.push_back(root + (root.empty() || root.back() == L'\\' ? L"" : L"\\") + L"Autodesk\\");
    std::wstring first;
    for (const std::wstring& root : searched) {
        std::wstring withAcad;
        module1::ForEachCadDir(root, host, [&](const std::wstring& found) {
            if (first.empty()) first = found;
            if (!module1::HoldsAcadExe(found)) return false;
            withAcad = found;
            return true;
        });
        if (!withAcad.empty()) return withAcad;
    }
    if (!first.empty()) return first;
    host.MessageShow(text::kAskForAcadExe);
    // The folder of the file picked, keeping its trailing "\".
    const std::wstring picked = host.FilePick(text::kExeFilter);
    const size_t slash = picked.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : picked.substr(0, slash + 1);
}

// Every drive written to must have room for its part before anything is
// written: a drive that is short is said once, with nothing changed. True
// when the program ends so.
bool EndIfShortOfRoom(Host& host, const InstallPlan& plan) {
    if (!plan.ShortOfRoom()) return false;
    host.MessageShow(NoRoomText(plan.drives));
    host.ProgramEnd(Outcome::NoRoom);
    return true;
}

// The record says what this install puts where before anything is put
// there, so that even an install cut short can be undone. Its folder must
// be writable: the uninstall needs the record and the menu copy kept there.
// When it is not, the user hears so while nothing is changed yet, and the
// program ends (false).
bool RecordPlan(Host& host, const Folders& folders, InstallRun& run) {
    run.recordPath = folders.InstallRecordPath();
    run.previousBytes.emplace();
    if (fileio::ReadWholeFile(run.recordPath, *run.previousBytes) != ERROR_SUCCESS) run.previousBytes.reset();
    const DWORD error = fileio::WriteFileReplacing(run.recordPath, run.plan.recordBytes, host);
    if (error == ERROR_SUCCESS) return true;
    host.MessageShow(fileio::IsDiskFullError(error) ? DiskFilledText(DriveRootOf(run.recordPath), {})
                                                    : ProgramFolderUnwritableText(folders.appDir));
    host.ProgramEnd(fileio::IsDiskFullError(error) ? Outcome::NoRoom : Outcome::Stopped);
    return false;
}

// The add-on's files but its pictures. Every deployed file keeps what it
// replaces, for the uninstall to give back, unless that is one of ours. A
// full disk stops the copying at once.
void CopyFiles(Host& host, const InstallPlan& plan, module1::Copier& copier,
               progress::StepCounter& step) {
    for (const Copy& copy : plan.copies) {
        if (!copier.DiskFullAt().empty()) break;
        const std::wstring key = KeyOf(copy.dest);
        if (copy.found && plan.WrittenBefore(key, copy.dest, copy.size, copy.time)) {
            copier.TakeAsEqual(copy.dest);
        } else {
            copier.FileCopy(copy.source, copy.dest, plan.ReplacedFor(key));
        }
        if (copy.bar == Copy::Bar::ShowAndAdvance) host.ProgressSet(step.AsProgress());
        if (copy.bar != Copy::Bar::Stay) step.Advance();
    }
}

// The pictures, into the picture folder, which is made when it is not there.
// One left from an earlier install is fine: the temporary files a killed run
// left there go now, in one look at the folder rather than one look per
// picture. In a folder made just now nothing stands in the way.
void CopyPictures(Host& host, const InstallPlan& plan, module1::Copier& copier,
                  progress::StepCounter& step, InstallRun& run) {
    fileio::Target look = fileio::Target::InNewFolder;
    const std::wstring folder = plan.pictureFolder.substr(0, plan.pictureFolder.size() - 1);
    if (copier.DiskFullAt().empty()) {
        // A folder this install makes is written whole under a temporary
        // name and named once, after every picture in it is on the disk: one
        // rename for all of them. What an earlier run staged goes first.
        module1::RemoveStagedFolder(folder, host);
        if (!fileio::FolderExists(folder)) {
            run.stagedPictures =
                ::CreateDirectoryW(fileio::LongPath(fileio::TempPathFor(folder)).c_str(), nullptr);
            if (run.stagedPictures) look = fileio::Target::InStagingFolder;
        }
        if (!run.stagedPictures)
            run.madePictures = ::CreateDirectoryW(fileio::LongPath(plan.pictureFolder).c_str(), nullptr);
        if (!run.stagedPictures && !run.madePictures) {
            for (const auto& [key, entry] : plan.present) {
                if (fileio::IsTempName(entry.name)) fileio::DeleteIfPresent(plan.pictureFolder + entry.name, host);
            }
            look = fileio::Target::MayExistNoLeftover;
        }
    }
    for (const module1::Entry& picture : plan.pictures) {
        if (!copier.DiskFullAt().empty()) break;
        host.EventsService();
        const auto old = plan.present.find(module1::UpperCase(picture.name));
        const std::wstring dest = plan.pictureFolder + picture.name;
        const std::wstring key =
            old == plan.present.end() ? std::wstring() : OwnedKey(dest, old->second.size, old->second.lastWrite);
        if (plan.WrittenBefore(key, dest, picture.size, picture.lastWrite)) {
            copier.TakeAsEqual(dest, look);
        } else {
            copier.FileCopy(plan.pictureSource + picture.name, dest, plan.ReplacedFor(key), look);
        }
        host.ProgressSet(step.AsProgress());
        step.Advance();
    }
    copier.Finish();
    if (run.stagedPictures && copier.DiskFullAt().empty() && copier.NameStagedFolder(folder)) {
        run.stagedPictures = false;
        run.madePictures = true;
    }
}

}  // namespace

void CadImport(Host& host, const Folders& folders) {
    const std::wstring cadDir = FindCadDir(host, folders);
    if (cadDir.empty()) {
        host.ProgramEnd(Outcome::NoCad);
        return;
    }
    if (EndIfCadRunning(host, cadDir)) return;

    InstallPlan plan = PlanInstall(folders, cadDir);
    if (EndIfShortOfRoom(host, plan)) return;
    InstallRun run(plan);
    if (!RecordPlan(host, folders, run)) return;

    module1::Copier copier(host);
    progress::StepCounter step;
    CopyFiles(host, plan, copier, step);
    CopyPictures(host, plan, copier, step, run);
    Owned owned = OwnedAfter(plan, copier);

    const MenusPatched menus = PutItemIntoMenus(host, plan.menus, copier, copier.DiskFullAt());
    run.sideCopies = menus.sideCopiesWritten;
    run.menusChanged = menus.changedInPlace;
    if (!menus.fullAt.empty()) {
        StopForFullDisk(host, menus.fullAt, copier, run);
        return;
    }
    TellMenus(host, plan.menus, menus, folders.appDir);

    // Written at the start already, naming every menu it meant to change
    // and every file it meant to write; now it names those it did.
    RecordMenus(plan.record, plan.earlierMenus, menus);
    plan.record.owned = std::move(owned);
    WriteInstallRecord(run.recordPath, plan.record, host);
    host.MessageShow(text::kImportDone);
    host.ProgramEnd(Outcome::Done);
}

}  // namespace deploy
