#include "menu_file.h"

#include <new>
#include <stdexcept>

#include "file_io.h"
#include "menu_text.h"

namespace menu {

namespace {

DWORD AddToCopy(const std::wstring& appDir, const std::wstring& fileName) {
    std::string original;
    if (const DWORD error = fileio::ReadWholeFile(fileName, original)) return error;
    return fileio::WriteFileReplacing(PatchedCopyPath(appDir), AddMenuLine(original));
}

DWORD DelFromMenu(const std::wstring& appDir, const std::wstring& fileName) {
    std::string current;
    const DWORD error = fileio::ReadWholeFile(fileName, current);
    if (error == ERROR_SUCCESS) {
        const Removal removal = RemoveMenuLine(current);
        // A file without the item is left exactly as it is, line ends and all.
        if (removal.removed == 0) return ERROR_SUCCESS;
        return fileio::WriteFileReplacing(fileName, removal.text);
    }
    if (!fileio::IsMissingPathError(error)) return error;

    std::string patched;
    if (const DWORD copyError = fileio::ReadWholeFile(PatchedCopyPath(appDir), patched))
        return copyError;
    return fileio::WriteFileReplacing(fileName, RemoveMenuLine(patched).text);
}

// A menu too large for this 32-bit process's memory is a failure like any
// other, never an exception escaping into the window.
template <typename Body>
DWORD WithoutExceptions(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::length_error&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace

std::wstring PatchedCopyPath(const std::wstring& appDir) { return appDir + L"\\acad.mns"; }

DWORD MenuAdd(const std::wstring& appDir, const std::wstring& fileName) {
    return WithoutExceptions([&] { return AddToCopy(appDir, fileName); });
}

DWORD MenuDel(const std::wstring& appDir, const std::wstring& fileName) {
    return WithoutExceptions([&] { return DelFromMenu(appDir, fileName); });
}

}  // namespace menu
