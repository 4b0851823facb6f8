// The customization file transform: puts the Tesmora item into the Draw pull-down of AutoCAD's
// acad.cui (or of the MenuGroup.cui and PopMenuRoot.cui parts of acad.cuix) and takes it out.
//
// Works on the bytes of the XML text. An insert only adds bytes: each new element goes right
// after the last child of its parent, after a line end and indentation copied from that child,
// and every other byte stays as it was. A removal takes out each of our elements (found by UID)
// with the whitespace run directly before it, so removing right after adding gives the input
// back byte for byte, and removing after AutoCAD re-wrote the file keeps everything else.
//
// No function throws: running out of memory is reported as Refusal::TooLarge.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cui {

// Why a file cannot take the item (or be read for its removal). Nothing is produced then.
enum class Refusal {
    None,
    NotXml,        // not well-formed XML (or a DOCTYPE, which these files never hold)
    NoAcadGroup,   // no <MenuGroup Name="ACAD"> as the root or a child of the root
    NoDrawMenu,    // no <PopMenu UID="ID_MnDraw"> in the pull-down menus
    UidInUse,      // one of our UIDs is carried by an element that is not ours
    TooLarge,      // larger than kMaxSize, or too large for the memory at hand
    EmptyElement,  // the Draw menu, the User macro group or the ACAD group is written <X/>:
                   // opening it could not be undone byte for byte, so it is left alone
};

inline constexpr size_t kMaxSize = 64u << 20;

// The UIDs our elements carry; any element carrying one of them is ours or in the way.
inline constexpr std::string_view kMacroUid = "ID_TSDRAW";
inline constexpr std::string_view kItemUid = "PMIU_TSDRAW";
inline constexpr std::string_view kMacroNameUid = "XLS_TSDRAW_1";
inline constexpr std::string_view kItemNameUid = "XLS_TSDRAW_2";

// acad.cui: one document holding both the macro groups and the pull-downs.
struct Edit {
    Refusal refusal = Refusal::None;
    bool changed = false;        // text holds the new document (else text is empty)
    bool madeUserGroup = false;  // the insert made <MacroGroup Name="User"> for our macro
    std::string text;
};

// Adds the item to the Draw menu, and our macro to the User macro group of the ACAD group
// (making that group after the last macro group when there is none). Changes nothing when the
// Draw menu already holds the item (ours, or any item running Ts_main.Ts_main); reuses our macro
// when the ACAD group already holds it.
Edit AddItem(std::string_view doc);

// Takes out our item and our macro wherever they are, and, when dropUserGroup is set (the
// install made the User group), that group too if it then holds nothing but whitespace.
Edit RemoveItem(std::string_view doc, bool dropUserGroup);

// acad.cuix: the same, split over its MenuGroup.cui part (the macros) and its PopMenuRoot.cui
// part (the pull-downs). macros and menus hold the new parts that changed.
struct PartsEdit {
    Refusal refusal = Refusal::None;
    bool macrosChanged = false, menusChanged = false;
    bool madeUserGroup = false;
    std::string macros, menus;
};

PartsEdit AddItemToParts(std::string_view menuGroupPart, std::string_view popMenuRootPart);
PartsEdit RemoveItemFromParts(std::string_view menuGroupPart, std::string_view popMenuRootPart,
                              bool dropUserGroup);

// What the document(s) hold, without producing any text: whether there is nothing to install
// (hasItem), something to uninstall (hasOurs), and how many bytes AddItem would insert into the
// macros and into the menus (for acad.cui both go into the one document).
struct Look {
    Refusal refusal = Refusal::None;  // as AddItem would refuse
    bool hasItem = false;
    bool hasOurs = false;
    size_t macroBytes = 0, menuBytes = 0;
};

Look LookAt(std::string_view doc);
Look LookAtParts(std::string_view menuGroupPart, std::string_view popMenuRootPart);

}  // namespace cui
