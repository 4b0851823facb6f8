// The menu files of one AutoCAD that the install puts its item into.
// AutoCAD 2000 to 2002 build their menus from "support\acad.mns" in their
// own folder. AutoCAD 2004 (release R16.0) and 2005 (R16.1) copy their menu
// into each user's roaming profile when the user first starts them, and load
// it from there:
//     <roaming>\Autodesk\<product>\<release>\<language>\Support\acad.mns
// AutoCAD 2006 to 2009 (R16.2 to R17.2) build their menus from the
// customization file acad.cui in the same place of the profile, and 2010
// (R18.0) and later from acad.cuix there, a zip package of such files.
// Each kind of menu file is one line of the table in cad_menus.cpp: the
// releases whose profiles hold it, its name there, and its MenuFile.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "menu_kind.h"

namespace deploy {

struct CadMenus {
    // The menu files found, each once: those of the user's profile first,
    // the one in AutoCAD's folder last.
    std::vector<std::unique_ptr<menu::MenuFile>> menus;
    std::vector<std::wstring> Paths() const;
    // Where the program looked, to be named when it found nothing: AutoCAD's
    // own menu file, then the profile folder of this AutoCAD, or, where the
    // user has none, the roaming folder's "Autodesk".
    std::vector<std::wstring> looked;
    // Product folders of the profile that could each be this AutoCAD's; when
    // there are two or more, none of their menus is touched.
    std::vector<std::wstring> rivals;
};

// The menus of the AutoCAD in `cadDir` (ending in "\") for the user whose
// roaming folder is `roamingDir` ("" when there is none), run from the
// program folder `appDir`.
CadMenus FindCadMenus(const std::wstring& cadDir, const std::wstring& roamingDir,
                      const std::wstring& appDir);

// The files of the program folder `appDir` that a kind of menu writes
// beside its menus (the .mns's patched copy).
std::vector<std::wstring> SideCopies(const std::wstring& appDir);

// The menu an install recorded at `path` with `word`, as the kind of file
// its name says; nothing for a file of no kind known here.
std::unique_ptr<menu::MenuFile> RecordedMenu(const std::wstring& path, const std::wstring& word,
                                             const menu::MenuPlace& place);

// The profile release ("R16.0", "R16.1", ...) of the program `exePath` from
// its version resource; nothing when it has none that can be read.
std::optional<std::wstring> ReleaseOfProgram(const std::wstring& exePath);

}  // namespace deploy
