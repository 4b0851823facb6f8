// What the install and uninstall procedures need of the window that runs them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "folders.h"
#include "menu_kind.h"
#include "module1.h"

namespace deploy {

// How a run ended, for a host that reports it (the command line's exit code).
enum class Outcome {
    Done,        // everything done (a failed copy is told as its own message)
    Incomplete,  // done, but some file could not be removed or given back
    CadRunning,  // AutoCAD runs from a folder the run would touch: nothing changed
    NoCad,       // no AutoCAD to serve (none found, none chosen, or a named one is none)
    NoRoom,      // a drive has no room: nothing changed, or taken back
    Stopped,     // stopped before it changed anything, for another reason
};

class Host : public module1::ModuleHost, public menu::Patcher {
public:
    // Sets the progress bar; false, with the bar left as it was, when the
    // value lies outside the bar's range 1 to 48.
    virtual bool ProgressSet(float value) = 0;
    virtual float ProgressGet() = 0;
    // Shows the file-open dialog with `filter` ("description|pattern");
    // the chosen file's full path, or "" when the user cancels.
    virtual std::wstring FilePick(const std::wstring& filter) = 0;
    // Asks which of `found` (two or more AutoCADs, all offered ticked) to
    // serve: the indexes of those chosen, in order, or nothing when the user
    // cancels.
    virtual std::optional<std::vector<size_t>> CadsChoose(const std::vector<FoundCad>& found) = 0;
    // Whether a person follows the run, who sees what a guess of the
    // program's does: only then is a folder without acad.exe taken, or asked
    // for. False where a log is all there is.
    virtual bool Attended() { return true; }
    // What a log keeps and a window does not show.
    virtual void Note(const std::wstring& text) { (void)text; }
    // Ends the program. A procedure returns at once after calling it.
    virtual void ProgramEnd(Outcome outcome) = 0;
    // The window's menu operations, MenuAdd and MenuDel, come with
    // menu::Patcher.

protected:
    ~Host() = default;
};

}  // namespace deploy
