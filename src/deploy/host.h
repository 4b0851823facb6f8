// What the install and uninstall procedures need of the window that runs them.
#pragma once

#include <windows.h>

#include <string>

#include "menu_kind.h"
#include "module1.h"

namespace deploy {

class Host : public module1::ModuleHost, public menu::Patcher {
public:
    // Sets the progress bar; false, with the bar left as it was, when the
    // value lies outside the bar's range 1 to 48.
    virtual bool ProgressSet(float value) = 0;
    virtual float ProgressGet() = 0;
    // Shows the file-open dialog with `filter` ("description|pattern");
    // the chosen file's full path, or "" when the user cancels.
    virtual std::wstring FilePick(const std::wstring& filter) = 0;
    // Ends the program. A procedure returns at once after calling it.
    virtual void ProgramEnd() = 0;
    // The window's menu operations, MenuAdd and MenuDel, come with
    // menu::Patcher.

protected:
    ~Host() = default;
};

}  // namespace deploy
