#include "menu_step.h"

#include <algorithm>

#include "file_ops.h"
#include "install_plan.h"
#include "messages.h"
#include "payload.h"
#include "side_files.h"

namespace deploy {

namespace {

// The account the program runs as; "" when the system does not say.
std::wstring UserName() {
    wchar_t name[257];
    DWORD size = 257;
    return ::GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

}  // namespace

MenusPatched PutItemIntoMenus(Host& host, const CadMenus& menus, module1::Copier& copier,
                              const std::wstring& fullAt) {
    MenusPatched done;
    done.fullAt = fullAt;
    for (const auto& menu : menus.menus) {
        if (!done.fullAt.empty()) break;
        const menu::Added added = menu->AddItem(host, copier, host);
        const std::wstring side = menu->SideCopy();
        if (added.wroteSideCopy &&
            std::find(done.sideCopiesWritten.begin(), done.sideCopiesWritten.end(), side) ==
                done.sideCopiesWritten.end())
            done.sideCopiesWritten.push_back(side);
        if (added.wroteInPlace) done.changedInPlace.push_back(menu->Path());
        done.fullAt = added.fullAt;
        if (added.error != ERROR_SUCCESS && added.fullAt.empty()) {
            done.failures.push_back({menu->Path(), added.error, added.problem == menu::Problem::Unwritable,
                                     added.problem});
        } else if (added.Done()) {
            done.patched.push_back(menu->Path());
        }
    }
    return done;
}

void TellMenus(Host& host, const InstallPlan& plan, const std::vector<MenusPatched>& done,
               const std::wstring& appDir) {
    const auto patched = [&](const std::wstring& path) {
        return std::any_of(done.begin(), done.end(), [&](const MenusPatched& d) {
            return std::find(d.patched.begin(), d.patched.end(), path) != d.patched.end();
        });
    };
    for (const std::wstring& side : SideCopies(appDir)) {
        const bool kept = std::any_of(plan.cads.begin(), plan.cads.end(), [&](const CadPlan& cad) {
            return std::any_of(cad.menus.menus.begin(), cad.menus.menus.end(), [&](const auto& menu) {
                return menu->SideCopy() == side && patched(menu->Path());
            });
        });
        if (!kept) fileio::DeleteIfPresent(side, host);
    }
    for (size_t i = 0; i < plan.cads.size(); ++i) {
        const CadMenus& menus = plan.cads[i].menus;
        if (done[i].failures.empty() && menus.rivals.empty() && !menus.menus.empty()) continue;
        const std::wstring about = plan.cads.size() > 1 ? text::kAboutCad + plan.cads[i].cad.Label() + L"\r\n" : L"";
        host.MessageShow(about + MenusNotPatchedText(done[i].failures, menus.rivals, menus.looked));
    }
}

void RecordMenus(InstallRecord& record, const Menus& earlier, const std::vector<MenusPatched>& done) {
    record.menus = earlier;
    for (const MenusPatched& d : done) AddMenus(record.menus, d.patched);
}

std::wstring ProfileMenusNote(const InstallPlan& plan, const std::vector<MenusPatched>& done,
                              const Folders& folders) {
    const std::wstring profile = module1::UpperCase(folders.roamingDir + L"\\");
    const auto inProfile = [&](const std::wstring& menu) {
        return !folders.roamingDir.empty() && module1::UpperCase(menu).rfind(profile, 0) == 0;
    };
    std::wstring changed;
    for (const MenusPatched& d : done)
        for (const std::wstring& menu : d.patched)
            if (inProfile(menu)) changed += menu + L"\r\n";
    bool found = false;
    for (const CadPlan& cad : plan.cads)
        for (const std::wstring& menu : cad.menus.Paths()) found |= inProfile(menu);
    const std::wstring whose = text::kProfileOf + UserName() + L" (" + folders.roamingDir + L")";
    if (!changed.empty()) return whose + text::kProfileMenusChanged + changed;
    return whose + (found ? text::kProfileMenusNotChanged : text::kNoProfileMenu);
}

std::vector<std::wstring> TakeItemOutOfMenus(Host& host, const InstallRecord& record,
                                             const Folders& folders) {
    const Menus menus = record.menus.empty() ? Menus{record.cadDir + payload::kCadMenu} : record.menus;
    std::vector<std::wstring> failed;
    for (const std::wstring& path : menus) {
        // An AutoCAD's own menu belongs to its folder; any other menu is
        // handled alike whichever AutoCAD it is said to be of.
        menu::MenuPlace place{record.cadDir, folders.appDir};
        for (const std::wstring& dir : record.CadDirs())
            if (module1::UpperCase(dir + payload::kCadMenu) == module1::UpperCase(path)) place.cadDir = dir;
        const std::unique_ptr<menu::MenuFile> menu = RecordedMenu(path, MenuWord(record, path), place);
        const bool menuThere = fileio::FileExists(path);
        if (!menu) {
            // A kind of menu file this version does not know: left as it is,
            // and said so.
            if (menuThere) failed.push_back(path);
            continue;
        }
        // A temporary file an interrupted install left beside it goes.
        fileio::RemoveStaleTemp(path, host);
        const DWORD error = menu->RemoveItem(host, host);
        // A menu that is not there (and has no copy to come back from) is
        // nothing the uninstall failed at.
        if (menuThere && error != ERROR_SUCCESS) failed.push_back(path);
    }
    return failed;
}

}  // namespace deploy
