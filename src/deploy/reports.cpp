#include "reports.h"

#include "file_ops.h"
#include "long_path.h"
#include "messages.h"
#include "mns_menu.h"

namespace deploy {

std::wstring CadRunningText(const std::wstring& exePath) {
    return text::kCadRunning + exePath + text::kCloseCadFirst;
}

std::wstring MenuNotAddedText(const std::wstring& cadMenu, menu::Problem problem) {
    const wchar_t* reason = text::kMenuUnreadable;
    switch (problem) {
        case menu::Problem::Missing:
            reason = text::kMenuNotFound;
            break;
        case menu::Problem::TooLarge:
            reason = text::kMenuTooLarge;
            break;
        case menu::Problem::CopyUnwritable:
            reason = text::kMenuCopyUnwritable;
            break;
        case menu::Problem::Unwritable:
            reason = text::kMenuUnwritable;
            break;
        case menu::Problem::NotXml:
            reason = text::kMenuNotXml;
            break;
        case menu::Problem::NoAcadGroup:
            reason = text::kMenuNoAcadGroup;
            break;
        case menu::Problem::NoDrawMenu:
            reason = text::kMenuNoDraw;
            break;
        case menu::Problem::UidInUse:
            reason = text::kMenuUidInUse;
            break;
        case menu::Problem::Unchangeable:
            reason = text::kMenuUnchangeable;
            break;
        case menu::Problem::NotPackage:
            reason = text::kMenuNotPackage;
            break;
        case menu::Problem::NoParts:
            reason = text::kMenuNoParts;
            break;
        case menu::Problem::None:
        case menu::Problem::Unreadable:
            break;
    }
    return text::kMenuNotAdded + cadMenu + reason;
}

std::wstring MenusNotPatchedText(const std::vector<MenuFailure>& failed,
                                 const std::vector<std::wstring>& rivals,
                                 const std::vector<std::wstring>& looked) {
    std::wstring out;
    for (const MenuFailure& f : failed) {
        const menu::Problem problem = f.problem != menu::Problem::None ? f.problem
                                      : f.writing                      ? menu::Problem::Unwritable
                                                                       : menu::ProblemOfMenuAdd(f.menu, f.error);
        out += MenuNotAddedText(f.menu, problem);
        out += L"\r\n";
    }
    if (!rivals.empty()) {
        out += text::kMenuRivals;
        for (const std::wstring& folder : rivals) out += folder + L"\r\n";
    }
    if (failed.empty() && rivals.empty()) {
        out += text::kNoMenuFound;
        for (const std::wstring& place : looked) out += place + L"\r\n";
        return out + text::kNoMenuAdvice + text::kStartWithoutMenu;
    }
    return out + text::kWhereNoItem + text::kStartWithoutMenu;
}

std::wstring ProgramFolderUnwritableText(const std::wstring& appDir) {
    return text::kProgramFolderUnwritable + appDir + text::kCopyProgramFolder;
}

namespace {

// A count in decimal digits. std::to_wstring would link the C runtime's whole
// wide printf into the program for this one number.
std::wstring Decimal(size_t n) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + n % 10));
        n /= 10;
    } while (n > 0);
    return digits;
}

// A size in MB with one decimal, rounded up or down to it.
std::wstring Megabytes(uint64_t bytes, bool up) {
    constexpr uint64_t kMegabyte = 1u << 20;
    const uint64_t part = bytes % kMegabyte * 10;
    const uint64_t tenths = bytes / kMegabyte * 10 + (part + (up ? kMegabyte - 1 : 0)) / kMegabyte;
    return Decimal(static_cast<size_t>(tenths / 10)) + L'.' + static_cast<wchar_t>(L'0' + tenths % 10);
}

// The first few paths, one a line, then how many more.
std::wstring PathList(const std::vector<std::wstring>& paths) {
    std::wstring out;
    for (size_t i = 0; i < paths.size() && i < text::kMaxListed; ++i) out += paths[i] + L"\r\n";
    if (paths.size() > text::kMaxListed) {
        out += text::kMoreNotRemovedBefore + Decimal(paths.size() - text::kMaxListed) +
               text::kMoreNotRemovedAfter;
    }
    return out;
}

}  // namespace

std::wstring NotRemovedText(const std::vector<std::wstring>& paths) {
    return text::kNotRemoved + PathList(paths);
}

std::wstring NoRoomText(const std::vector<DriveSpace>& drives) {
    std::wstring out = text::kNoRoom;
    for (const DriveSpace& drive : drives) {
        if (!drive.IsShort()) continue;
        out += text::kDrive + DriveName(drive.root) + text::kNeeds + Megabytes(drive.Needed(), true) +
               text::kAvailable + Megabytes(drive.available, false) + text::kMegabytesEnd;
    }
    return out + text::kNoRoomNothingChanged;
}

std::wstring DiskFilledText(const std::wstring& root, const std::vector<std::wstring>& left) {
    std::wstring out = text::kDiskFilled + DriveName(root) + text::kDiskFilledStopped;
    out += left.empty() ? std::wstring(text::kAllTakenBack) : text::kPartLeft + PathList(left);
    return out + text::kFreeSpaceAndRetry;
}

}  // namespace deploy
