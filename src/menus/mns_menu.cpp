#include "mns_menu.h"

#include "file_ops.h"
#include "handles.h"
#include "long_path.h"
#include "menu_file.h"

namespace menu {

namespace {

class MnsMenu final : public MenuFile {
public:
    MnsMenu(const std::wstring& path, const MenuPlace& place)
        : MenuFile(path),
          patchedCopy_(PatchedCopyPath(place.appDir)),
          cadsOwn_(module1::UpperCase(path) == module1::UpperCase(place.cadDir + L"support\\acad.mns")) {}

    DWORD PatchedSize(uint64_t& size) override { return menu::PatchedSize(Path(), size); }

    std::wstring SideCopy() const override { return patchedCopy_; }

    Added AddItem(Patcher& patcher, module1::Copier& copier, fileio::Waiter&) override {
        Added added;
        added.error = patcher.MenuAdd(Path());
        if (fileio::IsDiskFullError(added.error)) {
            added.fullAt = patchedCopy_;
            return added;
        }
        if (added.error != ERROR_SUCCESS) {
            added.problem = ProblemOfMenuAdd(Path(), added.error);
            return added;
        }
        added.wroteSideCopy = true;
        // The menu's old content is its own minus our line: it is not kept.
        const size_t failedBefore = copier.UntoldCount();
        copier.FileCopy(patchedCopy_, Path(), module1::Replaced::Discard, fileio::Target::MayExist,
                        module1::Copier::Tell::ByCaller);
        copier.Finish();
        added.fullAt = copier.DiskFullAt();
        if (copier.UntoldCount() > failedBefore) {
            added.error = copier.UntoldError();
            added.problem = Problem::Unwritable;
        }
        return added;
    }

    DWORD RemoveItem(Patcher& patcher, fileio::Waiter& waiter) override {
        return cadsOwn_ ? patcher.MenuDel(Path()) : MenuItemRemove(Path(), waiter);
    }

private:
    std::wstring patchedCopy_;
    bool cadsOwn_;
};

}  // namespace

Problem ProblemOfMenuAdd(const std::wstring& fileName, DWORD error) {
    const Problem read = ProblemOfRead(error);
    if (read != Problem::Unreadable) return read;
    win::UniqueFile menu(::CreateFileW(fileio::LongPath(fileName).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    return menu ? Problem::CopyUnwritable : Problem::Unreadable;
}

std::unique_ptr<MenuFile> MakeMnsMenu(const std::wstring& path, const std::wstring&,
                                      const MenuPlace& place) {
    return std::make_unique<MnsMenu>(path, place);
}

}  // namespace menu
