#include "command_line.h"

namespace app {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool IsSwitch(const std::wstring& arg) {
    return !arg.empty() && (arg[0] == L'/' || arg[0] == L'-');
}

// Whether the switch `arg` is `name` (ASCII, lower case) in any case.
bool SwitchIs(const std::wstring& arg, std::wstring_view name) {
    if (arg.size() != name.size() + 1) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        wchar_t c = arg[i + 1];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != name[i]) return false;
    }
    return true;
}

}  // namespace

std::vector<std::wstring> SplitArguments(std::wstring_view line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) return args;
        std::wstring arg;
        size_t backslashes = 0;  // right before the current character
        int quotes = 0;          // 1 inside quotes; counts a run of quotes
        while (i < line.size() && !(quotes == 0 && IsBlank(line[i]))) {
            const wchar_t c = line[i++];
            if (c != L'"') {
                arg.push_back(c);
                backslashes = c == L'\\' ? backslashes + 1 : 0;
                continue;
            }
            // Half the backslashes stay; an odd one left over makes the quote
            // a character of the argument.
            arg.resize(arg.size() - backslashes / 2);
            if (backslashes % 2)
                arg.back() = L'"';
            else
                ++quotes;
            backslashes = 0;
            // In a run of quotes every third one is a literal quote.
            for (; i < line.size() && line[i] == L'"'; ++i) {
                if (++quotes == 3) {
                    arg.push_back(L'"');
                    quotes = 0;
                }
            }
            if (quotes == 2) quotes = 0;
        }
        args.push_back(std::move(arg));
    }
}

CommandLine ParseCommandLine(std::wstring_view line) {
    const std::vector<std::wstring> args = SplitArguments(line);
    CommandLine parsed;
    if (args.empty()) return parsed;
    bool install = false, uninstall = false, usage = false, invalid = false, logGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (!IsSwitch(arg)) {
            invalid = true;
        } else if (SwitchIs(arg, L"?")) {
            usage = true;
        } else if (SwitchIs(arg, L"install")) {
            install = true;
        } else if (SwitchIs(arg, L"uninstall")) {
            uninstall = true;
        } else if (SwitchIs(arg, L"dir") || SwitchIs(arg, L"log")) {
            // A switch where the value should be means the value is missing.
            if (i + 1 == args.size() || args[i + 1].empty() || IsSwitch(args[i + 1])) {
                invalid = true;
                continue;
            }
            const std::wstring& value = args[++i];
            if (SwitchIs(arg, L"dir")) {
                parsed.dirs.push_back(value);
            } else {
                invalid |= logGiven;
                logGiven = true;
                parsed.log = value;
            }
        } else {
            invalid = true;
        }
    }
    if (usage) {
        parsed.action = Action::Usage;
    } else if (invalid || install == uninstall || (uninstall && !parsed.dirs.empty())) {
        parsed.action = Action::Invalid;
    } else {
        parsed.action = install ? Action::Install : Action::Uninstall;
    }
    return parsed;
}

}  // namespace app
