// Whether a program is running, from the system's process list.
#pragma once

#include <string>

namespace deploy {

// True when some process runs the executable file `exePath`. Paths are
// compared whole and without case, after both are resolved by the file system
// (short names made long); a process whose path cannot be read is not
// counted.
bool IsProgramRunning(const std::wstring& exePath);

}  // namespace deploy
