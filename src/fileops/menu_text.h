// The menu text transform: AutoCAD's menu source file as bytes in, bytes out.
// Works on raw bytes of the ANSI code page. The inserted line and the section
// marker are ASCII, and every ANSI code page keeps ASCII bytes as they are, so
// comparing bytes is comparing text and no other line is ever re-encoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace menu {

inline constexpr std::string_view kMenuLine =
    "ID_TSDRAW      [&Tesmora]^C^C_-VbaRun Ts_main.Ts_main";
inline constexpr std::string_view kPop8Marker = "***POP8";
inline constexpr std::string_view kLineEnd = "\r\n";

// Splits text into lines: a line ends at CR, and a LF right after that CR
// belongs to the line end; a LF on its own stays inside the line. A last
// line without a line end is a line too; empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

// Calls visit(line) for every line of text, in order, without building a list.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t cr = text.find('\r', pos);
        if (cr == std::string_view::npos) {
            visit(text.substr(pos));
            return;
        }
        visit(text.substr(pos, cr - pos));
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
}

// Inserts the menu line before every "***POP8" line that does not already
// follow it. Every output line ends in CR LF.
std::string AddMenuLine(std::string_view text);

struct Removal {
    std::string text;       // every line but the menu line, each ended by CR LF
    size_t removed = 0;     // how many menu lines were dropped
};

// Drops every line equal to the menu line.
Removal RemoveMenuLine(std::string_view text);

}  // namespace menu
