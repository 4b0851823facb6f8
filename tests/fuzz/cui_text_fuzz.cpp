// libFuzzer target for the customization file transform. Takes the input as one acad.cui, or,
// when it holds a NUL byte, as the MenuGroup.cui and PopMenuRoot.cui parts of an acad.cuix
// split at the first NUL, and traps as soon as a property the installer relies on fails:
//   - a refusal produces no text, and "unchanged" produces no text either;
//   - LookAt foretells AddItem: the same refusal, and the number of bytes it inserts;
//   - adding twice changes nothing more than adding once, and what adding wrote is read again;
//   - removing after adding gives back what removing from the input gives (the input itself
//     when that holds none of our elements), byte for byte;
//   - what removing wrote is read again and holds none of our elements.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cui_text.h"

// Names the broken property, then stops the fuzzer with the input kept.
#define CHECK(cond)                                                                        \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "cui_text_fuzz:%d: check failed: %s\n", __LINE__, #cond); \
            __builtin_trap();                                                              \
        }                                                                                  \
    } while (0)

namespace {

void CheckRemoval(const cui::Edit& removed) {
    if (!removed.changed) {
        CHECK(removed.text.empty());
        return;
    }
    CHECK(removed.refusal == cui::Refusal::None);
    const cui::Look look = cui::LookAt(removed.text);
    CHECK(look.refusal != cui::Refusal::NotXml && !look.hasOurs);
}

void CheckDocument(std::string_view doc) {
    const cui::Look look = cui::LookAt(doc);
    const cui::Edit added = cui::AddItem(doc);
    CHECK(added.refusal == look.refusal);
    if (!added.changed) {
        CHECK(added.text.empty() && !added.madeUserGroup);
        CHECK(added.refusal != cui::Refusal::None || look.hasItem);
    } else {
        CHECK(added.refusal == cui::Refusal::None && !look.hasItem);
        CHECK(added.text.size() == doc.size() + look.macroBytes + look.menuBytes);
        const cui::Edit again = cui::AddItem(added.text);
        CHECK(again.refusal == cui::Refusal::None && !again.changed);
        CHECK(cui::LookAt(added.text).hasItem);

        const cui::Edit fromInput = cui::RemoveItem(doc, added.madeUserGroup);
        const cui::Edit fromAdded = cui::RemoveItem(added.text, added.madeUserGroup);
        CHECK(fromAdded.changed);
        CHECK(fromAdded.text == (fromInput.changed ? fromInput.text : std::string(doc)));
    }
    const cui::Edit removed = cui::RemoveItem(doc, true);
    CheckRemoval(removed);
    CHECK(removed.changed == look.hasOurs);
}

void CheckParts(std::string_view macros, std::string_view menus) {
    const cui::Look look = cui::LookAtParts(macros, menus);
    const cui::PartsEdit added = cui::AddItemToParts(macros, menus);
    CHECK(added.refusal == look.refusal);
    CHECK(added.macrosChanged || added.macros.empty());
    CHECK(added.menusChanged || added.menus.empty());
    if (!added.menusChanged) {
        CHECK(!added.macrosChanged && !added.madeUserGroup);
        CHECK(added.refusal != cui::Refusal::None || look.hasItem);
        return;
    }
    CHECK(added.refusal == cui::Refusal::None);
    CHECK(added.menus.size() == menus.size() + look.menuBytes);
    const std::string_view newMacros = added.macrosChanged ? added.macros : macros;
    CHECK(newMacros.size() == macros.size() + look.macroBytes);
    const cui::PartsEdit again = cui::AddItemToParts(newMacros, added.menus);
    CHECK(again.refusal == cui::Refusal::None && !again.macrosChanged && !again.menusChanged);

    const cui::PartsEdit fromInput = cui::RemoveItemFromParts(macros, menus, added.madeUserGroup);
    const cui::PartsEdit fromAdded =
        cui::RemoveItemFromParts(newMacros, added.menus, added.madeUserGroup);
    CHECK(fromAdded.menusChanged);
    CHECK(fromAdded.menus == (fromInput.menusChanged ? fromInput.menus : std::string(menus)));
    CHECK((fromAdded.macrosChanged ? fromAdded.macros : std::string(newMacros)) ==
          (fromInput.macrosChanged ? fromInput.macros : std::string(macros)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    if (split == std::string_view::npos) {
        CheckDocument(input);
    } else {
        CheckParts(input.substr(0, split), input.substr(split + 1));
    }
    return 0;
}
