// The messages that tell the user what a procedure could not do, built from
// the texts of messages.h and the paths involved.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "disk_space.h"
#include "menu_kind.h"

namespace deploy {

// AutoCAD runs from `exePath`: nothing may be changed.
std::wstring CadRunningText(const std::wstring& exePath);

// The menu item could not be added to `cadMenu` for `problem`.
std::wstring MenuNotAddedText(const std::wstring& cadMenu, menu::Problem problem);

// What the install could not do to this AutoCAD's menus: the menus that
// failed, each with its reason as MenuNotAddedText tells it, the profile
// folders it could not choose between, or, when it found no menu at all,
// every place it looked. Then how to start Tesmora without the item.
struct MenuFailure {
    std::wstring menu;
    DWORD error;
    // Whether the patched menu could not be written over it (rather than
    // MenuAdd failing).
    bool writing = false;
    // Why, as the menu's kind tells it; where it does not, the reason is
    // told from `error` as MenuAdd's.
    menu::Problem problem = menu::Problem::None;
};
std::wstring MenusNotPatchedText(const std::vector<MenuFailure>& failed,
                                 const std::vector<std::wstring>& rivals,
                                 const std::vector<std::wstring>& looked);

// The program folder `appDir` cannot be written: nothing was changed, and the
// user is told to run the program from a writable copy of its folder.
std::wstring ProgramFolderUnwritableText(const std::wstring& appDir);

// The files the uninstall could not delete or give back: the first few by
// their full paths, then how many more.
std::wstring NotRemovedText(const std::vector<std::wstring>& paths);

// The drives in `drives` that are short of room, each with what the add-on
// needs there and what is free, in MB: nothing was changed.
std::wstring NoRoomText(const std::vector<DriveSpace>& drives);

// The drive at `root` filled up during the install, which took back what it
// did; `left` are the files of ours still there (an earlier install's, now
// in their new version), none when AutoCAD is as before.
std::wstring DiskFilledText(const std::wstring& root, const std::vector<std::wstring>& left);

}  // namespace deploy
