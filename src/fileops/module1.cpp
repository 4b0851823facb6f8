#include "module1.h"

#include <windows.h>

#include <memory>
#include <set>
#include <new>
#include <vector>

#include "attributes.h"
#include "file_ops.h"
#include "long_path.h"
#include "replacing_writer.h"
#include "side_files.h"
#include "handles.h"

namespace module1 {

namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// Tells the user of a failed copy. A copy that failed before it reached the
// writer leaves a temporary file of a killed earlier run; it goes all the same.
void CopyFailed(const std::wstring& dest, ModuleHost& host) {
    fileio::RemoveStaleTemp(dest, host);
    host.MessageShow(kCopyError);
}

}  // namespace

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    const auto bare = [](const std::wstring& path) { return UpperCase(path.substr(0, path.find_last_not_of(L'\\') + 1)); };
    return bare(a) == bare(b);
}

bool ForEachCadDir(std::wstring root, ModuleHost& host,
                   Callback<bool(const std::wstring& folder)> found) {
    if (root.empty() || root.back() != L'\\') root += L'\\';

    const std::wstring pattern = root + L"*.*";
    WIN32_FIND_DATAW entry{};
    win::UniqueFind find(::FindFirstFileW(fileio::LongPath(pattern).c_str(), &entry));
    if (!find) {
        const DWORD error = ::GetLastError();
        return fileio::IsMissingPathError(error) || error == ERROR_NO_MORE_FILES;
    }
    do {
        // The listing yields folders and files alike, but never hidden or
        // system entries.
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        if (IsDotEntry(entry.cFileName)) continue;
        host.EventsService();
        const std::wstring path = root + entry.cFileName;
        const DWORD attributes = ::GetFileAttributesW(fileio::LongPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Gone between the listing and now: not a candidate.
            if (fileio::IsMissingPathError(::GetLastError())) continue;
            return false;
        }
        if (!attr::IsPlainFolder(attributes)) continue;
        if (UpperCase(path).find(L"CAD") != std::wstring::npos && found(path + L'\\')) return true;
    } while (::FindNextFileW(find.Get(), &entry));

    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

std::optional<std::wstring> CadDirFind(std::wstring root, ModuleHost& host) {
    std::wstring first;
    // The listing stops at the first match: one that fails found none before.
    if (!ForEachCadDir(std::move(root), host, [&](const std::wstring& folder) {
            first = folder;
            return true;
        }))
        return std::nullopt;
    return first;
}

bool HoldsAcadExe(const std::wstring& folder) { return fileio::FileExists(folder + L"acad.exe"); }

void FileCopy(const std::wstring& source, const std::wstring& dest, ModuleHost& host,
              Replaced replaced, fileio::Target look) {
    std::unique_ptr<char[]> buffer;
    auto out = std::make_unique<fileio::ReplacingWriter>(dest, host, look);
    DWORD error = fileio::WriteCopyOf(source, *out, buffer);
    if (error == ERROR_SUCCESS) error = out->Commit(replaced == Replaced::Keep);
    out.reset();
    if (error != ERROR_SUCCESS) CopyFailed(dest, host);
}

Copier::Copier(ModuleHost& host) : host_(host), batch_(host, *this) {}

void Copier::FileCopy(const std::wstring& source, const std::wstring& dest, Replaced replaced,
                      fileio::Target look, Tell tell) {
    if (!diskFullAt_.empty()) return;
    if (tell == Tell::ByCaller) toldByCaller_ = dest;
    batch_.AddCopy(source, dest, look, replaced == Replaced::Keep);
}

void Copier::TakeAsEqual(const std::wstring& dest, fileio::Target look) {
    if (!diskFullAt_.empty()) return;
    // A temporary file a killed run left beside it goes, as after a copy.
    if (look == fileio::Target::MayExist) fileio::RemoveStaleTemp(dest, host_);
    unchanged_.insert(dest);
}

bool Copier::NameStagedFolder(const std::wstring& folder) {
    const std::wstring staged = fileio::TempPathFor(folder);
    const std::wstring prefix = folder + L"\\";
    // Only whole copies take the folder's name: the file of a failed copy
    // that its writer could not delete goes now, or the files go one by one.
    std::set<std::wstring> whole;
    for (const Changed& file : changes_)
        if (file.dest.compare(0, prefix.size(), prefix) == 0) whole.insert(UpperCase(file.dest.substr(prefix.size())));
    std::vector<std::wstring> strays;
    ForEachEntry(staged + L"\\", [&](const Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !whole.count(UpperCase(entry.name)))
            strays.push_back(entry.name);
    });
    bool onlyWhole = true;
    for (const std::wstring& name : strays)
        onlyWhole &= fileio::Delete(fileio::LongPath(staged + L"\\" + name), host_) == ERROR_SUCCESS;
    if (onlyWhole) {
        // A scanner looking into the new folder holds it for a moment.
        fileio::Backoff backoff;
        DWORD error;
        do {
            error = fileio::Status(::MoveFileExW(fileio::LongPath(staged).c_str(), fileio::LongPath(folder).c_str(),
                                                 MOVEFILE_WRITE_THROUGH));
        } while ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) && backoff.Wait(host_));
        if (error == ERROR_SUCCESS) return true;
    }
    if (!::CreateDirectoryW(fileio::LongPath(folder).c_str(), nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            if (fileio::IsDiskFullError(error)) {
                diskFullAt_ = folder;
            } else {
                CopyFailed(folder, host_);
            }
            return false;
        }
    }
    for (auto file = changes_.begin(); file != changes_.end();) {
        if (file->dest.compare(0, prefix.size(), prefix) != 0) {
            ++file;
        } else if (fileio::Rename(fileio::LongPath(fileio::StagedPathFor(file->dest)),
                                  fileio::LongPath(file->dest), 0, host_) == ERROR_SUCCESS) {
            ++file;
        } else {
            CopyFailed(file->dest, host_);
            file = changes_.erase(file);
        }
    }
    fileio::RemoveFolder(staged, host_);
    return true;
}

