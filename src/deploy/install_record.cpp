#include "install_record.h"

#include "encoding.h"
#include "file_ops.h"
#include "long_path.h"
#include "replacing_writer.h"
#include "menu_text.h"

namespace deploy {

namespace {

// A record holds the folder and at most one path per file given back (tens
// of thousands of pictures at most); anything much larger is not one of ours.
constexpr uint64_t kMaxRecordSize = 16 * 1024 * 1024;

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::string EncodeInstallRecord(const std::wstring& cadDir, const GivenBack& givenBack,
                                const Pictures& pictures) {
    std::wstring text = cadDir + L"\r\n";
    for (const std::wstring& name : pictures) text += name + L"\r\n";
    for (const std::wstring& path : givenBack) text += path + L"\r\n";
    if (std::optional<std::string> ansi = enc::ToAnsiExact(text)) return std::move(*ansi);
    return std::string(enc::kUtf8Bom) + enc::ToUtf8(text);
}

DWORD WriteInstallRecord(const std::wstring& path, const InstallRecord& record,
                         fileio::Waiter& waiter) {
    return fileio::WriteFileReplacing(
        path, EncodeInstallRecord(record.cadDir, record.givenBack, record.pictures), waiter);
}

std::optional<std::vector<std::wstring>> DecodeInstallRecordLines(std::string_view bytes) {
    const bool utf8 = bytes.substr(0, enc::kUtf8Bom.size()) == enc::kUtf8Bom;
    if (utf8) bytes.remove_prefix(enc::kUtf8Bom.size());
    // The first line decides whether the record is text at all; a later
    // line that is not is no path of ours and is passed over.
    std::vector<std::wstring> lines;
    bool valid = true;
    menu::ForEachLine(bytes, [&](std::string_view line) {
        if (!valid || (!lines.empty() && line.empty())) return;
        std::optional<std::wstring> text = utf8 ? enc::FromUtf8(line) : enc::FromAnsi(line);
        if (text) {
            lines.push_back(std::move(*text));
        } else if (lines.empty()) {
            valid = false;
        }
    });
    if (!valid) return std::nullopt;
    if (lines.empty()) lines.emplace_back();
    return lines;
}

std::optional<std::wstring> DecodeInstallRecord(std::string_view bytes) {
    std::optional<std::vector<std::wstring>> lines = DecodeInstallRecordLines(bytes);
    if (!lines) return std::nullopt;
    return std::move(lines->front());
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
    std::optional<std::vector<std::wstring>> lines = DecodeInstallRecordLines(bytes);
    if (!lines) {
        record.status = RecordStatus::Unreadable;
        return record;
    }
    std::wstring* line = &lines->front();
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
    // A file given back is named by its full path; a picture by its name
    // alone, which never holds a "\".
    for (auto line = lines->begin() + 1; line != lines->end(); ++line) {
        if (line->find(L'\\') == std::wstring::npos) {
            record.pictures.push_back(std::move(*line));
        } else {
            record.givenBack.insert(std::move(*line));
        }
    }
    return record;
}

}  // namespace deploy
