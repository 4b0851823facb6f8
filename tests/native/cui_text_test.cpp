#include "cui_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

using cui::Refusal;

namespace {

std::string Lines(std::initializer_list<std::string> lines, const std::string& lineEnd = "\r\n") {
    std::string out;
    for (const std::string& line : lines) out += line + lineEnd;
    return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string WithCrLf(const std::string& lf) {
    std::string out;
    out.reserve(lf.size() + lf.size() / 16);
    for (const char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The macros, the Draw menu and one item of it, as AutoCAD writes them (without a User group).
const std::string kMacroGroups = Lines({
    "    <MacroGroup Name=\"ACADMacros\">",
    "      <MenuMacro UID=\"ID_Line\">",
    "        <Macro type=\"Draw\">",
    "          <Name xlate=\"true\" UID=\"ACAD_238\">Line</Name>",
    "          <Command>^C^C_line </Command>",
    "        </Macro>",
    "      </MenuMacro>",
    "    </MacroGroup>",
});
const std::string kDrawMenu = Lines({
    "        <PopMenu hasDiesel=\"false\" UID=\"ID_MnDraw\">",
    "          <Alias>POP7</Alias>",
    "          <Name xlate=\"true\" UID=\"ACAD_237\">&amp;Draw</Name>",
    "          <PopMenuItem IsSeparator=\"false\" hasDiesel=\"false\" UID=\"PMI_0264\">",
    "            <NameRef UID=\"ACAD_238\" xlate=\"true\">&amp;Line</NameRef>",
    "            <MenuItem>",
    "              <MacroRef MenuMacroID=\"ID_Line\" />",
    "            </MenuItem>",
    "          </PopMenuItem>",
    "        </PopMenu>",
});

std::string Doc(const std::string& macroGroups = kMacroGroups,
                const std::string& drawMenu = kDrawMenu) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- keep -->\r\n<CustSection>\r\n" +
           Lines({"  <FileVersion MajorVersion=\"0\" />", "  <MenuGroup Name=\"ACAD\">"}) +
           macroGroups + Lines({"    <MenuRoot>", "      <PopMenuRoot>"}) + drawMenu +
           Lines({"      </PopMenuRoot>", "    </MenuRoot>", "  </MenuGroup>", "</CustSection>"});
}

const std::string kUserGroup = Lines({
    "    <MacroGroup Name=\"User\">",
    "      <MenuMacro UID=\"ID__1\">",
    "        <Macro type=\"Any\">",
    "          <Name xlate=\"true\" UID=\"XLS_1\">Mine</Name>",
    "          <Command>^C^Cmine </Command>",
    "        </Macro>",
    "      </MenuMacro>",
    "    </MacroGroup>",
});

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Adds, checks the size LookAt foretold and that a second add changes nothing, removes, and
// checks the text came back byte for byte.
void ExpectRoundTrip(const std::string& doc, bool expectMadeGroup) {
    const cui::Look look = cui::LookAt(doc);
    const cui::Edit added = cui::AddItem(doc);
    ASSERT_EQ(added.refusal, Refusal::None);
    ASSERT_TRUE(added.changed);
    EXPECT_EQ(added.madeUserGroup, expectMadeGroup);
    EXPECT_EQ(added.text.size(), doc.size() + look.macroBytes + look.menuBytes);
    EXPECT_FALSE(look.hasItem || look.hasOurs);
    EXPECT_TRUE(cui::LookAt(added.text).hasItem);
    EXPECT_FALSE(cui::AddItem(added.text).changed);
    const cui::Edit removed = cui::RemoveItem(added.text, added.madeUserGroup);
    EXPECT_EQ(removed.refusal, Refusal::None);
    EXPECT_TRUE(removed.changed);
    EXPECT_TRUE(removed.text == doc) << "not given back byte for byte";
}

}  // namespace

TEST(CuiAdd, InsertsExactlyTheMacroInAMadeUserGroupAndTheItemLastInDraw) {
    const std::string doc = Doc();
    const cui::Edit added = cui::AddItem(doc);
    ASSERT_EQ(added.refusal, Refusal::None);
    EXPECT_TRUE(added.madeUserGroup);
    const std::string expected = Replaced(
        Replaced(doc, "    </MacroGroup>\r\n",
                 Lines({"    </MacroGroup>", "    <MacroGroup Name=\"User\">",
                        "      <MenuMacro UID=\"ID_TSDRAW\">", "        <Macro type=\"Any\">",
                        "          <Revision MajorVersion=\"16\" MinorVersion=\"2\" "
                        "UserVersion=\"1\" />",
                        "          <Name xlate=\"true\" UID=\"XLS_TSDRAW_1\">Tesmora</Name>",
                        "          <Command>^C^C_-VbaRun Ts_main.Ts_main </Command>",
                        "        </Macro>", "      </MenuMacro>", "    </MacroGroup>"})),
        "          </PopMenuItem>\r\n",
        Lines({"          </PopMenuItem>",
               "          <PopMenuItem IsSeparator=\"false\" hasDiesel=\"false\" "
               "UID=\"PMIU_TSDRAW\">",
               "            <NameRef UID=\"XLS_TSDRAW_2\" xlate=\"true\">&amp;Tesmora</NameRef>",
               "            <MenuItem>", "              <MacroRef MenuMacroID=\"ID_TSDRAW\" />",
               "            </MenuItem>", "          </PopMenuItem>"}));
    EXPECT_EQ(added.text, expected);
}

TEST(CuiAdd, MadeUserGroupIsDroppedOnlyWhileItHoldsNothingElse) {
    const std::string doc = Doc();
    ExpectRoundTrip(doc, true);

    // The user put a macro of their own after ours: the group stays, with their macro.
    const cui::Edit added = cui::AddItem(doc);
    const std::string theirs = Lines({"      <MenuMacro UID=\"ID__1\" />"});
    const std::string withTheirs = Replaced(added.text, "    </MacroGroup>\r\n    <MenuRoot>",
                                            theirs + "    </MacroGroup>\r\n    <MenuRoot>");
    const cui::Edit removed = cui::RemoveItem(withTheirs, true);
    EXPECT_EQ(removed.text, Replaced(doc, "    </MacroGroup>\r\n",
                                     "    </MacroGroup>\r\n    <MacroGroup Name=\"User\">\r\n" +
                                         theirs + "    </MacroGroup>\r\n"));

    // Without the flag the (then empty) group is the user's and stays.
    EXPECT_NE(cui::RemoveItem(added.text, false).text.find("<MacroGroup Name=\"User\">"),
              std::string::npos);
}

TEST(CuiAdd, GoesLastIntoAnExistingUserGroupAndReusesOurMacro) {
    const std::string doc = Doc(kMacroGroups + kUserGroup);
    ExpectRoundTrip(doc, false);
    const cui::Edit added = cui::AddItem(doc);
    EXPECT_LT(added.text.find("UID=\"ID__1\""), added.text.find("UID=\"ID_TSDRAW\""));
    EXPECT_LT(added.text.find("UID=\"ID_TSDRAW\""), added.text.find("<MenuRoot>"));

    // Our macro left behind (the item was taken out by hand): only the item goes in.
    const size_t item = added.text.find(
        "\r\n          <PopMenuItem IsSeparator=\"false\" "
        "hasDiesel=\"false\" UID=\"PMIU_TSDRAW\">");
    const size_t itemEnd = added.text.find("</PopMenuItem>", item) + 14;
    std::string withoutItem = added.text;
    withoutItem.erase(item, itemEnd - item);
    const cui::Edit again = cui::AddItem(withoutItem);
    ASSERT_TRUE(again.changed);
    EXPECT_FALSE(again.madeUserGroup);
    EXPECT_EQ(again.text, added.text);
}

TEST(CuiAdd, ChangesNothingWhenDrawAlreadyRunsTsMain) {
    // The user's own item for it, through a macro of their own.
    const std::string doc =
        Doc(Replaced(kMacroGroups + kUserGroup, "^C^Cmine ", "^C^C-vbarun Ts_main.Ts_main"),
            Replaced(kDrawMenu, "MenuMacroID=\"ID_Line\"", "MenuMacroID=\"ID__1\""));
    const cui::Edit added = cui::AddItem(doc);
    EXPECT_EQ(added.refusal, Refusal::None);
    EXPECT_FALSE(added.changed);
    EXPECT_TRUE(added.text.empty());
    EXPECT_TRUE(cui::LookAt(doc).hasItem);
}

TEST(CuiAdd, RefusesFilesThatCannotTakeTheItem) {
    const std::string doc = Doc();
    const struct {
        std::string text;
        Refusal refusal;
    } cases[] = {
        {Replaced(doc, "UID=\"ACAD_237\"", "UID=\"XLS_TSDRAW_2\""), Refusal::UidInUse},
        {Replaced(doc, "UID=\"ACAD_238\">Line", "UID=\"ID&#95;TSDRAW\">Line"), Refusal::UidInUse},
        {Replaced(doc, "UID=\"ID_MnDraw\"", "UID=\"ID_MnDrawing\""), Refusal::NoDrawMenu},
        {Replaced(doc, "Name=\"ACAD\"", "Name=\"acad\""), Refusal::NoAcadGroup},
        {Replaced(doc, "    <MenuRoot>", "    <MacroGroup Name=\"User\" />\r\n    <MenuRoot>"),
         Refusal::EmptyElement},
        {doc.substr(0, doc.size() / 2), Refusal::NotXml},
        {doc.substr(0, doc.size() - 4), Refusal::NotXml},
        {Replaced(doc, "<Alias>POP7", "<Alias>POP<7"), Refusal::NotXml},
        {Replaced(doc, "</Alias>", "</alias>"), Refusal::NotXml},
        {Replaced(doc, "hasDiesel=\"false\" UID", "hasDiesel=\"false\"UID"), Refusal::NotXml},
        {Replaced(doc, "hasDiesel=\"false\"", "hasDiesel=false"), Refusal::NotXml},
        {Replaced(doc, "hasDiesel=\"false\"", "UID=\"x\""), Refusal::NotXml},
        {Replaced(doc, "&amp;Draw", "&nbsp;Draw"), Refusal::NotXml},
        {doc + "<CustSection/>", Refusal::NotXml},
        {Replaced(doc, "<!-- keep -->", "<!DOCTYPE CustSection>"), Refusal::NotXml},
        {Replaced(doc, "<!-- keep -->", "<!-- a -- b -->"), Refusal::NotXml},
        {Replaced(doc, "<!-- keep -->", "<?xml version=\"1.0\"?>"), Refusal::NotXml},
        {std::string(cui::kMaxSize + 1, ' '), Refusal::TooLarge},
    };
    for (const auto& c : cases) {
        const cui::Edit added = cui::AddItem(c.text);
        EXPECT_EQ(added.refusal, c.refusal) << c.text.substr(0, 300);
        EXPECT_FALSE(added.changed);
        EXPECT_TRUE(added.text.empty());
    }
    const cui::Edit removed = cui::RemoveItem(doc.substr(0, doc.size() / 2), true);
    EXPECT_EQ(removed.refusal, Refusal::NotXml);
    EXPECT_FALSE(removed.changed);
    EXPECT_FALSE(cui::RemoveItem(doc, true).changed);
}

TEST(CuiRemove, TakesOutOnlyOursAfterAutoCadRewroteTheFile) {
    // Re-indented with tabs, the comment gone, our macro moved first, the user's item after ours.
    const std::string macro =
        "\n\t\t\t<MenuMacro UID=\"ID_TSDRAW\">\n\t\t\t\t<Macro type=\"Any\">"
        "<Command>^C^C_-VbaRun Ts_main.Ts_main </Command></Macro>\n\t\t\t</MenuMacro>";
    const std::string item =
        "\n\t\t\t\t<PopMenuItem UID=\"PMIU_TSDRAW\"><MenuItem><MacroRef "
        "MenuMacroID=\"ID_TSDRAW\"/></MenuItem></PopMenuItem>";
    const std::string theirs = "\n\t\t\t\t<PopMenuItem UID=\"PMIU_1\"></PopMenuItem>";
    const std::string before =
        "<?xml version='1.0'?>\n<CustSection>\n\t<MenuGroup Name='ACAD'>\n\t\t<MacroGroup "
        "Name='User'>";
    const std::string middle =
        "\n\t\t\t<MenuMacro UID='ID__1'/>\n\t\t</MacroGroup>\n\t\t<MenuRoot><PopMenuRoot>"
        "\n\t\t\t<PopMenu UID='ID_MnDraw'>\n\t\t\t\t<Name>Draw</Name>";
    const std::string after =
        "\n\t\t\t</PopMenu>\n\t\t</PopMenuRoot></MenuRoot>\n\t</MenuGroup>"
        "\n</CustSection>\n";
    const std::string rewritten = before + macro + middle + item + theirs + after;
    EXPECT_TRUE(cui::LookAt(rewritten).hasOurs);
    const cui::Edit removed = cui::RemoveItem(rewritten, true);
    EXPECT_EQ(removed.refusal, Refusal::None);
    EXPECT_EQ(removed.text, before + middle + theirs + after);
}

TEST(CuiParts, AddThenRemoveGivesBothPartsBack) {
    const std::string macros =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!--\r\nWarning!\r\n-->\r\n"
        "<MenuGroup Name=\"ACAD\" DisplayName=\"AutoCAD\">\r\n" +
        Lines({"  <MacroGroup Name=\"ACADMacros\">", "    <MenuMacro UID=\"ID_Line\" />",
               "  </MacroGroup>", "</MenuGroup>"});
    const std::string menus =
        "<?xml version=\"1.0\"?>\r\n<PopMenuRoot>\r\n" + kDrawMenu + "</PopMenuRoot>\r\n";
    const cui::PartsEdit added = cui::AddItemToParts(macros, menus);
    ASSERT_EQ(added.refusal, Refusal::None);
    EXPECT_TRUE(added.macrosChanged && added.menusChanged && added.madeUserGroup);
    EXPECT_NE(added.macros.find("  </MacroGroup>\r\n  <MacroGroup Name=\"User\">\r\n    "
                                "<MenuMacro UID=\"ID_TSDRAW\">\r\n      <Macro type=\"Any\">"),
              std::string::npos);
    const cui::PartsEdit again = cui::AddItemToParts(added.macros, added.menus);
    EXPECT_FALSE(again.macrosChanged || again.menusChanged);
    const cui::PartsEdit removed = cui::RemoveItemFromParts(added.macros, added.menus, true);
    EXPECT_TRUE(removed.macros == macros && removed.menus == menus);
    EXPECT_EQ(cui::AddItemToParts(macros, macros).refusal, Refusal::NoDrawMenu);
}

TEST(CuiRealFiles, AddThenRemoveGivesAcadCuiBackWithEitherLineEnd) {
    const std::filesystem::path file = std::filesystem::path(TS_SHARED_CUI) / "acad2007-kor.cui";
    if (!std::filesystem::is_regular_file(file)) GTEST_SKIP() << "no shared acad.cui at " << file;
    const std::string lf = ReadFile(file);
    ExpectRoundTrip(lf, false);
    const std::string crlf = WithCrLf(lf);
    ExpectRoundTrip(crlf, false);
    // Every line of what went in ends like the file's own lines.
    const cui::Edit added = cui::AddItem(crlf);
    EXPECT_EQ(added.text.size() - crlf.size(), (cui::AddItem(lf).text.size() - lf.size()) + 13);
}
