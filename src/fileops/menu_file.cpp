#include "menu_file.h"

#include "file_io.h"
#include "menu_text.h"

namespace menu {

namespace {

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::wstring PatchedCopyPath(const std::wstring& appDir) { return appDir + L"\\acad.mns"; }

DWORD MenuAdd(const std::wstring& appDir, const std::wstring& fileName) {
    std::string original;
    if (const DWORD error = fileio::ReadWholeFile(fileName, original)) return error;
    return fileio::WriteFileReplacing(PatchedCopyPath(appDir), AddMenuLine(original));
}

DWORD MenuDel(const std::wstring& appDir, const std::wstring& fileName) {
    std::string current;
    const DWORD error = fileio::ReadWholeFile(fileName, current);
    if (error == ERROR_SUCCESS) {
        const Removal removal = RemoveMenuLine(current);
        // A file without the item is left exactly as it is, line ends and all.
        if (removal.removed == 0) return ERROR_SUCCESS;
        return fileio::WriteFileReplacing(fileName, removal.text);
    }
    if (!IsMissing(error)) return error;

    std::string patched;
    if (const DWORD copyError = fileio::ReadWholeFile(PatchedCopyPath(appDir), patched))
        return copyError;
    return fileio::WriteFileReplacing(fileName, RemoveMenuLine(patched).text);
}

}  // namespace menu
