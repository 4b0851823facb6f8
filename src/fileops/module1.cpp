#include "module1.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "attributes.h"
#include "file_io.h"
#include "handles.h"

namespace module1 {

namespace {

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

constexpr DWORD kChunk = 256u << 10;

win::UniqueFile OpenForReading(const std::wstring& path) {
    return win::UniqueFile(::CreateFileW(fileio::LongPath(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads as much as fits into `buffer`, fewer bytes only at the end.
bool ReadFull(HANDLE file, char* buffer, DWORD size, DWORD& got) {
    got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(file, buffer + got, size - got, &n, nullptr)) return false;
        if (n == 0) break;
        got += n;
    }
    return true;
}

// Whether the file at `path` holds exactly the bytes of `source` (read from
// its start; it is rewound afterwards). Anything unreadable counts as
// different, so that it is kept.
bool SameBytes(HANDLE source, const std::wstring& path) {
    win::UniqueFile other = OpenForReading(path);
    LARGE_INTEGER a{}, b{};
    if (!other || !::GetFileSizeEx(source, &a) || !::GetFileSizeEx(other.Get(), &b) ||
        a.QuadPart != b.QuadPart)
        return false;
    const std::unique_ptr<char[]> left(new (std::nothrow) char[kChunk]);
    const std::unique_ptr<char[]> right(new (std::nothrow) char[kChunk]);
    if (!left || !right) return false;
    bool same = true;
    for (;;) {
        DWORD gotLeft = 0, gotRight = 0;
        if (!ReadFull(source, left.get(), kChunk, gotLeft) ||
            !ReadFull(other.Get(), right.get(), kChunk, gotRight) || gotLeft != gotRight ||
            std::memcmp(left.get(), right.get(), gotLeft) != 0) {
            same = false;
            break;
        }
        if (gotLeft == 0) break;
    }
    LARGE_INTEGER start{};
    ::SetFilePointerEx(source, start, nullptr, FILE_BEGIN);
    return same;
}

// Streams `source` into the replacing writer of `dest`; the target changes
// only once the whole source has been read and written beside it.
DWORD CopyWhole(const std::wstring& source, const std::wstring& dest, Replaced replaced,
                std::unique_ptr<char[]>& buffer) {
    win::UniqueFile in = OpenForReading(source);
    if (!in) return ::GetLastError();  // a folder cannot be opened like this either

    fileio::ReplacingWriter out(dest);
    if (const DWORD error = out.Open()) return error;
    // Only a file that is someone else's is kept: not one equal to ours (a
    // second install), and never over the first kept copy.
    const bool keep = replaced == Replaced::Keep && out.Replacing() &&
                      !fileio::FileExists(fileio::KeptPathFor(dest)) && !SameBytes(in.Get(), dest);
    // Not zero-filled: clearing a large buffer for each of a thousand small
    // pictures cost more than copying them.
    if (!buffer) buffer.reset(new (std::nothrow) char[kChunk]);
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.Get(), buffer.get(), kChunk, &got, nullptr)) return ::GetLastError();
        if (got == 0) break;
        if (const DWORD error = out.Write(std::string_view(buffer.get(), got))) return error;
        // A disk file reads short only at its end: no call to learn it again.
        if (got < kChunk) break;
    }
    in.Reset();  // a source copied onto itself must be closed before it is replaced
    return out.Commit(keep);
}

}  // namespace

std::optional<std::wstring> CadDirFind(std::wstring root, ModuleHost& host) {
    if (root.empty() || root.back() != L'\\') root += L'\\';

    const std::wstring pattern = root + L"*.*";
    WIN32_FIND_DATAW entry{};
    win::UniqueFind find(::FindFirstFileW(fileio::LongPath(pattern).c_str(), &entry));
    if (!find) {
        const DWORD error = ::GetLastError();
        if (fileio::IsMissingPathError(error) || error == ERROR_NO_MORE_FILES) return std::wstring();
        return std::nullopt;
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
            return std::nullopt;
        }
        if (!attr::IsPlainFolder(attributes)) continue;
        if (UpperCase(path).find(L"CAD") != std::wstring::npos) return path + L'\\';
    } while (::FindNextFileW(find.Get(), &entry));

    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return std::nullopt;
    return std::wstring();
}

void FileCopy(const std::wstring& source, const std::wstring& dest, ModuleHost& host,
              Replaced replaced) {
    Copier().FileCopy(source, dest, host, replaced);
}

void Copier::FileCopy(const std::wstring& source, const std::wstring& dest, ModuleHost& host,
                      Replaced replaced) {
    if (CopyWhole(source, dest, replaced, buffer_) != ERROR_SUCCESS) {
        // A copy that failed before it reached the writer leaves a temporary
        // file of a killed earlier run; it goes all the same.
        fileio::RemoveStaleTemp(dest);
        host.MessageShow(kCopyError);
    }
}

void ForEachEntry(const std::wstring& folder,
                  const std::function<void(const std::wstring& name, uint32_t attributes)>& visit) {
    const std::wstring pattern = folder + L"*.*";
    WIN32_FIND_DATAW entry{};
    win::UniqueFind find(::FindFirstFileW(fileio::LongPath(pattern).c_str(), &entry));
    if (!find) return;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        visit(entry.cFileName, entry.dwFileAttributes);
    } while (::FindNextFileW(find.Get(), &entry));
}

std::vector<std::wstring> ListFiles(const std::wstring& folder, bool (*keep)(uint32_t attributes)) {
    std::vector<std::wstring> names;
    ForEachEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        if (keep(attributes)) names.push_back(name);
    });
    return names;
}

std::vector<std::wstring> ListPlainFiles(const std::wstring& folder) {
    return ListFiles(folder, [](uint32_t attributes) { return attr::IsListedPlainFile(attributes); });
}

}  // namespace module1
