#include "menu_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using menu::AddMenuLine;
using menu::RemoveMenuLine;
using menu::SplitLines;

namespace {

const std::string kLine(menu::kMenuLine);

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

// The six lines of the seventh and eighth pull-down menus around the marker.
const std::string kSixLines =
    Crlf({"***POP7", "**DRAW", "ID_Line [&Line]^C^C_line", "", "***POP8", "**DIMENSION"});

}  // namespace

TEST(SplitLines, EndsLinesAtCrAndKeepsALoneLfInsideTheLine) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\n"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\nb"), V({"a", "b"}));
    EXPECT_EQ(SplitLines("a\rb\r"), V({"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\r\n"), V{"a\nb"});
    EXPECT_EQ(SplitLines("\r\n\r\n"), V({"", ""}));
    EXPECT_EQ(SplitLines("a\r\r\nb"), V({"a", "", "b"}));
    EXPECT_EQ(SplitLines(std::string_view("a\0b\r", 4)), V{std::string_view("a\0b", 3)});
}

TEST(AddMenuLine, InsertsTheLineBetweenTheEmptyLineAndTheMarker) {
    EXPECT_EQ(AddMenuLine(kSixLines),
              Crlf({"***POP7", "**DRAW", "ID_Line [&Line]^C^C_line", "", kLine, "***POP8",
                    "**DIMENSION"}));
}

TEST(AddMenuLine, IsIdempotent) {
    const std::string once = AddMenuLine(kSixLines);
    EXPECT_EQ(AddMenuLine(once), once);
}

TEST(AddMenuLine, MarkerOnFirstLineAndEveryMarkerGetTheLine) {
    EXPECT_EQ(AddMenuLine("***POP8\r\nx"), Crlf({kLine, "***POP8", "x"}));
    EXPECT_EQ(AddMenuLine("a\r\n***POP8\r\nb\r\n***POP8\r\n"),
              Crlf({"a", kLine, "***POP8", "b", kLine, "***POP8"}));
    EXPECT_EQ(AddMenuLine("***POP8"), Crlf({kLine, "***POP8"}));
}

TEST(AddMenuLine, OnlyTheExactMarkerCounts) {
    for (const char* notMarker : {"***pop8", "***POP8 ", " ***POP8", "***POP80", "***POP8\t"}) {
        const std::string input = Crlf({"a", notMarker, "b"});
        EXPECT_EQ(AddMenuLine(input), input) << notMarker;
    }
}

TEST(AddMenuLine, ALineElsewhereDoesNotPreventTheInsertion) {
    EXPECT_EQ(AddMenuLine(Crlf({kLine, "x", "***POP8"})), Crlf({kLine, "x", kLine, "***POP8"}));
}

TEST(AddMenuLine, NormalisesLineEndsToCrLf) {
    // CR only, a missing final line end, and LF only (which makes one long line).
    EXPECT_EQ(AddMenuLine("a\r***POP8\rb"), Crlf({"a", kLine, "***POP8", "b"}));
    EXPECT_EQ(AddMenuLine("a\n***POP8\nb\n"), "a\n***POP8\nb\n\r\n");
    EXPECT_EQ(AddMenuLine("a\n\r***POP8\r\n"), Crlf({"a\n", kLine, "***POP8"}));
}

TEST(AddMenuLine, KeepsBytesThatAreNotValidText) {
    const std::string odd = std::string("\x81\x30\xff\xfe", 4) + std::string(1, '\0') + "\x5c";
    EXPECT_EQ(AddMenuLine(odd + "\r\n***POP8"), Crlf({odd, kLine, "***POP8"}));
}

TEST(RemoveMenuLine, GivesBackTheOriginalLinesEachEndedByCrLf) {
    const menu::Removal removal = RemoveMenuLine(AddMenuLine(kSixLines));
    EXPECT_EQ(removal.text, kSixLines);
    EXPECT_EQ(removal.removed, 1u);

    const menu::Removal several = RemoveMenuLine(kLine + "\r" + kLine + "\nx\r\n" + kLine);
    EXPECT_EQ(several.text, Crlf({kLine + "\nx"}));  // a lone LF joins two lines into one
    EXPECT_EQ(several.removed, 2u);
}

TEST(RemoveMenuLine, CountsNothingWhenTheLineIsAbsent) {
    const menu::Removal removal = RemoveMenuLine("a\nb");
    EXPECT_EQ(removal.removed, 0u);
    EXPECT_EQ(removal.text, "a\nb\r\n");
    EXPECT_EQ(RemoveMenuLine(kLine + " ").removed, 0u);
}

// Real menus written by others: every line but the inserted one passes through.
TEST(RealMenus, RoundTripKeepsEveryLine) {
    const std::filesystem::path folder = TS_SHARED_MENUS;
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no shared menus at " << folder;
    int seen = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        const std::string name = file.path().filename().string();
        if (name == "README.md") continue;
        std::ifstream in(file.path(), std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        const std::string lf = buffer.str();
        std::string crlf;
        for (char c : lf) {
            if (c == '\n') crlf += '\r';
            crlf += c;
        }
        const std::vector<std::string_view> lines = SplitLines(crlf);
        std::string expected;
        for (std::string_view line : lines) expected.append(line).append("\r\n");

        const std::string patched = AddMenuLine(crlf);
        std::vector<std::string_view> patchedLines = SplitLines(patched);
        std::vector<std::string_view> without;
        for (std::string_view line : patchedLines)
            if (line != menu::kMenuLine) without.push_back(line);
        EXPECT_EQ(without, lines) << name;
        EXPECT_EQ(RemoveMenuLine(patched).text, expected) << name;
        const bool hasMarker = crlf.find("\r\n***POP8\r\n") != std::string::npos;
        EXPECT_EQ(patchedLines.size() - lines.size(), hasMarker ? 1u : 0u) << name;
        ++seen;
    }
    EXPECT_EQ(seen, 4);
}
