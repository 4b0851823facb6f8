#include "cui_menu.h"

#include "file_ops.h"
#include "replacing_writer.h"

namespace menu {

namespace {

// Refusals carry this error; the problem says which.
constexpr DWORD kRefused = ERROR_INVALID_DATA;

// acad.cui: one XML document.
class CuiMenu final : public CustomizationMenu {
public:
    CuiMenu(const std::wstring& path, const std::wstring& word)
        : CustomizationMenu(path, word, cui::kMaxSize) {}

private:
    static Change ChangeOf(cui::Edit edit) {
        return {ProblemOf(edit.refusal), edit.changed, edit.madeUserGroup, std::move(edit.text)};
    }
    Change WithItem(std::string_view file) override { return ChangeOf(cui::AddItem(file)); }
    Change WithoutItem(std::string_view file, bool dropUserGroup) override {
        return ChangeOf(cui::RemoveItem(file, dropUserGroup));
    }
};

}  // namespace

CustomizationMenu::CustomizationMenu(const std::wstring& path, const std::wstring& word,
                                     uint64_t maxSize)
    : MenuFile(path), maxSize_(maxSize), madeGroup_(word == kMadeUserGroup) {}

DWORD CustomizationMenu::PatchedSize(uint64_t& size) {
    std::string file;
    if (const DWORD error = fileio::ReadWholeFile(Path(), file, maxSize_)) return error;
    const Change change = WithItem(file);
    if (change.problem != Problem::None) return kRefused;
    madeGroup_ = change.madeUserGroup;
    size = change.changed ? change.bytes.size() : file.size();
    return ERROR_SUCCESS;
}

std::wstring CustomizationMenu::RecordWord() const {
    return madeGroup_ ? kMadeUserGroup : L"";
}

Added CustomizationMenu::AddItem(Patcher&, module1::Copier&, fileio::Waiter& waiter) {
    Added added;
    std::string file;
    added.error = fileio::ReadWholeFile(Path(), file, maxSize_);
    if (added.error != ERROR_SUCCESS) {
        added.problem = ProblemOfRead(added.error);
        return added;
    }
    const Change change = WithItem(file);
    if (change.problem != Problem::None) {
        added.error = kRefused;
        added.problem = change.problem;
        return added;
    }
    if (!change.changed) return added;
    madeGroup_ = change.madeUserGroup;
    added.error = fileio::WriteFileReplacing(Path(), change.bytes, waiter);
    added.wroteInPlace = added.error == ERROR_SUCCESS;
    if (fileio::IsDiskFullError(added.error)) {
        added.fullAt = Path();
    } else if (added.error != ERROR_SUCCESS) {
        added.problem = Problem::Unwritable;
    }
    return added;
}

DWORD CustomizationMenu::RemoveItem(Patcher&, fileio::Waiter& waiter) {
    std::string file;
    const DWORD error = fileio::ReadWholeFile(Path(), file, maxSize_);
    if (fileio::IsMissingPathError(error)) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    const Change change = WithoutItem(file, madeGroup_);
    if (change.problem != Problem::None) return kRefused;
    return change.changed ? fileio::WriteFileReplacing(Path(), change.bytes, waiter) : ERROR_SUCCESS;
}

Problem ProblemOf(cui::Refusal refusal) {
    switch (refusal) {
        case cui::Refusal::None:
            return Problem::None;
        case cui::Refusal::NotXml:
            return Problem::NotXml;
        case cui::Refusal::NoAcadGroup:
            return Problem::NoAcadGroup;
        case cui::Refusal::NoDrawMenu:
            return Problem::NoDrawMenu;
        case cui::Refusal::UidInUse:
            return Problem::UidInUse;
        case cui::Refusal::TooLarge:
            return Problem::TooLarge;
        case cui::Refusal::EmptyElement:
            return Problem::Unchangeable;
    }
    return Problem::Unreadable;
}

std::unique_ptr<MenuFile> MakeCuiMenu(const std::wstring& path, const std::wstring& word,
                                      const MenuPlace&) {
    return std::make_unique<CuiMenu>(path, word);
}

}  // namespace menu
