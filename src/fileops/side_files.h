// The files that stand beside a target for a while: the temporary file it is
// written to, and the kept copy of the user's file it replaced. One fixed
// name each per target, so what a killed run left is found by the next one.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "waits.h"

namespace fileio {

// The temporary file that stands beside `target` while it is being written.
// Always the same name for the same target, so a file left behind by a killed
// run is taken over and removed by the next run that writes that target.
std::wstring TempPathFor(const std::wstring& target);

// Removes a temporary file of `target` left behind by an interrupted run.
void RemoveStaleTemp(const std::wstring& target, Waiter& waiter = NoWindow());

// Where a file of a folder that is being staged is written: the same name in
// the folder's temporary name (a folder made whole under TempPathFor(folder)
// and named once every file in it is on the disk).
std::wstring StagedPathFor(const std::wstring& target);

// The kept copy of what stood at `target` before the install replaced it:
// the user's own file, given back by the uninstall. One fixed name per
// target, so the first kept copy is never overwritten by a later install.
std::wstring KeptPathFor(const std::wstring& target);

// Whether the name is that of a temporary file of ours.
bool IsTempName(std::wstring_view name);

// The target whose kept copy `path` is, or nothing when it is not a kept copy.
std::optional<std::wstring> TargetOfKept(std::wstring_view path);

// Keeps what stands at `target` under its kept name, unless a kept copy is
// there already: a second name for the same file, or where the file system
// has none, a whole copy on the disk before it is named. `created` tells
// whether this call made it.
DWORD KeepOldFile(const std::wstring& target, bool& created, Waiter& waiter);

// Puts the kept copy of `target` back in its place, in one step. ERROR_SUCCESS
// with `restored` false when there is no kept copy; a read-only target is
// refused, as Windows itself would refuse to replace it.
DWORD PutBackKept(const std::wstring& target, bool& restored, Waiter& waiter = NoWindow());

}  // namespace fileio
