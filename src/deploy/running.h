// Whether a program is running, from the system's process list.
#pragma once

#include <windows.h>

#include <string>

#include "host.h"

namespace deploy {

// The full path of the executable file a process runs; "" when it cannot be
// read.
using ImagePathReader = std::wstring (*)(DWORD pid);
// Through QueryFullProcessImageNameW, loaded when the program runs: it reads
// any process, whatever its bitness. "" on Windows XP, which lacks it.
std::wstring ImagePathByQuery(DWORD pid);
// Through the process's first module, its executable: what Windows XP
// offers. It cannot read a 64-bit process from a 32-bit one, which XP's
// 32-bit edition never runs.
std::wstring ImagePathByModules(DWORD pid);
// The first where the system has it, the second on Windows XP.
std::wstring ImagePathOf(DWORD pid);

// True when some process runs the executable file `exePath`. Paths are
// compared whole and without case, after both are resolved by the file system
// (short names made long); a process whose path cannot be read is not
// counted.
bool IsProgramRunning(const std::wstring& exePath, ImagePathReader imagePathOf = ImagePathOf);

// AutoCAD keeps its files open and would write its menu back over ours: when
// it runs from `cadDir`, the user hears so and the program ends. True then,
// and the procedure returns having changed nothing.
bool EndIfCadRunning(Host& host, const std::wstring& cadDir);

}  // namespace deploy
