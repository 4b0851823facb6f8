// libFuzzer target for the menu text transform. Feeds arbitrary bytes through
// SplitLines, AddMenuLine and RemoveMenuLine and traps as soon as one of the
// properties the installer relies on stops holding:
//   - the text splits into lines at CR (LF after CR, if any, is part of the
//     line end, a lone LF stays inside the line);
//   - adding the menu line twice changes nothing more than adding it once;
//   - removing after adding gives the input back (CR LF line ends, without
//     the menu lines that were already in it);
//   - adding only ever inserts menu lines, exactly one before each "***POP8"
//     line that does not already follow one, and the output ends in CR LF.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "menu_text.h"

// Names the broken property, then stops the fuzzer with the input kept.
#define CHECK(cond)                                                                         \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "menu_text_fuzz:%d: check failed: %s\n", __LINE__, #cond); \
            __builtin_trap();                                                               \
        }                                                                                   \
    } while (0)

namespace {

// The lines of text other than the menu line, and how many menu lines there were.
std::vector<std::string_view> OtherLines(std::string_view text, size_t* menu_lines) {
    std::vector<std::string_view> others;
    *menu_lines = 0;
    for (std::string_view line : menu::SplitLines(text)) {
        if (line == menu::kMenuLine) {
            ++*menu_lines;
        } else {
            others.push_back(line);
        }
    }
    return others;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = menu::SplitLines(input);

    // The other checks measure against SplitLines, so pin it down first: the
    // lines are the input's bytes in order, none holds a CR, each but a final
    // bare one ends at CR with an optional LF after it, and nothing is skipped.
    size_t pos = 0;
    for (std::string_view line : lines) {
        CHECK(pos < input.size());
        CHECK(line.find('\r') == std::string_view::npos);
        CHECK(input.substr(pos, line.size()) == line);
        pos += line.size();
        if (pos < input.size()) {
            CHECK(input[pos] == '\r');
            ++pos;
            if (pos < input.size() && input[pos] == '\n') ++pos;
        }
    }
    CHECK(pos == input.size());

    const std::string added = menu::AddMenuLine(input);

    // Idempotent.
    CHECK(menu::AddMenuLine(added) == added);

    // Every non-empty output ends in CR LF.
    CHECK(added.empty() ||
          (added.size() >= 2 && added.compare(added.size() - 2, 2, menu::kLineEnd) == 0));

    // Remove undoes Add, up to menu lines the input already had.
    const menu::Removal removed_from_input = menu::RemoveMenuLine(input);
    const menu::Removal removed_from_added = menu::RemoveMenuLine(added);
    CHECK(removed_from_added.text == removed_from_input.text);

    size_t input_menu_lines = 0;
    const std::vector<std::string_view> input_others = OtherLines(input, &input_menu_lines);
    CHECK(removed_from_input.removed == input_menu_lines);
    if (input_menu_lines == 0) {
        std::string crlf;
        for (std::string_view line : lines) {
            crlf.append(line);
            crlf.append(menu::kLineEnd);
        }
        CHECK(removed_from_added.text == crlf);
    }

    // Add inserts only menu lines, one per "***POP8" line not already after one.
    size_t added_menu_lines = 0;
    const std::vector<std::string_view> added_others = OtherLines(added, &added_menu_lines);
    CHECK(added_others == input_others);

    size_t expected_inserts = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == menu::kPop8Marker && (i == 0 || lines[i - 1] != menu::kMenuLine)) {
            ++expected_inserts;
        }
    }
    CHECK(added_menu_lines >= input_menu_lines);
    CHECK(added_menu_lines - input_menu_lines == expected_inserts);
    CHECK(removed_from_added.removed == added_menu_lines);
    return 0;
}
