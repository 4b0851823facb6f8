// The menu files of one AutoCAD that the install puts its item into.
// AutoCAD 2000 to 2002 build their menus from "support\acad.mns" in their
// own folder. AutoCAD 2004 (release R16.0) and 2005 (R16.1) copy their menu
// into each user's roaming profile when the user first starts them, and load
// it from there:
//     <roaming>\Autodesk\<product>\<release>\<language>\Support\acad.mns
// AutoCAD 2006 and later have no acad.mns at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace deploy {

struct CadMenus {
    // The menu files found, each once: those of the user's profile first,
    // the one in AutoCAD's folder last.
    std::vector<std::wstring> menus;
    // Where the program looked, to be named when it found nothing: AutoCAD's
    // own menu file, then the profile folder of this AutoCAD, or, where the
    // user has none, the roaming folder's "Autodesk".
    std::vector<std::wstring> looked;
    // Product folders of the profile that could each be this AutoCAD's; when
    // there are two or more, none of their menus is touched.
    std::vector<std::wstring> rivals;
};

// The menus of the AutoCAD in `cadDir` (ending in "\") for the user whose
// roaming folder is `roamingDir` ("" when there is none).
CadMenus FindCadMenus(const std::wstring& cadDir, const std::wstring& roamingDir);

// The profile release ("R16.0", "R16.1", ...) of the program `exePath` from
// its version resource; nothing when it has none that can be read.
std::optional<std::wstring> ReleaseOfProgram(const std::wstring& exePath);

}  // namespace deploy
