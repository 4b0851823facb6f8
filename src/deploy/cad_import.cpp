#include "file_io.h"
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

// The first AutoCAD folder found under the search roots. A root whose listing
// fails (a drive that is not ready) is passed over.
std::wstring FindCadDir(Host& host, const Folders& folders) {
    for (const std::wstring& root : folders.searchRoots) {
        if (std::optional<std::wstring> found = module1::CadDirFind(root, host)) {
            if (!found->empty()) return *found;
        }
    }
    return std::wstring();
}

// The folder of a file the user picked, keeping its trailing "\".
std::wstring FolderOfPick(const std::wstring& picked) {
    const size_t slash = picked.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : picked.substr(0, slash + 1);
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
    progress::StepCounter step;
    // Every deployed file keeps what it replaces, for the uninstall to give back.
    module1::Copier copier;
    auto copy = [&](const std::wstring& source, const std::wstring& dest) {
        copier.FileCopy(source, dest, host, module1::Replaced::Keep);
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

    const std::wstring pictures = cadDir + payload::kPictures + L"\\";
    // One left from an earlier install is fine.
    ::CreateDirectoryW(fileio::LongPath(pictures).c_str(), nullptr);
    const std::wstring pictureSource = payloadDir + payload::kPictures + L"\\";
    for (const std::wstring& name : module1::ListPlainFiles(pictureSource)) {
        host.EventsService();
        copy(pictureSource + name, pictures + name);
        show();
        step.Advance();
    }

    // Only a menu patched just now goes into AutoCAD. A copy left by an
    // earlier install may belong to another AutoCAD, so it goes too: the
    // uninstall must never rebuild this AutoCAD's menu from it. The menu's
    // old content is its own minus our line, so it is not kept.
    const std::wstring cadMenu = cadDir + payload::kCadMenu;
    if (const DWORD error = host.MenuAdd(cadMenu); error == ERROR_SUCCESS) {
        copier.FileCopy(menu::PatchedCopyPath(folders.appDir), cadMenu, host);
    } else {
        ::DeleteFileW(fileio::LongPath(menu::PatchedCopyPath(folders.appDir)).c_str());
        host.MessageShow(MenuNotAddedText(cadMenu, error));
    }

    WriteInstallRecord(folders.InstallRecordPath(), cadDir);
    host.MessageShow(text::kImportDone);
    host.ProgramEnd();
}

}  // namespace deploy
