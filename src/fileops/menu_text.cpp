#include "menu_text.h"

namespace menu {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

namespace {

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append(kLineEnd);
}

}  // namespace

std::string AddMenuLine(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 256);
    std::string_view prev;
    ForEachLine(text, [&](std::string_view line) {
        if (line == kPop8Marker && prev != kMenuLine) AppendLine(out, kMenuLine);
        AppendLine(out, line);
        prev = line;
    });
    return out;
}

Removal RemoveMenuLine(std::string_view text) {
    Removal result;
    result.text.reserve(text.size() + text.size() / 32 + 2);
    ForEachLine(text, [&](std::string_view line) {
        if (line == kMenuLine) {
            ++result.removed;
        } else {
            AppendLine(result.text, line);
        }
    });
    return result;
}

}  // namespace menu
