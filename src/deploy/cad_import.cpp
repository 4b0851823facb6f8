#include <algorithm>
#include <string>

#include "cad_find.h"

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

// The AutoCADs to serve. Those named by whoever started the program, each
// of which must hold acad.exe; else those found: one is served at once,
// and of several the user chooses. Where none is found, a person watching
// gets the first other folder found taken; failing that, after a word on
// AutoCAD LT where it is all there is, the user picks acad.exe, and a
// folder of AutoCAD LT's is refused. None when the user cancels, and where
// nobody watches none is taken but AutoCAD.
std::vector<FoundCad> CadsToServe(Host& host, const Folders& folders) {
    if (!folders.namedCads.empty()) {
        std::vector<FoundCad> named;
        for (const std::wstring& dir : folders.namedCads) {
            if (!module1::HoldsAcadExe(dir)) {
                host.MessageShow(text::kNotAutoCad + dir + text::kNothingChanged);
                return {};
            }
            FoundCad cad{dir, L""};
            for (const FoundCad& listed : folders.registered)
                if (module1::SameFolder(listed.dir, dir)) cad.productName = listed.productName;
            // A folder named twice is served once.
            if (std::none_of(named.begin(), named.end(), [&](const FoundCad& n) { return module1::SameFolder(n.dir, dir); }))
                named.push_back(cad);
        }
        return named;
    }
    const CadsFound found = FindCads(host, folders);
    if (found.cads.size() == 1) return found.cads;
    if (found.cads.size() > 1) {
        std::vector<FoundCad> chosen;
        for (size_t i : host.CadsChoose(found.cads).value_or(std::vector<size_t>()))
            if (i < found.cads.size()) chosen.push_back(found.cads[i]);
        return chosen;
    }
    if (!found.other.empty() && host.Attended()) return {{found.other, L""}};
    if (!found.lts.empty()) host.MessageShow(text::kLtOnly + found.lts.front() + text::kLtHasNoVba);
    if (!host.Attended()) {
        host.MessageShow(text::kNoCadFound);
        return {};
    }
    host.MessageShow(text::kAskForAcadExe);
    // The folder of the file picked, keeping its trailing "\".
    const std::wstring picked = host.FilePick(text::kExeFilter);
    const size_t slash = picked.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    const std::wstring folder = picked.substr(0, slash + 1);
    if (IsAutoCadLt(folder)) {
        host.MessageShow(text::kPickedLt + folder + text::kLtHasNoVba);
        return {};
    }
    return {{folder, L""}};
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
void CopyFiles(Host& host, const InstallPlan& plan, const CadPlan& cad, module1::Copier& copier,
               progress::StepCounter& step) {
    const auto parts = static_cast<unsigned>(plan.cads.size());
    for (const Copy& copy : cad.copies) {
        if (!copier.DiskFullAt().empty()) break;
        const std::wstring key = KeyOf(copy.dest);
        if (copy.found && plan.WrittenBefore(key, copy.dest, copy.size, copy.time)) {
            copier.TakeAsEqual(copy.dest);
        } else {
            copier.FileCopy(copy.source, copy.dest, plan.ReplacedFor(key));
        }
        if (copy.bar == Copy::Bar::ShowAndAdvance) host.ProgressSet(progress::Share(step.AsProgress(), parts));
        if (copy.bar != Copy::Bar::Stay) step.Advance();
    }
}

// The pictures, into the picture folder, which is made when it is not there.
// One left from an earlier install is fine: the temporary files a killed run
// left there go now, in one look at the folder rather than one look per
// picture. In a folder made just now nothing stands in the way.
void CopyPictures(Host& host, const InstallPlan& plan, const CadPlan& cad, module1::Copier& copier,
                  progress::StepCounter& step, InstallRun::PictureFolder& made) {
    const auto parts = static_cast<unsigned>(plan.cads.size());
    fileio::Target look = fileio::Target::InNewFolder;
    const std::wstring folder = cad.pictureFolder.substr(0, cad.pictureFolder.size() - 1);
    if (copier.DiskFullAt().empty()) {
        // A folder this install makes is written whole under a temporary
        // name and named once, after every picture in it is on the disk: one
        // rename for all of them. What an earlier run staged goes first.
        module1::RemoveStagedFolder(folder, host);
        if (!fileio::FolderExists(folder)) {
            made.staged = ::CreateDirectoryW(fileio::LongPath(fileio::TempPathFor(folder)).c_str(), nullptr);
            if (made.staged) look = fileio::Target::InStagingFolder;
        }
        if (!made.staged) made.made = ::CreateDirectoryW(fileio::LongPath(cad.pictureFolder).c_str(), nullptr);
        if (!made.staged && !made.made) {
            for (const auto& [key, entry] : cad.present) {
                if (fileio::IsTempName(entry.name)) fileio::DeleteIfPresent(cad.pictureFolder + entry.name, host);
            }
            look = fileio::Target::MayExistNoLeftover;
        }
    }
    for (const module1::Entry& picture : cad.pictures) {
        if (!copier.DiskFullAt().empty()) break;
        host.EventsService();
        const auto old = cad.present.find(module1::UpperCase(picture.name));
        const std::wstring dest = cad.pictureFolder + picture.name;
        const std::wstring key =
            old == cad.present.end() ? std::wstring() : OwnedKey(dest, old->second.size, old->second.lastWrite);
        if (plan.WrittenBefore(key, dest, picture.size, picture.lastWrite)) {
            copier.TakeAsEqual(dest, look);
        } else {
            copier.FileCopy(cad.pictureSource + picture.name, dest, plan.ReplacedFor(key), look);
        }
        host.ProgressSet(progress::Share(step.AsProgress(), parts));
        step.Advance();
    }
}

// Once every copy is finished: each staged picture folder takes its name.
void NamePictureFolders(const InstallPlan& plan, module1::Copier& copier, InstallRun& run) {
    copier.Finish();
    for (size_t i = 0; i < plan.cads.size(); ++i) {
        InstallRun::PictureFolder& made = run.pictures[i];
        const std::wstring& pictures = plan.cads[i].pictureFolder;
        if (made.staged && copier.DiskFullAt().empty() &&
            copier.NameStagedFolder(pictures.substr(0, pictures.size() - 1))) {
            made.staged = false;
            made.made = true;
        }
    }
}

}  // namespace

