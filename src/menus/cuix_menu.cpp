// acad.cuix as a MenuFile: the item goes into the package's PopMenuRoot.cui
// part, its macro into the MenuGroup.cui part, by the same transform as an
// acad.cui's; every other entry of the package stays as it is, and a
// package that already holds the item is not written again.
#include "cui_menu.h"
#include "cuix_package.h"
#include "file_ops.h"

namespace menu {

namespace {

constexpr char kMacrosPart[] = "MenuGroup.cui";
constexpr char kMenusPart[] = "PopMenuRoot.cui";

Problem ProblemOf(cuix::Refusal refusal) {
    switch (refusal) {
        case cuix::Refusal::None:
            return Problem::None;
        case cuix::Refusal::TooLarge:
            return Problem::TooLarge;
        case cuix::Refusal::NoPart:
            return Problem::NoParts;
        default:
            return Problem::NotPackage;
    }
}

// The time of a change as the package's part listing writes it, local time
// with its offset from UTC ("2026-12-09T13:40:12.1234567+08:00"), and as a
// zip entry's DOS date and time.
struct ChangeTime {
    std::string text;
    WORD dosDate = 0, dosTime = 0;
};

ChangeTime Now() {
    FILETIME utc, local;
    ::GetSystemTimeAsFileTime(&utc);
    ::FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME t;
    ::FileTimeToSystemTime(&local, &t);
    ChangeTime now;
    ::FileTimeToDosDateTime(&local, &now.dosDate, &now.dosTime);
    const uint64_t localTicks = fileio::FileSize(local.dwHighDateTime, local.dwLowDateTime);
    const uint64_t utcTicks = fileio::FileSize(utc.dwHighDateTime, utc.dwLowDateTime);
    const int64_t offsetMinutes =
        (static_cast<int64_t>(localTicks) - static_cast<int64_t>(utcTicks)) / 600000000;
    const unsigned offset = static_cast<unsigned>(offsetMinutes < 0 ? -offsetMinutes : offsetMinutes);
    // Digits by hand: the C runtime's printf would add much to the program.
    auto put = [&](unsigned n, int digits, char after) {
        std::string part(digits, '0');
        for (int i = digits - 1; i >= 0; --i, n /= 10) part[i] = static_cast<char>('0' + n % 10);
        now.text += part;
        if (after) now.text += after;
    };
    put(t.wYear, 4, '-');
    put(t.wMonth, 2, '-');
    put(t.wDay, 2, 'T');
    put(t.wHour, 2, ':');
    put(t.wMinute, 2, ':');
    put(t.wSecond, 2, '.');
    put(static_cast<unsigned>(localTicks % 10000000), 7, offsetMinutes < 0 ? '-' : '+');
    put(offset / 60, 2, ':');
    put(offset % 60, 2, 0);
    return now;
}

class CuixMenu final : public CustomizationMenu {
public:
    CuixMenu(const std::wstring& path, const std::wstring& word)
        : CustomizationMenu(path, word, cuix::kMaxSize) {}

private:
    Change WithItem(std::string_view package) override {
        std::string macros, menus;
        if (const Problem problem = ReadParts(package, macros, menus); problem != Problem::None)
            return {problem, false, false, {}};
        return Repackaged(package, cui::AddItemToParts(macros, menus));
    }
    Change WithoutItem(std::string_view package, bool dropUserGroup) override {
        std::string macros, menus;
        if (const Problem problem = ReadParts(package, macros, menus); problem != Problem::None)
            return {problem, false, false, {}};
        return Repackaged(package, cui::RemoveItemFromParts(macros, menus, dropUserGroup));
    }

    static Problem ReadParts(std::string_view package, std::string& macros, std::string& menus) {
        cuix::Refusal refusal = cuix::ReadPart(package, kMacrosPart, macros);
        if (refusal == cuix::Refusal::None) refusal = cuix::ReadPart(package, kMenusPart, menus);
        return ProblemOf(refusal);
    }

    // The package with the parts `parts` changed; unchanged, and not
    // written, when it changed neither.
    static Change Repackaged(std::string_view package, const cui::PartsEdit& parts) {
        Change change{menu::ProblemOf(parts.refusal), false, false, {}};
        if (change.problem != Problem::None) return change;
        std::vector<cuix::Replacement> replaced;
        if (parts.macrosChanged) replaced.push_back({kMacrosPart, parts.macros});
        if (parts.menusChanged) replaced.push_back({kMenusPart, parts.menus});
        if (replaced.empty()) return change;
        const ChangeTime now = Now();
        change.problem = ProblemOf(
            cuix::ReplaceParts(package, replaced, now.text, now.dosTime, now.dosDate, change.bytes));
        change.changed = change.problem == Problem::None;
        change.madeUserGroup = parts.madeUserGroup;
        return change;
    }
};

}  // namespace

std::unique_ptr<MenuFile> MakeCuixMenu(const std::wstring& path, const std::wstring& word,
                                       const MenuPlace&) {
    return std::make_unique<CuixMenu>(path, word);
}

}  // namespace menu
