#include "cui_text.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace cui {
namespace {

// One element of a document, in document order: offsets into the text, nothing copied.
struct Node {
    uint32_t begin;     // the '<' of the start tag
    uint32_t startEnd;  // one past the '>' of the start tag
    uint32_t end;       // one past the '>' of the end tag; startEnd for an empty element <x/>
    uint32_t next;      // index of the first node after this element and all it holds
};

constexpr uint32_t kNone = UINT32_MAX;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Names are compared as bytes; any byte of a multi-byte UTF-8 character may be in a name.
bool IsNameStart(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool StartsWith(std::string_view s, size_t pos, std::string_view prefix) {
    return pos <= s.size() && s.substr(pos, prefix.size()) == prefix;
}

size_t NameEnd(std::string_view s, size_t pos) {
    if (pos >= s.size() || !IsNameStart(s[pos])) return pos;
    while (pos < s.size() && IsNameChar(s[pos])) ++pos;
    return pos;
}

size_t SkipSpace(std::string_view s, size_t pos) {
    while (pos < s.size() && IsSpace(s[pos])) ++pos;
    return pos;
}

// Reads the reference at s[pos] == '&': one of the five predefined entities or a character
// reference to a character XML allows. On success pos is past the ';'.
bool ReadReference(std::string_view s, size_t& pos, uint32_t& code) {
    size_t q = pos + 1;
    if (q < s.size() && s[q] == '#') {
        ++q;
        const bool hex = q < s.size() && s[q] == 'x';
        if (hex) ++q;
        uint32_t value = 0;
        size_t digits = 0;
        for (; q < s.size(); ++q, ++digits) {
            const char c = s[q];
            uint32_t d;
            if (c >= '0' && c <= '9') {
                d = static_cast<uint32_t>(c - '0');
            } else if (hex && c >= 'a' && c <= 'f') {
                d = static_cast<uint32_t>(c - 'a' + 10);
            } else if (hex && c >= 'A' && c <= 'F') {
                d = static_cast<uint32_t>(c - 'A' + 10);
            } else {
                break;
            }
            value = value * (hex ? 16 : 10) + d;
            if (value > 0x10FFFF) return false;
        }
        if (digits == 0 || q >= s.size() || s[q] != ';' || !IsXmlChar(value)) return false;
        code = value;
        pos = q + 1;
        return true;
    }
    static constexpr struct {
        std::string_view name;
        char value;
    } kEntities[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    for (const auto& entity : kEntities) {
        if (StartsWith(s, q, entity.name)) {
            code = static_cast<unsigned char>(entity.value);
            pos = q + entity.name.size();
            return true;
        }
    }
    return false;
}

// The next character of text that has been read already: a byte, or a decoded reference.
uint32_t NextChar(std::string_view s, size_t& pos) {
    uint32_t code = static_cast<unsigned char>(s[pos]);
    if (s[pos] != '&' || !ReadReference(s, pos, code)) ++pos;
    return code;
}

// Appends the next character of text read already: a byte as it is, a reference as UTF-8.
void AppendChar(std::string& out, std::string_view s, size_t& pos) {
    uint32_t c = 0;
    if (s[pos] != '&' || !ReadReference(s, pos, c)) {
        out.push_back(s[pos++]);
        return;
    }
    auto byte = [](uint32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
    if (c < 0x80) {
        out.push_back(byte(c));
    } else if (c < 0x800) {
        out += {byte(0xC0 | (c >> 6)), byte(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
        out += {byte(0xE0 | (c >> 12)), byte(0x80 | ((c >> 6) & 0x3F)), byte(0x80 | (c & 0x3F))};
    } else {
        out += {byte(0xF0 | (c >> 18)), byte(0x80 | ((c >> 12) & 0x3F)),
                byte(0x80 | ((c >> 6) & 0x3F)), byte(0x80 | (c & 0x3F))};
    }
}

// A whole document read into its elements. Refuses what is not well-formed XML.
class Tree {
  public:
    std::string_view text;
    std::vector<Node> nodes;  // nodes[0] is the root

    bool Read(std::string_view s);

    std::string_view NameOf(uint32_t i) const {
        const size_t from = nodes[i].begin + 1;
        return text.substr(from, NameEnd(text, from) - from);
    }

    bool IsEmpty(uint32_t i) const { return nodes[i].startEnd == nodes[i].end; }

    // The '<' of the end tag (startEnd for an empty element).
    size_t EndTagBegin(uint32_t i) const {
        return IsEmpty(i) ? nodes[i].startEnd : text.rfind('<', nodes[i].end - 1);
    }

    // The raw value (between the quotes) of attribute name, or false.
    bool FindAttribute(uint32_t i, std::string_view name, std::string_view& value) const;

    // Whether attribute name is there and decodes to exactly expected (ASCII).
    bool AttributeIs(uint32_t i, std::string_view name, std::string_view expected) const;

    bool Is(uint32_t i, std::string_view name, std::string_view attribute,
            std::string_view expected) const {
        return NameOf(i) == name && AttributeIs(i, attribute, expected);
    }

    // Calls visit(child) for each child element of i, in order.
    template <typename Visit>
    void ForEachChild(uint32_t i, Visit&& visit) const {
        for (uint32_t c = i + 1; c < nodes[i].next; c = nodes[c].next) visit(c);
    }

    // The first child of i for which match(child) holds, or kNone.
    template <typename Match>
    uint32_t FindChild(uint32_t i, Match&& match) const {
        for (uint32_t c = i + 1; c < nodes[i].next; c = nodes[c].next) {
            if (match(c)) return c;
        }
        return kNone;
    }

    uint32_t LastChild(uint32_t i) const {
        uint32_t last = kNone;
        ForEachChild(i, [&](uint32_t c) { last = c; });
        return last;
    }

    // The character data directly inside element i (text and CDATA, references decoded).
    std::string TextOf(uint32_t i) const;

  private:
    bool ReadStartTag(size_t& pos, bool& empty);
    bool ReadAttributes(size_t& pos, bool declaration, bool& empty);
    bool ReadText(size_t& pos);
    bool ReadComment(size_t& pos);
    bool ReadInstruction(size_t& pos);
    bool ReadDeclaration(size_t& pos);

    std::vector<std::string_view> names_;  // attribute names of the tag being read
};

// Reads the attributes of a tag (each after whitespace) up to its close: "?>" for the
// declaration, else ">" or "/>" (then empty is set). On success pos is past the close and the
// attribute names are in names_.
bool Tree::ReadAttributes(size_t& pos, bool declaration, bool& empty) {
    const std::string_view s = text;
    size_t q = pos;
    names_.clear();
    for (;;) {
        const size_t before = q;
        q = SkipSpace(s, q);
        if (q >= s.size()) return false;
        if (declaration ? StartsWith(s, q, "?>") : StartsWith(s, q, "/>")) {
            empty = true;
            pos = q + 2;
            return true;
        }
        if (!declaration && s[q] == '>') {
            empty = false;
            pos = q + 1;
            return true;
        }
        if (q == before) return false;  // an attribute must follow whitespace
        const size_t nameBegin = q;
        q = NameEnd(s, q);
        if (q == nameBegin) return false;
        names_.push_back(s.substr(nameBegin, q - nameBegin));
        q = SkipSpace(s, q);
        if (q >= s.size() || s[q] != '=') return false;
        q = SkipSpace(s, q + 1);
        if (q >= s.size() || (s[q] != '"' && s[q] != '\'')) return false;
        const char quote = s[q++];
        while (q < s.size() && s[q] != quote) {
            uint32_t code;
            if (s[q] == '<') return false;
            if (s[q] == '&') {
                if (!ReadReference(s, q, code)) return false;
            } else {
                ++q;
            }
        }
        if (q >= s.size()) return false;
        ++q;
    }
}

bool Tree::ReadStartTag(size_t& pos, bool& empty) {
    size_t q = NameEnd(text, pos + 1);
    if (!ReadAttributes(q, false, empty)) return false;
    // No attribute twice in one tag.
    if (names_.size() > 1) {
        std::sort(names_.begin(), names_.end());
        if (std::adjacent_find(names_.begin(), names_.end()) != names_.end()) return false;
    }
    pos = q;
    return true;
}

bool Tree::ReadText(size_t& pos) {
    const std::string_view s = text;
    size_t q = pos;
    while (q < s.size() && s[q] != '<') {
        uint32_t code;
        if (s[q] == '&') {
            if (!ReadReference(s, q, code)) return false;
        } else if (s[q] == ']' && StartsWith(s, q, "]]>")) {
            return false;
        } else {
            ++q;
        }
    }
    pos = q;
    return true;
}

bool Tree::ReadComment(size_t& pos) {
    const size_t dashes = text.find("--", pos + 4);
    if (dashes == std::string_view::npos || !StartsWith(text, dashes + 2, ">")) return false;
    pos = dashes + 3;
    return true;
}

// A processing instruction other than the declaration: <?target ...?>.
bool Tree::ReadInstruction(size_t& pos) {
    const size_t nameBegin = pos + 2;
    const size_t nameEnd = NameEnd(text, nameBegin);
    if (nameEnd == nameBegin) return false;
    const std::string_view target = text.substr(nameBegin, nameEnd - nameBegin);
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l') {
        return false;  // the declaration only at the very start
    }
    if (StartsWith(text, nameEnd, "?>")) {
        pos = nameEnd + 2;
        return true;
    }
    if (nameEnd >= text.size() || !IsSpace(text[nameEnd])) return false;
    const size_t close = text.find("?>", nameEnd);
    if (close == std::string_view::npos) return false;
    pos = close + 2;
    return true;
}

// <?xml version="..." encoding="..." standalone="..."?>, encoding and standalone optional.
bool Tree::ReadDeclaration(size_t& pos) {
    size_t q = pos + 5;
    bool closed = false;
    if (!ReadAttributes(q, true, closed) || names_.empty() || names_[0] != "version") {
        return false;
    }
    size_t next = 1;
    if (next < names_.size() && names_[next] == "encoding") ++next;
    if (next < names_.size() && names_[next] == "standalone") ++next;
    if (next != names_.size()) return false;
    pos = q;
    return true;
}

bool Tree::Read(std::string_view s) {
    text = s;
    nodes.clear();
    if (s.size() >= kNone) return false;
    // Control characters XML does not allow anywhere.
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r') return false;
    }
    nodes.reserve(s.size() / 64 + 1);

    struct Open {
        uint32_t node;
        uint32_t nameSize;
    };
    std::vector<Open> open;
    size_t pos = StartsWith(s, 0, "\xEF\xBB\xBF") ? 3 : 0;
    if (StartsWith(s, pos, "<?xml") && pos + 5 < s.size() && IsSpace(s[pos + 5])) {
        if (!ReadDeclaration(pos)) return false;
    }
    bool rootDone = false;
    while (pos < s.size()) {
        if (s[pos] != '<') {
            if (open.empty()) {
                if (!IsSpace(s[pos])) return false;  // only whitespace around the root
                ++pos;
            } else if (!ReadText(pos)) {
                return false;
            }
            continue;
        }
        if (StartsWith(s, pos, "<!--")) {
            if (!ReadComment(pos)) return false;
        } else if (StartsWith(s, pos, "<?")) {
            if (!ReadInstruction(pos)) return false;
        } else if (StartsWith(s, pos, "<![CDATA[")) {
            const size_t close = s.find("]]>", pos + 9);
            if (open.empty() || close == std::string_view::npos) return false;
            pos = close + 3;
        } else if (StartsWith(s, pos, "</")) {
            if (open.empty()) return false;
            const Open top = open.back();
            const size_t nameBegin = nodes[top.node].begin + 1;
            if (s.substr(pos + 2, top.nameSize) != s.substr(nameBegin, top.nameSize)) return false;
            size_t q = pos + 2 + top.nameSize;
            if (q < s.size() && IsNameChar(s[q])) return false;  // a longer name
            q = SkipSpace(s, q);
            if (q >= s.size() || s[q] != '>') return false;
            pos = q + 1;
            nodes[top.node].end = static_cast<uint32_t>(pos);
            nodes[top.node].next = static_cast<uint32_t>(nodes.size());
            open.pop_back();
            if (open.empty()) rootDone = true;
        } else {
            // A start tag; anything else after '<' (a stray '<', "<!DOCTYPE") is refused.
            if (rootDone || pos + 1 >= s.size() || !IsNameStart(s[pos + 1])) return false;
            const uint32_t index = static_cast<uint32_t>(nodes.size());
            const uint32_t begin = static_cast<uint32_t>(pos);
            const uint32_t nameSize = static_cast<uint32_t>(NameEnd(s, pos + 1) - (pos + 1));
            bool empty = false;
            if (!ReadStartTag(pos, empty)) return false;
            const uint32_t startEnd = static_cast<uint32_t>(pos);
            nodes.push_back({begin, startEnd, startEnd, index + 1});
            if (!empty) {
                open.push_back({index, nameSize});
            } else if (open.empty()) {
                rootDone = true;
            }
        }
    }
    return rootDone && open.empty();
}

bool Tree::FindAttribute(uint32_t i, std::string_view name, std::string_view& value) const {
    const std::string_view s = text;
    size_t q = NameEnd(s, nodes[i].begin + 1);
    for (;;) {
        q = SkipSpace(s, q);
        if (q >= s.size() || s[q] == '>' || s[q] == '/') return false;
        const size_t nameBegin = q;
        q = NameEnd(s, q);
        const std::string_view found = s.substr(nameBegin, q - nameBegin);
        q = SkipSpace(s, q);
        q = SkipSpace(s, q + 1);  // past '='
        const char quote = s[q++];
        const size_t valueEnd = s.find(quote, q);
        if (found == name) {
            value = s.substr(q, valueEnd - q);
            return true;
        }
        q = valueEnd + 1;
    }
}

bool Tree::AttributeIs(uint32_t i, std::string_view name, std::string_view expected) const {
    std::string_view raw;
    if (!FindAttribute(i, name, raw)) return false;
    size_t pos = 0, k = 0;
    while (pos < raw.size()) {
        if (k >= expected.size() || NextChar(raw, pos) != static_cast<unsigned char>(expected[k])) {
            return false;
        }
        ++k;
    }
    return k == expected.size();
}

std::string Tree::TextOf(uint32_t i) const {
    std::string out;
    auto append = [&](size_t from, size_t to) {
        const std::string_view s = text.substr(0, to);
        size_t pos = from;
        while (pos < to) {
            if (StartsWith(s, pos, "<![CDATA[")) {
                const size_t close = s.find("]]>", pos + 9);
                out.append(s.substr(pos + 9, close - (pos + 9)));
                pos = close + 3;
            } else if (StartsWith(s, pos, "<!--")) {
                pos = s.find("-->", pos + 4) + 3;
            } else if (StartsWith(s, pos, "<?")) {
                pos = s.find("?>", pos + 2) + 2;
            } else {
                AppendChar(out, s, pos);
            }
        }
    };
    if (IsEmpty(i)) return out;
    size_t from = nodes[i].startEnd;
    ForEachChild(i, [&](uint32_t c) {
        append(from, nodes[c].begin);
        from = nodes[c].end;
    });
    append(from, EndTagBegin(i));
    return out;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

// ---- Where things are ----

// <MenuGroup Name="ACAD">: the root, or the first such child of the root.
uint32_t FindAcadGroup(const Tree& t) {
    auto isAcad = [&](uint32_t i) { return t.Is(i, "MenuGroup", "Name", "ACAD"); };
    if (isAcad(0)) return 0;
    return t.FindChild(0, isAcad);
}

// <PopMenu UID="ID_MnDraw"> among the children of a <PopMenuRoot>.
uint32_t FindDrawIn(const Tree& t, uint32_t popMenuRoot) {
    return t.FindChild(popMenuRoot,
                       [&](uint32_t i) { return t.Is(i, "PopMenu", "UID", "ID_MnDraw"); });
}

// In acad.cui: MenuGroup/MenuRoot/PopMenuRoot/PopMenu.
uint32_t FindDrawUnder(const Tree& t, uint32_t acad) {
    uint32_t draw = kNone;
    t.FindChild(acad, [&](uint32_t menuRoot) {
        if (t.NameOf(menuRoot) != "MenuRoot") return false;
        t.FindChild(menuRoot, [&](uint32_t popRoot) {
            if (t.NameOf(popRoot) == "PopMenuRoot") draw = FindDrawIn(t, popRoot);
            return draw != kNone;
        });
        return draw != kNone;
    });
    return draw;
}

// Calls visit(macro) for every <MenuMacro> of the macro groups of the ACAD group.
template <typename Visit>
void ForEachAcadMacro(const Tree& t, uint32_t acad, Visit&& visit) {
    t.ForEachChild(acad, [&](uint32_t group) {
        if (t.NameOf(group) != "MacroGroup") return;
        t.ForEachChild(group, [&](uint32_t macro) {
            if (t.NameOf(macro) == "MenuMacro") visit(macro);
        });
    });
}

uint32_t FindOurMacro(const Tree& t, uint32_t acad) {
    uint32_t found = kNone;
    ForEachAcadMacro(t, acad, [&](uint32_t macro) {
        if (found == kNone && t.AttributeIs(macro, "UID", kMacroUid)) found = macro;
    });
    return found;
}

// The raw MenuMacroID an item of a pull-down runs (PopMenuItem/MenuItem/MacroRef), or false.
bool ItemMacroId(const Tree& t, uint32_t item, std::string_view& id) {
    bool found = false;
    t.FindChild(item, [&](uint32_t menuItem) {
        if (t.NameOf(menuItem) != "MenuItem") return false;
        t.FindChild(menuItem, [&](uint32_t ref) {
            found = t.NameOf(ref) == "MacroRef" && t.FindAttribute(ref, "MenuMacroID", id);
            return found;
        });
        return found;
    });
    return found;
}

std::string Decoded(std::string_view raw) {
    std::string out;
    size_t pos = 0;
    while (pos < raw.size()) AppendChar(out, raw, pos);
    return out;
}

// Whether the Draw menu holds our item: the one with our UID, or any item whose macro in the
// ACAD group runs Ts_main.Ts_main.
bool DrawHoldsItem(const Tree& macros, uint32_t acad, const Tree& menus, uint32_t draw) {
    std::vector<std::string> ids;
    bool ours = false;
    menus.ForEachChild(draw, [&](uint32_t item) {
        if (ours || menus.NameOf(item) != "PopMenuItem") return;
        std::string_view id;
        if (menus.AttributeIs(item, "UID", kItemUid)) {
            ours = true;
        } else if (ItemMacroId(menus, item, id)) {
            ids.push_back(Decoded(id));
        }
    });
    if (ours) return true;
    if (ids.empty()) return false;
    std::sort(ids.begin(), ids.end());
    bool runsOurs = false;
    ForEachAcadMacro(macros, acad, [&](uint32_t macro) {
        std::string_view uid;
        if (runsOurs || !macros.FindAttribute(macro, "UID", uid) ||
            !std::binary_search(ids.begin(), ids.end(), Decoded(uid))) {
            return;
        }
        macros.FindChild(macro, [&](uint32_t body) {
            if (macros.NameOf(body) != "Macro") return false;
            macros.FindChild(body, [&](uint32_t command) {
                runsOurs = macros.NameOf(command) == "Command" &&
                           ContainsNoCase(macros.TextOf(command), "-VbaRun Ts_main.Ts_main");
                return runsOurs;
            });
            return runsOurs;
        });
    });
    return runsOurs;
}

bool IsOurUid(const Tree& t, uint32_t i, std::string_view* which) {
    for (const std::string_view uid : {kMacroUid, kItemUid, kMacroNameUid, kItemNameUid}) {
        if (t.AttributeIs(i, "UID", uid)) {
            *which = uid;
            return true;
        }
    }
    return false;
}

// Whether an element other than the reused macro (and what it holds) carries one of our UIDs.
bool UidInUse(const Tree& t, uint32_t reusedMacro) {
    const uint32_t count = static_cast<uint32_t>(t.nodes.size());
    for (uint32_t i = 0; i < count; ++i) {
        if (reusedMacro != kNone && i >= reusedMacro && i < t.nodes[reusedMacro].next) {
            // Our macro as it stands: its own UID and its name's are fine, the item's are not.
            std::string_view which;
            if (i != reusedMacro && IsOurUid(t, i, &which) && which != kMacroNameUid) return true;
            continue;
        }
        std::string_view which;
        if (IsOurUid(t, i, &which)) return true;
    }
    return false;
}

// ---- Where new text goes, and how it is laid out ----

bool IsLineEndChar(char c) { return c == '\n' || c == '\r'; }

// The start of the whitespace run that ends at pos.
size_t SpaceRunStart(std::string_view s, size_t pos) {
    while (pos > 0 && IsSpace(s[pos - 1])) --pos;
    return pos;
}

// The spaces and tabs before pos back to a line end (or the start of the text); false when
// something else comes first, so the element at pos does not begin its line.
bool IndentBefore(std::string_view s, size_t pos, std::string_view& indent) {
    size_t from = pos;
    while (from > 0 && (s[from - 1] == ' ' || s[from - 1] == '\t')) --from;
    if (from > 0 && !IsLineEndChar(s[from - 1])) return false;
    indent = s.substr(from, pos - from);
    return true;
}

// The last line end in the whitespace run before pos (CR LF, LF or CR), or false.
bool LineEndBefore(std::string_view s, size_t pos, std::string_view& lineEnd) {
    const size_t from = SpaceRunStart(s, pos);
    for (size_t i = pos; i > from; --i) {
        const char c = s[i - 1];
        if (c == '\n') {
            lineEnd = i - 1 > from && s[i - 2] == '\r' ? s.substr(i - 2, 2) : s.substr(i - 1, 1);
            return true;
        }
        if (c == '\r') {
            lineEnd = s.substr(i - 1, 1);
            return true;
        }
    }
    return false;
}

// The document's first line end, else AutoCAD's.
std::string_view DocumentLineEnd(std::string_view s) {
    const size_t at = s.find_first_of("\r\n");
    if (at == std::string_view::npos) return "\r\n";
    if (s[at] == '\r') return StartsWith(s, at + 1, "\n") ? s.substr(at, 2) : s.substr(at, 1);
    return s.substr(at, 1);
}

struct Layout {
    std::string_view lineEnd;
    std::string indent;  // of the new element's first line
    std::string step;    // added for each level of nesting
};

struct Line {
    int depth;
    std::string_view text;
};

// How a child of parent is laid out, taken from the child sample (kNone: parent has none).
Layout ChildLayout(const Tree& t, uint32_t parent, uint32_t sample) {
    const std::string_view s = t.text;
    Layout layout;
    std::string_view parentIndent, childIndent;
    const bool parentKnown = IndentBefore(s, t.nodes[parent].begin, parentIndent);
    const bool childKnown = sample != kNone && IndentBefore(s, t.nodes[sample].begin, childIndent);
    layout.step = "  ";
    if (parentKnown && childKnown && childIndent.size() > parentIndent.size() &&
        childIndent.substr(0, parentIndent.size()) == parentIndent) {
        layout.step = std::string(childIndent.substr(parentIndent.size()));
    }
    if (childKnown) {
        layout.indent = std::string(childIndent);
    } else if (parentKnown) {
        layout.indent = std::string(parentIndent) + layout.step;
    }
    const size_t lineSample = sample != kNone ? t.nodes[sample].begin : t.nodes[parent].begin;
    if (!LineEndBefore(s, lineSample, layout.lineEnd)) layout.lineEnd = DocumentLineEnd(s);
    return layout;
}

void AppendLines(std::string& out, const Layout& layout, std::initializer_list<Line> lines) {
    for (const Line& line : lines) {
        out.append(layout.lineEnd);
        out.append(layout.indent);
        for (int d = 0; d < line.depth; ++d) out.append(layout.step);
        out.append(line.text);
    }
}

void AppendMacro(std::string& out, const Layout& layout) {
    AppendLines(out, layout,
                {{0, "<MenuMacro UID=\"ID_TSDRAW\">"},
                 {1, "<Macro type=\"Any\">"},
                 {2, "<Revision MajorVersion=\"16\" MinorVersion=\"2\" UserVersion=\"1\" />"},
                 {2, "<Name xlate=\"true\" UID=\"XLS_TSDRAW_1\">Tesmora</Name>"},
                 {2, "<Command>^C^C_-VbaRun Ts_main.Ts_main </Command>"},
                 {1, "</Macro>"},
                 {0, "</MenuMacro>"}});
}

void AppendItem(std::string& out, const Layout& layout) {
    AppendLines(out, layout,
                {{0, "<PopMenuItem IsSeparator=\"false\" hasDiesel=\"false\" UID=\"PMIU_TSDRAW\">"},
                 {1, "<NameRef UID=\"XLS_TSDRAW_2\" xlate=\"true\">&amp;Tesmora</NameRef>"},
                 {1, "<MenuItem>"},
                 {2, "<MacroRef MenuMacroID=\"ID_TSDRAW\" />"},
                 {1, "</MenuItem>"},
                 {0, "</PopMenuItem>"}});
}

// Text going in at pos.
struct Insert {
    size_t pos;
    std::string text;
};

// Where new children of parent go: right after its last child, or right after its start tag.
size_t EndOfChildren(const Tree& t, uint32_t parent) {
    const uint32_t last = t.LastChild(parent);
    return last != kNone ? t.nodes[last].end : t.nodes[parent].startEnd;
}

// Our macro into the User group of the ACAD group, made after the last macro group when there
// is none (or first in the ACAD group when it has no macro group at all).
Refusal PlanMacro(const Tree& t, uint32_t acad, Insert& insert, bool& madeUserGroup) {
    const uint32_t user =
        t.FindChild(acad, [&](uint32_t i) { return t.Is(i, "MacroGroup", "Name", "User"); });
    if (user != kNone) {
        if (t.IsEmpty(user)) return Refusal::EmptyElement;
        insert.pos = EndOfChildren(t, user);
        AppendMacro(insert.text, ChildLayout(t, user, t.LastChild(user)));
        return Refusal::None;
    }
    if (t.IsEmpty(acad)) return Refusal::EmptyElement;
    uint32_t lastGroup = kNone;
    t.ForEachChild(acad, [&](uint32_t i) {
        if (t.NameOf(i) == "MacroGroup") lastGroup = i;
    });
    const uint32_t sample =
        lastGroup != kNone ? lastGroup : t.FindChild(acad, [](uint32_t) { return true; });
    const Layout group = ChildLayout(t, acad, sample);
    Layout macro = group;
    if (lastGroup != kNone) {
        macro = ChildLayout(t, lastGroup, t.LastChild(lastGroup));
        macro.lineEnd = group.lineEnd;
    } else {
        macro.indent = group.indent + group.step;
    }
    insert.pos = lastGroup != kNone ? t.nodes[lastGroup].end : t.nodes[acad].startEnd;
    AppendLines(insert.text, group, {{0, "<MacroGroup Name=\"User\">"}});
    AppendMacro(insert.text, macro);
    AppendLines(insert.text, group, {{0, "</MacroGroup>"}});
    madeUserGroup = true;
    return Refusal::None;
}

struct Plan {
    Refusal refusal = Refusal::None;
    bool hasItem = false;
    bool madeUserGroup = false;
    std::vector<Insert> macroInserts, menuInserts;
};

// What AddItem does, given the documents read. For acad.cui both trees are the same one.
Plan MakePlan(const Tree& macros, const Tree& menus, bool oneDocument) {
    Plan plan;
    const uint32_t acad = FindAcadGroup(macros);
    if (acad == kNone) {
        plan.refusal = Refusal::NoAcadGroup;
        return plan;
    }
    const uint32_t draw = oneDocument                        ? FindDrawUnder(menus, acad)
                          : menus.NameOf(0) == "PopMenuRoot" ? FindDrawIn(menus, 0)
                                                             : kNone;
    if (draw == kNone) {
        plan.refusal = Refusal::NoDrawMenu;
        return plan;
    }
    if (DrawHoldsItem(macros, acad, menus, draw)) {
        plan.hasItem = true;
        return plan;
    }
    const uint32_t reused = FindOurMacro(macros, acad);
    if (UidInUse(macros, reused) || (!oneDocument && UidInUse(menus, kNone))) {
        plan.refusal = Refusal::UidInUse;
        return plan;
    }
    if (menus.IsEmpty(draw)) {
        plan.refusal = Refusal::EmptyElement;
        return plan;
    }
    if (reused == kNone) {
        Insert macro;
        plan.refusal = PlanMacro(macros, acad, macro, plan.madeUserGroup);
        if (plan.refusal != Refusal::None) return plan;
        plan.macroInserts.push_back(std::move(macro));
    }
    Insert item;
    item.pos = EndOfChildren(menus, draw);
    AppendItem(item.text, ChildLayout(menus, draw, menus.LastChild(draw)));
    plan.menuInserts.push_back(std::move(item));
    return plan;
}

size_t InsertedBytes(const std::vector<Insert>& inserts) {
    size_t total = 0;
    for (const Insert& insert : inserts) total += insert.text.size();
    return total;
}

std::string ApplyInserts(std::string_view text, std::vector<Insert> inserts) {
    std::sort(inserts.begin(), inserts.end(),
              [](const Insert& a, const Insert& b) { return a.pos < b.pos; });
    std::string out;
    out.reserve(text.size() + InsertedBytes(inserts));
    size_t from = 0;
    for (const Insert& insert : inserts) {
        out.append(text.substr(from, insert.pos - from));
        out.append(insert.text);
        from = insert.pos;
    }
    out.append(text.substr(from));
    return out;
}

// ---- Removal ----

struct Cut {
    size_t begin, end;
};

// Our item and our macro, wherever they are, each with the whitespace run before it; and,
// when dropUserGroup is set, a User group of the ACAD group they leave holding only whitespace.
std::vector<Cut> PlanRemoval(const Tree& t, bool dropUserGroup) {
    std::vector<Cut> cuts;
    size_t cutEnd = 0;
    const uint32_t count = static_cast<uint32_t>(t.nodes.size());
    for (uint32_t i = 0; i < count; ++i) {
        if (t.nodes[i].begin < cutEnd) continue;  // inside one already taken out
        if (t.Is(i, "PopMenuItem", "UID", kItemUid) || t.Is(i, "MenuMacro", "UID", kMacroUid)) {
            cuts.push_back({SpaceRunStart(t.text, t.nodes[i].begin), t.nodes[i].end});
            cutEnd = t.nodes[i].end;
        }
    }
    const uint32_t acad = FindAcadGroup(t);
    if (!dropUserGroup || cuts.empty() || acad == kNone) return cuts;
    t.ForEachChild(acad, [&](uint32_t group) {
        if (t.IsEmpty(group) || !t.Is(group, "MacroGroup", "Name", "User")) return;
        const size_t contentEnd = t.EndTagBegin(group);
        auto first = std::lower_bound(cuts.begin(), cuts.end(), t.nodes[group].startEnd,
                                      [](const Cut& c, size_t pos) { return c.begin < pos; });
        auto last = first;
        size_t from = t.nodes[group].startEnd;
        bool onlySpace = true;
        for (; last != cuts.end() && last->end <= contentEnd; ++last) {
            for (size_t p = from; p < last->begin; ++p) onlySpace = onlySpace && IsSpace(t.text[p]);
            from = last->end;
        }
        for (size_t p = from; p < contentEnd; ++p) onlySpace = onlySpace && IsSpace(t.text[p]);
        if (first == last || !onlySpace) return;
        const Cut whole{SpaceRunStart(t.text, t.nodes[group].begin), t.nodes[group].end};
        *first = whole;
        cuts.erase(first + 1, last);
    });
    return cuts;
}

std::string ApplyCuts(std::string_view text, const std::vector<Cut>& cuts) {
    std::string out;
    size_t removed = 0;
    for (const Cut& cut : cuts) removed += cut.end - cut.begin;
    out.reserve(text.size() - removed);
    size_t from = 0;
    for (const Cut& cut : cuts) {
        out.append(text.substr(from, cut.begin - from));
        from = cut.end;
    }
    out.append(text.substr(from));
    return out;
}

// Reads one document, or says why not.
Refusal ReadDocument(std::string_view text, Tree& tree) {
    if (text.size() > kMaxSize) return Refusal::TooLarge;
    return tree.Read(text) ? Refusal::None : Refusal::NotXml;
}

Refusal ReadParts(std::string_view a, std::string_view b, Tree& ta, Tree& tb) {
    if (a.size() > kMaxSize || b.size() > kMaxSize) return Refusal::TooLarge;
    const Refusal first = ReadDocument(a, ta);
    return first != Refusal::None ? first : ReadDocument(b, tb);
}

bool HoldsOurs(const Tree& t) { return !PlanRemoval(t, false).empty(); }

// Runs body(result) and gives back its result; a failure to get memory (the
// only exception anything here throws) is a refusal, as for too large a file.
template <typename Result, typename Body>
Result Guarded(Body body) {
    try {
        Result result;
        body(result);
        return result;
    } catch (...) {
        Result refused;
        refused.refusal = Refusal::TooLarge;
        return refused;
    }
}

}  // namespace

Edit AddItem(std::string_view doc) {
    return Guarded<Edit>([&](Edit& edit) {
        Tree tree;
        edit.refusal = ReadDocument(doc, tree);
        if (edit.refusal != Refusal::None) return;
        Plan plan = MakePlan(tree, tree, true);
        edit.refusal = plan.refusal;
        if (plan.refusal != Refusal::None || plan.hasItem) return;
        std::vector<Insert> inserts = std::move(plan.menuInserts);
        for (Insert& insert : plan.macroInserts) inserts.push_back(std::move(insert));
        edit.text = ApplyInserts(doc, std::move(inserts));
        edit.changed = true;
        edit.madeUserGroup = plan.madeUserGroup;
    });
}

Edit RemoveItem(std::string_view doc, bool dropUserGroup) {
    return Guarded<Edit>([&](Edit& edit) {
        Tree tree;
        edit.refusal = ReadDocument(doc, tree);
        if (edit.refusal != Refusal::None) return;
        const std::vector<Cut> cuts = PlanRemoval(tree, dropUserGroup);
        if (cuts.empty()) return;
        edit.text = ApplyCuts(doc, cuts);
        edit.changed = true;
    });
}

PartsEdit AddItemToParts(std::string_view menuGroupPart, std::string_view popMenuRootPart) {
    return Guarded<PartsEdit>([&](PartsEdit& edit) {
        Tree macros, menus;
        edit.refusal = ReadParts(menuGroupPart, popMenuRootPart, macros, menus);
        if (edit.refusal != Refusal::None) return;
        Plan plan = MakePlan(macros, menus, false);
        edit.refusal = plan.refusal;
        if (plan.refusal != Refusal::None || plan.hasItem) return;
        if (!plan.macroInserts.empty()) {
            edit.macros = ApplyInserts(menuGroupPart, std::move(plan.macroInserts));
            edit.macrosChanged = true;
        }
        edit.menus = ApplyInserts(popMenuRootPart, std::move(plan.menuInserts));
        edit.menusChanged = true;
        edit.madeUserGroup = plan.madeUserGroup;
    });
}

PartsEdit RemoveItemFromParts(std::string_view menuGroupPart, std::string_view popMenuRootPart,
                              bool dropUserGroup) {
    return Guarded<PartsEdit>([&](PartsEdit& edit) {
        Tree macros, menus;
        edit.refusal = ReadParts(menuGroupPart, popMenuRootPart, macros, menus);
        if (edit.refusal != Refusal::None) return;
        const std::vector<Cut> macroCuts = PlanRemoval(macros, dropUserGroup);
        const std::vector<Cut> menuCuts = PlanRemoval(menus, false);
        if (!macroCuts.empty()) {
            edit.macros = ApplyCuts(menuGroupPart, macroCuts);
            edit.macrosChanged = true;
        }
        if (!menuCuts.empty()) {
            edit.menus = ApplyCuts(popMenuRootPart, menuCuts);
            edit.menusChanged = true;
        }
    });
}

Look LookAt(std::string_view doc) {
    return Guarded<Look>([&](Look& look) {
        Tree tree;
        look.refusal = ReadDocument(doc, tree);
        if (look.refusal != Refusal::None) return;
        const Plan plan = MakePlan(tree, tree, true);
        look.refusal = plan.refusal;
        look.hasItem = plan.hasItem;
        look.hasOurs = HoldsOurs(tree);
        look.macroBytes = InsertedBytes(plan.macroInserts);
        look.menuBytes = InsertedBytes(plan.menuInserts);
    });
}

Look LookAtParts(std::string_view menuGroupPart, std::string_view popMenuRootPart) {
    return Guarded<Look>([&](Look& look) {
        Tree macros, menus;
        look.refusal = ReadParts(menuGroupPart, popMenuRootPart, macros, menus);
        if (look.refusal != Refusal::None) return;
        const Plan plan = MakePlan(macros, menus, false);
        look.refusal = plan.refusal;
        look.hasItem = plan.hasItem;
        look.hasOurs = HoldsOurs(macros) || HoldsOurs(menus);
        look.macroBytes = InsertedBytes(plan.macroInserts);
        look.menuBytes = InsertedBytes(plan.menuInserts);
    });
}

}  // namespace cui