void Copier::Committed(const std::wstring& dest, DWORD error, fileio::ReplacingWriter::Change change) {
    if (error != ERROR_SUCCESS) {
        Failed(dest, error);
    } else if (change != fileio::ReplacingWriter::Change::None) {
        changes_.push_back({dest, change});
    } else {
        unchanged_.insert(dest);
    }
}

void Copier::Failed(const std::wstring& dest, DWORD error) {
    if (fileio::IsDiskFullError(error) && diskFullAt_.empty()) diskFullAt_ = dest;
    if (diskFullAt_.empty()) {
        if (dest == toldByCaller_) {
            ++untoldCount_;
            untoldError_ = error;
            fileio::RemoveStaleTemp(dest, host_);
        } else {
            CopyFailed(dest, host_);
        }
    } else {
        fileio::RemoveStaleTemp(dest, host_);
    }
}

void ForEachEntry(const std::wstring& folder, Callback<void(const Entry& entry)> visit) {
    const std::wstring pattern = folder + L"*.*";
    WIN32_FIND_DATAW found{};
    win::UniqueFind find(::FindFirstFileW(fileio::LongPath(pattern).c_str(), &found));
    if (!find) return;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        visit({found.cFileName, found.dwFileAttributes,
               fileio::FileSize(found.nFileSizeHigh, found.nFileSizeLow),
               fileio::FileSize(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime)});
    } while (::FindNextFileW(find.Get(), &found));
}

bool RemoveStagedFolder(const std::wstring& folder, fileio::Waiter& waiter) {
    const std::wstring staged = fileio::TempPathFor(folder);
    std::vector<std::wstring> files;
    ForEachEntry(staged + L"\\", [&](const Entry& entry) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(entry.name);
    });
    for (const std::wstring& name : files) fileio::Delete(fileio::LongPath(staged + L"\\" + name), waiter);
    fileio::RemoveFolder(staged, waiter);
    return !fileio::FolderExists(staged);
}

std::vector<Entry> ListEntries(const std::wstring& folder, bool (*keep)(uint32_t attributes)) {
    std::vector<Entry> entries;
    ForEachEntry(folder, [&](const Entry& entry) {
        if (keep(entry.attributes)) entries.push_back(entry);
    });
    return entries;
}

std::vector<Entry> ListPlainFileEntries(const std::wstring& folder) {
    return ListEntries(folder, [](uint32_t attributes) { return attr::IsListedPlainFile(attributes); });
}

std::vector<std::wstring> ListPlainFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (Entry& entry : ListPlainFileEntries(folder)) names.push_back(std::move(entry.name));
    return names;
}

}  // namespace module1
