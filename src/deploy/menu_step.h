// The menu step of the install and of the uninstall: the item goes into each
// menu of this AutoCAD in turn, and comes out of each menu the record names.
// What a menu file is, and how the item goes into it, is its kind's own
// (menu::MenuFile); what the user hears of a menu that could not take it is
// said here.
#pragma once

#include <string>
#include <vector>

#include "cad_menus.h"
#include "folders.h"
#include "host.h"
#include "install_record.h"
#include "module1.h"
#include "reports.h"

namespace deploy {

struct InstallPlan;

// What putting the item into the menus came to.
struct MenusPatched {
    // The menus that hold the item now.
    Menus patched;
    std::vector<MenuFailure> failures;
    // The file whose write found its drive full, "" when none did; the menus
    // after it were not tried.
    std::wstring fullAt;
    // Side copies this run wrote, which must go again should the run be
    // taken back into a record of another AutoCAD, and the menus it wrote
    // in place, which hold the item now whatever else is taken back.
    std::vector<std::wstring> sideCopiesWritten;
    std::vector<std::wstring> changedInPlace;
};

// Puts the item into each of `menus` in turn, through `copier` where a kind
// copies a file into place; nothing when the drive filled already
// (`fullAt`).
MenusPatched PutItemIntoMenus(Host& host, const CadMenus& menus, module1::Copier& copier,
                              const std::wstring& fullAt);

// Once every menu of every AutoCAD of `plan` had its turn (`done`, one for
// each, in the plan's order) and no drive filled: the side copies that no
// menu patched now relies on go (one left by an earlier install may belong
// to another AutoCAD), and the user hears, for each AutoCAD, of each menu
// that could not take the item, of rival profiles, or that no menu was
// found at all; where several are served, each message names its AutoCAD.
void TellMenus(Host& host, const InstallPlan& plan, const std::vector<MenusPatched>& done,
               const std::wstring& appDir);

// The record's menus and their words once the menus had their turn: those
// an earlier install named, then those patched now.
void RecordMenus(InstallRecord& record, const Menus& earlier, const std::vector<MenusPatched>& done);

// For the account the program runs as, what became of the menus in its
// profile: which were changed, or that none was found there.
std::wstring ProfileMenusNote(const InstallPlan& plan, const std::vector<MenusPatched>& done,
                              const Folders& folders);

// Takes the item out of every menu `record` names, in whoever's profile it
// is; a record that names none is of a version that patched AutoCAD's own
// menu only. Returns the menus it failed at (a menu that is not there is
// nothing it failed at).
std::vector<std::wstring> TakeItemOutOfMenus(Host& host, const InstallRecord& record,
                                             const Folders& folders);

}  // namespace deploy
