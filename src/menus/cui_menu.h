// The customization file of AutoCAD 2006 to 2009 as a MenuFile: acad.cui,
// an XML file in the user's roaming profile. The item goes into the
// Draw pull-down and its macro into the "User" macro group, which the
// install makes where there is none; the record's word for the file says
// so, for the uninstall to take that group away again.
#pragma once

#include "cui_text.h"
#include "menu_kind.h"

namespace menu {

// The record's word for a customization file whose "User" macro group the
// install made.
inline constexpr wchar_t kMadeUserGroup[] = L"usergroup";

// What the user hears of a transform's refusal.
Problem ProblemOf(cui::Refusal refusal);

std::unique_ptr<MenuFile> MakeCuiMenu(const std::wstring& path, const std::wstring& word,
                                      const MenuPlace& place);

}  // namespace menu
