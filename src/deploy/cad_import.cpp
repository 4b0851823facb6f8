#include <set>

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

// The pictures that are ours once this install is done, for the uninstall to
// remove: every picture of the payload that is not in the picture folder
// yet, and those an earlier install into this folder put there. A file of
// the same name that stands there already is the user's: if it differs from
// ours it is kept and comes back at the uninstall, and it is never deleted.
Pictures OurPictures(const std::wstring& cadDir, const std::vector<std::wstring>& payloadNames,
                     const std::wstring& pictureFolder, const InstallRecord& previous) {
    std::set<std::wstring> present, listed;
    module1::ForEachEntry(pictureFolder, [&](const std::wstring& name, uint32_t attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) present.insert(module1::UpperCase(name));
    });
    const bool sameFolder = previous.status == RecordStatus::Usable &&
                            module1::UpperCase(previous.cadDir) == module1::UpperCase(cadDir);
    std::set<std::wstring> earlier;
    for (const std::wstring& name : previous.pictures) earlier.insert(module1::UpperCase(name));
    // A record without pictures comes from a version that put every picture
    // of the payload there and did not name them.
    const bool allEarlier = sameFolder && previous.pictures.empty();
    Pictures ours;
    auto add = [&](const std::wstring& name) {
        if (listed.insert(module1::UpperCase(name)).second) ours.push_back(name);
    };
    for (const std::wstring& name : payloadNames) {
        const std::wstring key = module1::UpperCase(name);
        if (!present.count(key) || allEarlier || (sameFolder && earlier.count(key))) add(name);
    }
    if (sameFolder)
        for (const std::wstring& name : previous.pictures) add(name);
    return ours;
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

    const std::wstring payloadDir = folders.PayloadDir();
    const std::wstring pictures = cadDir + payload::kPictures + L"\\";
    const std::wstring pictureSource = payloadDir + payload::kPictures + L"\\";
    const std::vector<std::wstring> pictureNames = module1::ListPlainFiles(pictureSource);

    // The record says what this install puts where before anything is put
    // there, so that even an install cut short can be undone. Its folder must
    // be writable: the uninstall needs the record and the menu copy kept
    // there. When it is not, the user hears so while nothing is changed yet.
    const std::wstring recordPath = folders.InstallRecordPath();
    InstallRecord record;
    record.cadDir = cadDir;
    record.pictures = OurPictures(cadDir, pictureNames, pictures, ReadInstallRecord(recordPath));
    if (WriteInstallRecord(recordPath, record, host) != ERROR_SUCCESS) {
        host.MessageShow(ProgramFolderUnwritableText(folders.appDir));
        host.ProgramEnd();
        return;
    }

    progress::StepCounter step;
    // Every deployed file keeps what it replaces, for the uninstall to give back.
    module1::Copier copier(host);
    auto copy = [&](const std::wstring& source, const std::wstring& dest,
                    fileio::Target look = fileio::Target::MayExist) {
        copier.FileCopy(source, dest, module1::Replaced::Keep, look);
    };
    auto show = [&] { host.ProgressSet(step.AsProgress()); };

    for (const wchar_t* name : payload::kCadFiles) {
        copy(payloadDir + name, cadDir + name);
        show();
        step.Advance();
    }
    copy(payloadDir + payload::kLockFile, cadDir + payload::kLockFile);
    step.Advance();
    const std::wstring library = std::wstring(L"\\") + payload::kLibrary;
    copy(payloadDir + payload::kLibrary, folders.winDir + library);
    copy(payloadDir + payload::kLibrary, folders.sysDir + library);
    copy(payloadDir + payload::kLibrary, cadDir + payload::kLibrary);
    show();
    step.Advance();

    // One left from an earlier install is fine: the temporary files a killed
    // run left there go now, in one look at the folder rather than one look
    // per picture. In a folder made just now nothing stands in the way.
    fileio::Target look = fileio::Target::InNewFolder;
    if (!::CreateDirectoryW(fileio::LongPath(pictures).c_str(), nullptr)) {
        module1::ForEachEntry(pictures, [&](const std::wstring& name, uint32_t) {
            if (fileio::IsTempName(name)) fileio::DeleteIfPresent(pictures + name, host);
        });
        look = fileio::Target::MayExistNoLeftover;
    }
    for (const std::wstring& name : pictureNames) {
        host.EventsService();
        copy(pictureSource + name, pictures + name, look);
        show();
        step.Advance();
    }
    copier.Finish();

    // Only a menu patched just now goes into AutoCAD. A copy left by an
    // earlier install may belong to another AutoCAD, so it goes too: the
    // uninstall must never rebuild this AutoCAD's menu from it. The menu's
    // old content is its own minus our line, so it is not kept.
    const std::wstring cadMenu = cadDir + payload::kCadMenu;
    if (const DWORD error = host.MenuAdd(cadMenu); error == ERROR_SUCCESS) {
        copier.FileCopy(menu::PatchedCopyPath(folders.appDir), cadMenu);
        copier.Finish();
    } else {
        fileio::DeleteIfPresent(menu::PatchedCopyPath(folders.appDir), host);
        host.MessageShow(MenuNotAddedText(cadMenu, error));
    }

    // Written at the start already; this finds it as it is and leaves it.
    WriteInstallRecord(recordPath, record, host);
    host.MessageShow(text::kImportDone);
    host.ProgramEnd();
}

}  // namespace deploy