void CadImport(Host& host, const Folders& folders) {
    const std::vector<FoundCad> cads = CadsToServe(host, folders);
    if (cads.empty()) {
        host.ProgramEnd(Outcome::NoCad);
        return;
    }
    for (const FoundCad& cad : cads)
        if (EndIfCadRunning(host, cad.dir)) return;

    InstallPlan plan = PlanInstall(folders, cads);
    if (EndIfShortOfRoom(host, plan)) return;
    InstallRun run(plan);
    if (!RecordPlan(host, folders, run)) return;

    module1::Copier copier(host);
    progress::StepCounter step;
    // Every AutoCAD's files first, then every AutoCAD's pictures: the
    // large files' flushes go on beside all the pictures.
    for (const CadPlan& cad : plan.cads) CopyFiles(host, plan, cad, copier, step);
    for (size_t i = 0; i < plan.cads.size(); ++i) CopyPictures(host, plan, plan.cads[i], copier, step, run.pictures[i]);
    NamePictureFolders(plan, copier, run);
    Owned owned = OwnedAfter(plan, copier);

    std::vector<MenusPatched> menus;
    std::wstring fullAt = copier.DiskFullAt();
    for (const CadPlan& cad : plan.cads) {
        menus.push_back(PutItemIntoMenus(host, cad.menus, copier, fullAt));
        const MenusPatched& done = menus.back();
        for (const std::wstring& side : done.sideCopiesWritten)
            if (std::find(run.sideCopies.begin(), run.sideCopies.end(), side) == run.sideCopies.end())
                run.sideCopies.push_back(side);
        run.menusChanged.insert(run.menusChanged.end(), done.changedInPlace.begin(), done.changedInPlace.end());
        fullAt = done.fullAt;
    }
    if (!fullAt.empty()) {
        StopForFullDisk(host, fullAt, copier, run);
        return;
    }
    TellMenus(host, plan, menus, folders.appDir);

    // Written at the start already, naming every menu it meant to change
    // and every file it meant to write; now it names those it did.
    RecordMenus(plan.record, plan.earlierMenus, menus);
    plan.record.owned = std::move(owned);
    WriteInstallRecord(run.recordPath, plan.record, host);
    host.Note(ProfileMenusNote(plan, menus, folders));
    host.MessageShow(text::kImportDone);
    host.ProgramEnd(Outcome::Done);
}

}  // namespace deploy
