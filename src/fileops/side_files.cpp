#include "side_files.h"

#include "file_ops.h"
#include "long_path.h"

namespace fileio {

namespace {

constexpr wchar_t kTempSuffix[] = L"~TsSetup.tmp";
constexpr wchar_t kKeptSuffix[] = L"~TsSetup.bak";

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::wstring TempPathFor(const std::wstring& target) { return target + kTempSuffix; }

std::wstring KeptPathFor(const std::wstring& target) { return target + kKeptSuffix; }

bool IsTempName(std::wstring_view name) { return EndsWith(name, kTempSuffix); }

std::optional<std::wstring> TargetOfKept(std::wstring_view path) {
    const std::wstring_view suffix = kKeptSuffix;
    if (path.size() <= suffix.size() || !EndsWith(path, suffix)) return std::nullopt;
    return std::wstring(path.substr(0, path.size() - suffix.size()));
}

void RemoveStaleTemp(const std::wstring& target, Waiter& waiter) {
    Delete(LongPath(TempPathFor(target)), waiter);
}

std::wstring StagedPathFor(const std::wstring& target) {
    const size_t slash = target.find_last_of(L'\\');
    return TempPathFor(target.substr(0, slash)) + target.substr(slash);
}

DWORD KeepOldFile(const std::wstring& target, bool& created, Waiter& waiter) {
    created = false;
    const std::wstring kept = LongPath(KeptPathFor(target));
    const std::wstring from = LongPath(target);
    // A second name for the old file: one step, nothing copied, nothing new
    // to flush.
    DWORD error = Retried(from, waiter, [&] {
        return Status(::CreateHardLinkW(kept.c_str(), from.c_str(), nullptr));
    });
    if (error == ERROR_SUCCESS) {
        created = true;
        return ERROR_SUCCESS;
    }
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return ERROR_SUCCESS;
    // A file system without hard links (FAT, some shares): a whole copy beside
    // it, on the disk before it is named, in one step, never over an existing
    // kept copy.
    const std::wstring temp = LongPath(TempPathFor(KeptPathFor(target)));
    error = Retried(from, waiter, [&] { return Status(::CopyFileW(from.c_str(), temp.c_str(), FALSE)); });
    if (error == ERROR_SUCCESS) {
        const win::UniqueFile copy = OpenForWriting(temp, OPEN_EXISTING, waiter);
        error = copy && ::FlushFileBuffers(copy.Get()) ? ERROR_SUCCESS : ::GetLastError();
    }
    if (error == ERROR_SUCCESS) error = Rename(temp, kept, 0, waiter);
    if (error != ERROR_SUCCESS) {
        Delete(temp, waiter);
        return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
    }
    created = true;
    return ERROR_SUCCESS;
}

DWORD PutBackKept(const std::wstring& target, bool& restored, Waiter& waiter) {
    restored = false;
    const std::wstring kept = LongPath(KeptPathFor(target));
    if (::GetFileAttributesW(kept.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return IsMissingPathError(error) ? ERROR_SUCCESS : error;
    }
    const std::wstring name = LongPath(target);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;
    if (const DWORD error = Rename(kept, name, MOVEFILE_REPLACE_EXISTING, waiter)) return error;
    restored = true;
    return ERROR_SUCCESS;
}

}  // namespace fileio
