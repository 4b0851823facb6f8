// The customization files of AutoCAD 2006 and later as MenuFiles, in the
// user's roaming profile: acad.cui of 2006 to 2009, an XML file, and
// acad.cuix of 2010 and later, a zip package of such XML parts. The item
// goes into the Draw pull-down and its macro into the "User" macro group,
// which the install makes where there is none; the record's word for the
// file says so, for the uninstall to take that group away again. Both kinds
// read the whole file, change it in memory and write it back through the
// replacing writer; they differ only in how the item gets into the bytes.
#pragma once

#include <string>
#include <string_view>

#include "cui_text.h"
#include "menu_kind.h"

namespace menu {

// The record's word for a customization file whose "User" macro group the
// install made.
inline constexpr wchar_t kMadeUserGroup[] = L"usergroup";

// What the user hears of a transform's refusal.
Problem ProblemOf(cui::Refusal refusal);

// A customization file's bytes with the item put in or taken out.
struct Change {
    Problem problem = Problem::None;  // why the file cannot be changed
    bool changed = false;             // `bytes` holds the new file (else it is empty)
    bool madeUserGroup = false;       // the insert made the "User" macro group
    std::string bytes;
};

// What both kinds share: the reading, the writing, the record's word.
class CustomizationMenu : public MenuFile {
public:
    DWORD PatchedSize(uint64_t& size) override;
    std::wstring RecordWord() const override;
    Added AddItem(Patcher& patcher, module1::Copier& copier, fileio::Waiter& waiter) override;
    DWORD RemoveItem(Patcher& patcher, fileio::Waiter& waiter) override;

protected:
    CustomizationMenu(const std::wstring& path, const std::wstring& word, uint64_t maxSize);
    virtual Change WithItem(std::string_view file) = 0;
    virtual Change WithoutItem(std::string_view file, bool dropUserGroup) = 0;

private:
    uint64_t maxSize_;
    bool madeGroup_;
};

std::unique_ptr<MenuFile> MakeCuiMenu(const std::wstring& path, const std::wstring& word,
                                      const MenuPlace& place);

std::unique_ptr<MenuFile> MakeCuixMenu(const std::wstring& path, const std::wstring& word,
                                       const MenuPlace& place);

}  // namespace menu
