#include "command_line.h"

#include <gtest/gtest.h>

using Args = std::vector<std::wstring>;

// CommandLineToArgvW's rules, with the examples of Windows' documentation.
TEST(SplitArguments, FollowsWindowsRulesForQuotesAndBackslashes) {
    EXPECT_EQ(app::SplitArguments(L" \t "), Args{});
    EXPECT_EQ(app::SplitArguments(L"\"abc\" d\te "), (Args{L"abc", L"d", L"e"}));
    EXPECT_EQ(app::SplitArguments(L"a\\\\b d\"e f\"g h"), (Args{L"a\\\\b", L"de fg", L"h"}));
    EXPECT_EQ(app::SplitArguments(L"a\\\\\\\"b c"), (Args{L"a\\\"b", L"c"}));
    EXPECT_EQ(app::SplitArguments(L"a\\\\\\\\\"b c\" d"), (Args{L"a\\\\b c", L"d"}));
    // A quote right after a closing one is a literal quote, outside quotes.
    EXPECT_EQ(app::SplitArguments(L"a\"b\"\" c \"\""), (Args{L"ab\"", L"c", L""}));
    // A folder's last backslash doubled before the closing quote stays one;
    // a single one makes the quote literal and takes in the rest.
    EXPECT_EQ(app::SplitArguments(L"/dir \"C:\\A B\\\\\" /log x"),
              (Args{L"/dir", L"C:\\A B\\", L"/log", L"x"}));
    EXPECT_EQ(app::SplitArguments(L"/dir \"C:\\A\\\" /log x"), (Args{L"/dir", L"C:\\A\" /log x"}));
}

TEST(ParseCommandLine, ReadsSwitchesInAnyCaseAndRefusesWhatItDoesNotKnow) {
    EXPECT_EQ(app::ParseCommandLine(L"  ").action, app::Action::Window);
    const app::CommandLine install = app::ParseCommandLine(
        L"/Install /dir \"C:\\AutoCAD 2014\" -DIR D:\\cad /LOG \"C:\\my logs\\ts.log\"");
    EXPECT_EQ(install.action, app::Action::Install);
    EXPECT_EQ(install.dirs, (Args{L"C:\\AutoCAD 2014", L"D:\\cad"}));
    EXPECT_EQ(install.log, L"C:\\my logs\\ts.log");
    EXPECT_EQ(app::ParseCommandLine(L"-log ts.log -UNINSTALL").action, app::Action::Uninstall);
    // Whoever asks for the usage gets it, whatever else was typed.
    EXPECT_EQ(app::ParseCommandLine(L"/install -? /nonsense").action, app::Action::Usage);

    for (const wchar_t* line :
         {L"/instal", L"install", L"/install extra", L"/install /uninstall", L"/log ts.log",
          L"/install /dir", L"/install /log /dir C:\\A", L"/install /dir \"\"",
          L"/install /log a /log b", L"/uninstall /dir C:\\A", L"/install /dir:C:\\A"}) {
        EXPECT_EQ(app::ParseCommandLine(line).action, app::Action::Invalid) << line;
    }
}
