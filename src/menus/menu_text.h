// The menu text transform: AutoCAD's menu source file as bytes in, bytes out.
// Works on raw bytes of the ANSI code page. The inserted line and the section
// marker are ASCII, and every ANSI code page keeps ASCII bytes as they are, so
// comparing bytes is comparing text and no other line is ever re-encoded.
#pragma once

#include <algorithm>
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

namespace detail {

// Walks the lines of text and hands emit() the output bytes in as few pieces
// as it can: a run of input lines that already end in CR LF goes out as one
// slice of the input, so a large menu is not copied line by line.
// keep(line, prev) decides for each line whether it stays; insertBefore(line,
// prev) whether the menu line goes out before it. Returns the number of
// lines dropped.
template <typename Keep, typename Insert, typename Emit>
size_t EmitLines(std::string_view text, Keep&& keep, Insert&& insertBefore, Emit&& emit) {
    size_t runStart = 0, runEnd = 0, dropped = 0, pos = 0;
    auto flush = [&](size_t restart) {
        if (runEnd > runStart) emit(text.substr(runStart, runEnd - runStart));
        runStart = runEnd = restart;
    };
    std::string_view prev;
    while (pos < text.size()) {
        const size_t cr = text.find('\r', pos);
        const size_t lineEnd = cr == std::string_view::npos ? text.size() : cr;
        const bool crlf = lineEnd + 1 < text.size() && text[lineEnd + 1] == '\n';
        const size_t next = crlf ? lineEnd + 2 : std::min(lineEnd + 1, text.size());
        const std::string_view line = text.substr(pos, lineEnd - pos);
        if (insertBefore(line, prev)) {
            flush(pos);
            emit(kMenuLine);
            emit(kLineEnd);
        }
        if (!keep(line)) {
            ++dropped;
            flush(next);
        } else if (crlf) {
            runEnd = next;  // the line and its CR LF are already as they must be
        } else {
            flush(next);
            emit(line);
            emit(kLineEnd);
        }
        prev = line;
        pos = next;
    }
    flush(pos);
    return dropped;
}

}  // namespace detail

// Hands emit() the text with the menu line inserted before every "***POP8"
// line that does not already follow it, every line ended by CR LF.
template <typename Emit>
void EmitAdded(std::string_view text, Emit&& emit) {
    detail::EmitLines(
        text, [](std::string_view) { return true; },
        [](std::string_view line, std::string_view prev) {
            return line == kPop8Marker && prev != kMenuLine;
        },
        emit);
}

// Hands emit() the text without its menu lines, every line ended by CR LF;
// returns how many were dropped.
template <typename Emit>
size_t EmitRemoved(std::string_view text, Emit&& emit) {
    return detail::EmitLines(
        text, [](std::string_view line) { return line != kMenuLine; },
        [](std::string_view, std::string_view) { return false; }, emit);
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
