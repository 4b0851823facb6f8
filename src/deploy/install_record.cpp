#include "install_record.h"

#include "encoding.h"
#include "file_io.h"
#include "menu_text.h"

namespace deploy {

namespace {

// A record holds one path; anything much larger is not one of ours.
constexpr uint64_t kMaxRecordSize = 64 * 1024;

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::string EncodeInstallRecord(const std::wstring& cadDir) {
    std::string bytes;
    if (std::optional<std::string> ansi = enc::ToAnsiExact(cadDir)) {
        bytes = std::move(*ansi);
    } else {
        bytes = std::string(enc::kUtf8Bom) + enc::ToUtf8(cadDir);
    }
    bytes += menu::kLineEnd;
    return bytes;
}

DWORD WriteInstallRecord(const std::wstring& path, const std::wstring& cadDir) {
    return fileio::WriteFileReplacing(path, EncodeInstallRecord(cadDir));
}

std::optional<std::wstring> DecodeInstallRecord(std::string_view bytes) {
    const bool utf8 = bytes.substr(0, enc::kUtf8Bom.size()) == enc::kUtf8Bom;
    if (utf8) bytes.remove_prefix(enc::kUtf8Bom.size());
    std::string_view firstLine;
    menu::ForEachLine(bytes, [&, first = true](std::string_view line) mutable {
        if (first) firstLine = line;
        first = false;
    });
    return utf8 ? enc::FromUtf8(firstLine) : enc::FromAnsi(firstLine);
}

bool IsAbsoluteFolderPath(const std::wstring& path) {
    if (path.size() < 3 || path.back() != L'\\') return false;
    if (path.find(L'\0') != std::wstring::npos) return false;
    if (IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return true;
    // UNC: "\\server\share\" at least, with non-empty server and share.
    if (path.size() >= 6 && path[0] == L'\\' && path[1] == L'\\') {
        const size_t server = path.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) return false;
        const size_t share = path.find(L'\\', server + 1);
        return share != std::wstring::npos && share > server + 1;
    }
    return false;
}

InstallRecord ReadInstallRecord(const std::wstring& path) {
    InstallRecord record;
    std::string bytes;
    const DWORD error = fileio::ReadWholeFile(path, bytes, kMaxRecordSize);
    if (error == ERROR_FILE_TOO_LARGE) {
        record.status = RecordStatus::Invalid;
        return record;
    }
    if (fileio::IsMissingPathError(error)) {
        record.status = RecordStatus::Missing;
        return record;
    }
    if (error != ERROR_SUCCESS) {
        record.status = RecordStatus::Unreadable;
        return record;
    }
    std::optional<std::wstring> line = DecodeInstallRecord(bytes);
    if (!line) {
        record.status = RecordStatus::Unreadable;
        return record;
    }
    if (!IsAbsoluteFolderPath(*line)) {
        record.status = RecordStatus::Invalid;
        return record;
    }
    const DWORD attributes = ::GetFileAttributesW(fileio::LongPath(*line).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        record.status = RecordStatus::FolderGone;
        record.cadDir = std::move(*line);
        return record;
    }
    record.status = RecordStatus::Usable;
    record.cadDir = std::move(*line);
    return record;
}

}  // namespace deploy
