// One menu file of AutoCAD's that the install puts the add-on's item into and
// the uninstall takes it out of, whatever kind of file it is. The install and
// the uninstall work on menus through this alone; each kind of menu file
// (the .mns of AutoCAD 2000 to 2005, ...) is one class behind it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "file_ops.h"
#include "module1.h"
#include "waits.h"

namespace menu {

// The window's two operations on a menu source file (.mns): the patched copy
// in the program folder made from AutoCAD's file, and AutoCAD's file rebuilt
// without the item. Each returns a Win32 error code.
class Patcher {
public:
    virtual DWORD MenuAdd(const std::wstring& fileName) = 0;
    virtual DWORD MenuDel(const std::wstring& fileName) = 0;

protected:
    ~Patcher() = default;
};

// Why a menu could not take the item, for the user to hear.
enum class Problem {
    None,
    Missing,         // the file is not there
    Unreadable,      // it cannot be read
    TooLarge,        // it is too large to be read
    CopyUnwritable,  // its patched copy in the program folder cannot be written
    Unwritable,      // the file itself cannot be written
    NotXml,          // a customization file that is not well-formed XML
    NoAcadGroup,     // ... without AutoCAD's own menu group "ACAD"
    NoDrawMenu,      // ... without the Draw pull-down menu
    UidInUse,        // ... using a name of the item's for something else
    Unchangeable,    // ... written in a form the item cannot go into unnoticed
    NotPackage,      // a customization package (.cuix) that cannot be read
    NoParts,         // ... without the parts of the menus and their macros
};

// The reason to tell when a menu file could not be read whole.
inline Problem ProblemOfRead(DWORD error) {
    if (fileio::IsMissingPathError(error)) return Problem::Missing;
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_FILE_TOO_LARGE) return Problem::TooLarge;
    return Problem::Unreadable;
}

// What putting the item into a menu came to.
struct Added {
    DWORD error = ERROR_SUCCESS;
    Problem problem = Problem::None;
    // The file whose write found its drive full, "" when none did: the
    // install stops there.
    std::wstring fullAt;
    // Whether the side copy was written (and so may have to go again), and
    // whether the menu itself was written in place, not through the copier
    // (whose own list of changes knows the others).
    bool wroteSideCopy = false;
    bool wroteInPlace = false;
    bool Done() const { return error == ERROR_SUCCESS && fullAt.empty(); }
};

class MenuFile {
public:
    virtual ~MenuFile() = default;
    MenuFile(const MenuFile&) = delete;
    MenuFile& operator=(const MenuFile&) = delete;

    const std::wstring& Path() const { return path_; }

    // Reads the file and works out its content with the item, before
    // anything is written: its size then, for the count of the room the
    // install needs. An error when the file cannot be read.
    virtual DWORD PatchedSize(uint64_t& size) = 0;
    // A file of the program folder that putting the item in writes too, of
    // the menu's patched size; "" when there is none.
    virtual std::wstring SideCopy() const { return std::wstring(); }

    // Puts the item in. The write goes through `copier` where the kind
    // copies a file into place, so that a full disk is seen there and what
    // was written can be taken back.
    virtual Added AddItem(Patcher& patcher, module1::Copier& copier,
                          fileio::Waiter& waiter) = 0;
    // Takes the item out, keeping everything else of the file. A file that
    // is not there, or holds no item, is left as it is (but AutoCAD's own
    // .mns, which its patched copy can give back).
    virtual DWORD RemoveItem(Patcher& patcher, fileio::Waiter& waiter) = 0;

    // The word the install record keeps before the menu's path, "" for
    // none: what the uninstall must know of what the install did. Known once
    // PatchedSize has read the file, or from the record.
    virtual std::wstring RecordWord() const { return std::wstring(); }

protected:
    explicit MenuFile(std::wstring path) : path_(std::move(path)) {}

private:
    std::wstring path_;
};

// Where a menu file belongs: the AutoCAD folder (ending in "\") and the
// program folder (without a trailing "\").
struct MenuPlace {
    std::wstring cadDir;
    std::wstring appDir;
};

// Makes the MenuFile of one kind for `path`, with the record's `word` for
// it ("" when the file was found rather than recorded).
using MenuFileMaker = std::unique_ptr<MenuFile> (*)(const std::wstring& path,
                                                     const std::wstring& word,
                                                     const MenuPlace& place);

}  // namespace menu
