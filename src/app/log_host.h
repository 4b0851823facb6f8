// The host of a procedure run from the command line: no window, no message
// box, no dialog. What the window would show goes into a log, and the way the
// run ended becomes the program's exit code.
#pragma once

#include <string>

#include "command_line.h"
#include "host.h"

namespace app {

// The exit codes of a run from the command line (and kExitInvalidCommandLine).
enum ExitCode : int {
    kExitDone = 0,
    kExitIncomplete = 1,  // done, but some file could not be copied or removed
    kExitCadRunning = 2,
    kExitNoCad = 3,
    kExitNoRoom = 4,
    kExitOtherCopy = 5,  // another copy of the program is running
    kExitStopped = 6,    // stopped before it changed anything, for another reason
};

// The exit code of a run that ended with `outcome`; `copyFailed` when some
// file could not be copied during it.
int ExitCodeOf(deploy::Outcome outcome, bool copyFailed);

// A text file that entries are appended to, each with its local time, in
// UTF-8 with a byte-order mark at its start and CR LF line ends. The file is
// opened for each entry and closed after it, so a run that is killed keeps
// what it wrote; an entry that cannot be written is lost, and nothing else
// happens.
class Log {
  public:
    // The file /log names, made absolute; without /log, TsSetup.log in the
    // user's temporary folder.
    explicit Log(const CommandLine& commandLine);
    void Write(const std::wstring& text) const;

  private:
    std::wstring path_;
};

// Runs /install or /uninstall of `commandLine` (`text` as typed) and ends the
// program with its exit code; never returns.
[[noreturn]] void RunWithoutWindow(const CommandLine& commandLine, const wchar_t* text);

// Ends the program with kExitOtherCopy, saying why in the log of
// `commandLine`, while another copy runs.
[[noreturn]] void EndAsOtherCopyRuns(const CommandLine& commandLine);

}  // namespace app
