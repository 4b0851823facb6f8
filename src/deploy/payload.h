// The add-on's files: their names in the payload and where they go. The
// install and the uninstall both work from these.
#pragma once

namespace deploy::payload {

// Deployed into the AutoCAD folder, in this order, each moving the progress
// bar; the uninstall removes them.
inline constexpr const wchar_t* kCadFiles[] = {L"TS_DATA.mdb", L"acadstk.dmp", L"PROJECT.dvb",
                                               L"acad.dvb"};
// The database's lock file, deployed and removed after them; it does not move
// the bar.
inline constexpr wchar_t kLockFile[] = L"TS_DATA.ldb";
// Deployed into the Windows folder, the System folder and the AutoCAD folder.
inline constexpr wchar_t kLibrary[] = L"CPUID.dll";
// The picture folder, in the payload and in the AutoCAD folder.
inline constexpr wchar_t kPictures[] = L"Pictrue";
// AutoCAD's program file, relative to its folder.
inline constexpr wchar_t kCadExe[] = L"acad.exe";
// AutoCAD's menu source file, relative to its folder.
inline constexpr wchar_t kCadMenu[] = L"support\\acad.mns";

}  // namespace deploy::payload
