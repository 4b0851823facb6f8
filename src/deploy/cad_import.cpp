#include "install_record.h"
#include "menu_file.h"
#include "messages.h"
#include "module1.h"
#include "procedures.h"
#include "progress.h"

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

    const std::wstring payload = folders.PayloadDir();
    progress::StepCounter step;
    auto copy = [&](const std::wstring& source, const std::wstring& dest) {
        module1::FileCopy(source, dest, host);
    };
    auto show = [&] { host.ProgressSet(step.AsProgress()); };

    for (const wchar_t* name : {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb", L"acad.dvb"}) {
        copy(payload + name, cadDir + name);
        show();
        step.Advance();
    }
    copy(payload + L"TS_DATA.ldb", cadDir + L"TS_DATA.ldb");
    step.Advance();
    copy(payload + L"CPUID.dll", folders.winDir + L"\\CPUID.dll");
    copy(payload + L"CPUID.dll", folders.sysDir + L"\\CPUID.dll");
    copy(payload + L"CPUID.dll", cadDir + L"CPUID.dll");
    show();
    step.Advance();

    const std::wstring pictures = cadDir + L"Pictrue";
    ::CreateDirectoryW(pictures.c_str(), nullptr);  // one left from an earlier install is fine
    const std::wstring pictureSource = folders.appDir + L"\\data\\" + L"\\Pictrue\\";
    for (const std::wstring& name : module1::ListPlainFiles(payload + L"Pictrue\\")) {
        host.EventsService();
        copy(pictureSource + name, pictures + L"\\" + name);
        show();
        step.Advance();
    }

    // Only a menu patched just now goes into AutoCAD: a copy left by an
    // earlier install may belong to another AutoCAD.
    if (host.MenuAdd(cadDir + L"support\\acad.mns") == ERROR_SUCCESS) {
        copy(menu::PatchedCopyPath(folders.appDir), cadDir + L"support\\acad.mns");
    }

    WriteInstallRecord(folders.InstallRecordPath(), cadDir);
    host.MessageShow(text::kImportDone);
    host.ProgramEnd();
}

}  // namespace deploy
