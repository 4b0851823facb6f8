#include "menu_step.h"

#include <algorithm>

#include "file_ops.h"
#include "install_plan.h"
#include "payload.h"
#include "side_files.h"

namespace deploy {

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

void TellMenus(Host& host, const CadMenus& menus, const MenusPatched& done, const std::wstring& appDir) {
    for (const std::wstring& side : SideCopies(appDir)) {
        const bool kept = std::any_of(menus.menus.begin(), menus.menus.end(), [&](const auto& menu) {
            return menu->SideCopy() == side &&
                   std::find(done.patched.begin(), done.patched.end(), menu->Path()) != done.patched.end();
        });
        if (!kept) fileio::DeleteIfPresent(side, host);
    }
    if (!done.failures.empty() || !menus.rivals.empty() || menus.menus.empty())
        host.MessageShow(MenusNotPatchedText(done.failures, menus.rivals, menus.looked));
}

void RecordMenus(InstallRecord& record, const Menus& earlier, const MenusPatched& done) {
    record.menus = earlier;
    AddMenus(record.menus, done.patched);
}

std::vector<std::wstring> TakeItemOutOfMenus(Host& host, const InstallRecord& record,
                                             const Folders& folders) {
    const menu::MenuPlace place{record.cadDir, folders.appDir};
    const Menus menus = record.menus.empty() ? Menus{record.cadDir + payload::kCadMenu} : record.menus;
    std::vector<std::wstring> failed;
    for (const std::wstring& path : menus) {
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
