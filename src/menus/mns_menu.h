// The menu source file "acad.mns" of AutoCAD 2000 to 2005, as a MenuFile:
// AutoCAD's own in its "support" folder, or a user's copy in the roaming
// profile (2004, 2005). The item goes in through the window's MenuAdd, which
// writes the patched copy in the program folder, and that copy is then
// copied over the menu. AutoCAD's own menu alone may be rebuilt from the
// patched copy at the uninstall, when it is gone; a profile's never is.
#pragma once

#include "menu_kind.h"

namespace menu {

// The reason to tell when MenuAdd failed on `fileName` with `error`: it reads
// AutoCAD's file before it writes the copy, so when that file opens, the
// failure was the copy's.
Problem ProblemOfMenuAdd(const std::wstring& fileName, DWORD error);

std::unique_ptr<MenuFile> MakeMnsMenu(const std::wstring& path, const std::wstring& word,
                                      const MenuPlace& place);

}  // namespace menu
