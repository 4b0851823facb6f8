// acad.cuix as a MenuFile: the item goes into the package's PopMenuRoot.cui
// part, its macro into the MenuGroup.cui part, by the same transform as an
// acad.cui's; every other entry of the package stays as it is.
#include "cui_menu.h"
#include "cuix_package.h"
#include "file_ops.h"
#include "replacing_writer.h"

namespace menu {

namespace {

constexpr char kMacrosPart[] = "MenuGroup.cui";
constexpr char kMenusPart[] = "PopMenuRoot.cui";
constexpr DWORD kRefused = ERROR_INVALID_DATA;

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
    const int64_t offsetMinutes =
        (static_cast<int64_t>(fileio::FileSize(local.dwHighDateTime, local.dwLowDateTime)) -
         static_cast<int64_t>(fileio::FileSize(utc.dwHighDateTime, utc.dwLowDateTime))) /
        600000000;
    const unsigned offset = static_cast<unsigned>(offsetMinutes < 0 ? -offsetMinutes : offsetMinutes);
    const unsigned ticks =
        static_cast<unsigned>(fileio::FileSize(local.dwHighDateTime, local.dwLowDateTime) % 10000000);
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
    put(ticks, 7, offsetMinutes < 0 ? '-' : '+');
    put(offset / 60, 2, ':');
    put(offset % 60, 2, 0);
    return now;
}

class CuixMenu final : public MenuFile {
public:
    CuixMenu(const std::wstring& path, const std::wstring& word)
        : MenuFile(path), madeGroup_(word == kMadeUserGroup) {}

    DWORD PatchedSize(uint64_t& size) override {
        std::string package, patched;
        Added added = Patch(package, patched);
        if (added.error != ERROR_SUCCESS) return added.error;
        size = patched.empty() ? package.size() : patched.size();
        return ERROR_SUCCESS;
    }

    std::wstring RecordWord() const override { return madeGroup_ ? kMadeUserGroup : L""; }

    Added AddItem(Patcher&, module1::Copier&, fileio::Waiter& waiter) override {
        std::string package, patched;
        Added added = Patch(package, patched);
        if (added.error != ERROR_SUCCESS || patched.empty()) return added;
        added.error = fileio::WriteFileReplacing(Path(), patched, waiter);
        if (fileio::IsDiskFullError(added.error)) {
            added.fullAt = Path();
        } else if (added.error != ERROR_SUCCESS) {
            added.problem = Problem::Unwritable;
        }
        return added;
    }

    DWORD RemoveItem(Patcher&, fileio::Waiter& waiter) override {
        std::string package, macros, menus;
        const DWORD error = fileio::ReadWholeFile(Path(), package, cuix::kMaxSize);
        if (fileio::IsMissingPathError(error)) return ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return error;
        if (ReadParts(package, macros, menus) != cuix::Refusal::None) return kRefused;
        const cui::PartsEdit edit = cui::RemoveItemFromParts(macros, menus, madeGroup_);
        if (edit.refusal != cui::Refusal::None) return kRefused;
        std::string patched;
        if (Replace(package, edit, patched) != cuix::Refusal::None) return kRefused;
        return patched.empty() ? ERROR_SUCCESS : fileio::WriteFileReplacing(Path(), patched, waiter);
    }

private:
    static cuix::Refusal ReadParts(std::string_view package, std::string& macros, std::string& menus) {
        const cuix::Refusal refusal = cuix::ReadPart(package, kMacrosPart, macros);
        return refusal != cuix::Refusal::None ? refusal : cuix::ReadPart(package, kMenusPart, menus);
    }

    // The package with the parts `edit` changed; nothing when it changed
    // none.
    static cuix::Refusal Replace(std::string_view package, const cui::PartsEdit& edit, std::string& out) {
        std::vector<cuix::Replacement> parts;
        if (edit.macrosChanged) parts.push_back({kMacrosPart, edit.macros});
        if (edit.menusChanged) parts.push_back({kMenusPart, edit.menus});
        if (parts.empty()) return cuix::Refusal::None;
        const ChangeTime now = Now();
        return cuix::ReplaceParts(package, parts, now.text, now.dosTime, now.dosDate, out);
    }

    // Reads the package into `package` and makes `patched`, the package with
    // the item (empty when it holds the item already).
    Added Patch(std::string& package, std::string& patched) {
        Added added;
        added.error = fileio::ReadWholeFile(Path(), package, cuix::kMaxSize);
        if (added.error != ERROR_SUCCESS) {
            added.problem = fileio::IsMissingPathError(added.error) ? Problem::Missing
                            : added.error == ERROR_FILE_TOO_LARGE ||
                                    added.error == ERROR_NOT_ENOUGH_MEMORY
                                ? Problem::TooLarge
                                : Problem::Unreadable;
            return added;
        }
        std::string macros, menus;
        cuix::Refusal refusal = ReadParts(package, macros, menus);
        if (refusal == cuix::Refusal::None) {
            const cui::PartsEdit edit = cui::AddItemToParts(macros, menus);
            if (edit.refusal != cui::Refusal::None) {
                added.error = kRefused;
                added.problem = menu::ProblemOf(edit.refusal);
                return added;
            }
            madeGroup_ = edit.madeUserGroup;
            refusal = Replace(package, edit, patched);
        }
        if (refusal != cuix::Refusal::None) {
            added.error = kRefused;
            added.problem = ProblemOf(refusal);
        }
        return added;
    }

    bool madeGroup_;
};

}  // namespace

std::unique_ptr<MenuFile> MakeCuixMenu(const std::wstring& path, const std::wstring& word,
                                       const MenuPlace&) {
    return std::make_unique<CuixMenu>(path, word);
}

}  // namespace menu
