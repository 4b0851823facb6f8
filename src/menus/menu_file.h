// Adding and removing the add-on's item in AutoCAD's menu source file.
// Both return a Win32 error code, ERROR_SUCCESS when they worked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "waits.h"

namespace menu {

// The patched copy kept in the program folder.
std::wstring PatchedCopyPath(const std::wstring& appDir);

// Reads AutoCAD's menu file `fileName` and writes it, with the menu item
// inserted before "***POP8", as the patched copy in `appDir`. When AutoCAD's
// file cannot be read, the patched copy is not touched.
DWORD MenuAdd(const std::wstring& appDir, const std::wstring& fileName,
              fileio::Waiter& waiter = fileio::NoWindow());

// The length in bytes of the patched copy MenuAdd would write from AutoCAD's
// menu file `fileName`, which it reads.
DWORD PatchedSize(const std::wstring& fileName, uint64_t& size);

// Removes the menu item from AutoCAD's menu file `fileName`, keeping every
// other line of it. Only when that file is missing is it rebuilt from the
// patched copy in `appDir`; when both are missing nothing is written.
DWORD MenuDel(const std::wstring& appDir, const std::wstring& fileName,
              fileio::Waiter& waiter = fileio::NoWindow());

// Removes the menu item from the menu file `fileName`, keeping every other
// line of it; a file that is not there, or holds no item, is left alone.
DWORD MenuItemRemove(const std::wstring& fileName, fileio::Waiter& waiter = fileio::NoWindow());

}  // namespace menu
