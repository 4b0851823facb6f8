#include "cui_menu.h"

#include "file_ops.h"
#include "replacing_writer.h"

namespace menu {

namespace {

// Refusals carry this error; the problem says which.
constexpr DWORD kRefused = ERROR_INVALID_DATA;

class CuiMenu final : public MenuFile {
public:
    CuiMenu(const std::wstring& path, const std::wstring& word)
        : MenuFile(path), madeGroup_(word == kMadeUserGroup) {}

    DWORD PatchedSize(uint64_t& size) override {
        std::string doc;
        if (const DWORD error = fileio::ReadWholeFile(Path(), doc, cui::kMaxSize)) return error;
        const cui::Edit edit = cui::AddItem(doc);
        if (edit.refusal != cui::Refusal::None) return kRefused;
        madeGroup_ = edit.madeUserGroup;
        size = edit.changed ? edit.text.size() : doc.size();
        return ERROR_SUCCESS;
    }

    std::wstring RecordWord() const override { return madeGroup_ ? kMadeUserGroup : L""; }

    Added AddItem(Patcher&, module1::Copier&, fileio::Waiter& waiter) override {
        Added added;
        std::string doc;
        added.error = fileio::ReadWholeFile(Path(), doc, cui::kMaxSize);
        if (added.error != ERROR_SUCCESS) {
            added.problem = ProblemOfRead(added.error);
            return added;
        }
        const cui::Edit edit = cui::AddItem(doc);
        if (edit.refusal != cui::Refusal::None) {
            added.error = kRefused;
            added.problem = ProblemOf(edit.refusal);
            return added;
        }
        if (!edit.changed) return added;
        madeGroup_ = edit.madeUserGroup;
        added.error = fileio::WriteFileReplacing(Path(), edit.text, waiter);
        added.wroteInPlace = added.error == ERROR_SUCCESS;
        if (fileio::IsDiskFullError(added.error)) {
            added.fullAt = Path();
        } else if (added.error != ERROR_SUCCESS) {
            added.problem = Problem::Unwritable;
        }
        return added;
    }

    DWORD RemoveItem(Patcher&, fileio::Waiter& waiter) override {
        std::string doc;
        const DWORD error = fileio::ReadWholeFile(Path(), doc, cui::kMaxSize);
        if (fileio::IsMissingPathError(error)) return ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return error;
        const cui::Edit edit = cui::RemoveItem(doc, madeGroup_);
        if (edit.refusal != cui::Refusal::None) return kRefused;
        return edit.changed ? fileio::WriteFileReplacing(Path(), edit.text, waiter) : ERROR_SUCCESS;
    }

private:
    bool madeGroup_;
};

}  // namespace

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
