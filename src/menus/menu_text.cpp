#include "menu_text.h"

namespace menu {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

std::string AddMenuLine(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 256);
    EmitAdded(text, [&](std::string_view piece) { out.append(piece); });
    return out;
}

Removal RemoveMenuLine(std::string_view text) {
    Removal result;
    result.text.reserve(text.size() + text.size() / 32 + 2);
    result.removed = EmitRemoved(text, [&](std::string_view piece) { result.text.append(piece); });
    return result;
}

}  // namespace menu
