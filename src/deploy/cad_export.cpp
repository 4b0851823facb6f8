#include <windows.h>

#include <string>

#include "cad_menus.h"
#include "file_ops.h"
#include "install_record.h"
#include "menu_step.h"
#include "messages.h"
#include "procedures.h"
#include "progress.h"
#include "reports.h"
#include "removal.h"
#include "running.h"
#include "side_files.h"

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

}  // namespace

void CadExport(Host& host, const Folders& folders) {
    const std::wstring recordPath = folders.InstallRecordPath();
    const InstallRecord record = ReadInstallRecord(recordPath);
    if (record.status != RecordStatus::Usable) {
        host.MessageShow(RecordProblemText(record) + text::kNothingRemoved);
        host.ProgramEnd(Outcome::Stopped);
        return;
    }
    // Nothing changes while an AutoCAD of the record runs.
    for (const std::wstring& dir : record.CadDirs())
        if (EndIfCadRunning(host, dir)) return;

    std::vector<Removal> removals;
    for (size_t cad = 0; cad <= record.more.size(); ++cad) removals.push_back(PlanRemoval(record, cad, folders, host));
    Failures failures;
    const GiveBack back = NoteGivenBack(recordPath, record, removals, failures, host);
    const auto undeploy = [&](const Deployed& file) {
        if (!back.allowed && fileio::FileExists(fileio::KeptPathFor(file.path))) return;
        Undeploy(file, back.givenBack, failures, host);
    };

    // Each AutoCAD takes its share of the bar's steps.
    const float share = progress::kUninstallStep / static_cast<float>(removals.size());
    auto advance = [&] { host.ProgressSet(host.ProgressGet() + share); };
    host.ProgressSet(progress::kUninstallStep);
    for (const Removal& removal : removals) {
        for (const Deployed& file : removal.cadFiles) {
            undeploy(file);
            advance();
        }
        if (!removal.sysLibrary.path.empty()) undeploy(removal.sysLibrary);
        advance();
        for (const Deployed& file : removal.pictures) undeploy(file);
        advance();
        // Fails, as it should, when the user's files remain: no failure then.
        // Only when nothing tells which pictures were ours do they all stay,
        // and the user hears that the folder was not removed.
        fileio::RemoveFolder(removal.pictureFolder, host);
        // Pictures an install killed before it named their folder.
        if (!module1::RemoveStagedFolder(removal.pictureFolder, host))
            failures.Note(ERROR_ACCESS_DENIED, fileio::TempPathFor(removal.pictureFolder));
        if (!removal.ours && fileio::FolderExists(removal.pictureFolder))
            failures.Note(ERROR_FILE_NOT_FOUND, removal.pictureFolder);
        advance();
    }
    for (const std::wstring& menu : TakeItemOutOfMenus(host, record, folders))
        failures.Note(ERROR_WRITE_FAULT, menu);
    advance();

    for (const Removal& removal : removals)
        for (const Deployed& file : removal.keptLibraries) undeploy(file);
    // Temporary files an interrupted install left beside the program's own
    // files are ours to clear.
    fileio::RemoveStaleTemp(recordPath, host);
    for (const std::wstring& side : SideCopies(folders.appDir)) fileio::RemoveStaleTemp(side, host);

    if (failures.Any()) host.MessageShow(NotRemovedText(failures.Paths()));
    host.MessageShow(text::kExportDone);
    host.ProgramEnd(failures.Any() ? Outcome::Incomplete : Outcome::Done);
}

}  // namespace deploy
