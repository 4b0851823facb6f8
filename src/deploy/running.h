// Whether a program is running, from the system's process list.
#pragma once

#include <string>

#include "host.h"

namespace deploy {

// True when some process runs the executable file `exePath`. Paths are
// compared whole and without case, after both are resolved by the file system
// (short names made long); a process whose path cannot be read is not
// counted.
bool IsProgramRunning(const std::wstring& exePath);

// AutoCAD keeps its files open and would write its menu back over ours: when
// it runs from `cadDir`, the user hears so and the program ends. True then,
// and the procedure returns having changed nothing.
bool EndIfCadRunning(Host& host, const std::wstring& cadDir);

}  // namespace deploy
