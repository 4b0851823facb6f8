#include "install_record.h"

#include "encoding.h"
#include "file_ops.h"
#include "long_path.h"
#include "replacing_writer.h"
#include "menu_text.h"
#include "module1.h"

namespace deploy {

namespace {

// A record holds the folder and at most one path per file given back (tens
// of thousands of pictures at most); anything much larger is not one of ours.
constexpr uint64_t kMaxRecordSize = 16 * 1024 * 1024;

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

constexpr std::wstring_view kMenuTag = L":menu ";
constexpr std::wstring_view kFileTag = L":file ";
constexpr std::wstring_view kCadTag = L":cad ";
// Two numbers of 16 hex digits, each followed by a blank.
constexpr size_t kOwnedPathAt = 34;

void AppendHex(std::wstring& text, uint64_t n) {
    for (int shift = 60; shift >= 0; shift -= 4) text += L"0123456789ABCDEF"[(n >> shift) & 15];
}

bool IsOwnedKey(std::wstring_view key) {
    if (key.size() <= kOwnedPathAt || key[16] != L' ' || key[33] != L' ') return false;
    for (size_t i = 0; i < 33; ++i)
        if (i != 16 && !((key[i] >= L'0' && key[i] <= L'9') || (key[i] >= L'A' && key[i] <= L'F')))
            return false;
    return true;
}

}  // namespace

std::wstring OwnedKey(const std::wstring& path, uint64_t size, uint64_t time) {
    std::wstring key;
    key.reserve(kOwnedPathAt + path.size());
    AppendHex(key, size);
    key += L' ';
    AppendHex(key, time);
    key += L' ';
    return key += path;
}

std::wstring_view OwnedKeyPath(std::wstring_view key) { return key.substr(kOwnedPathAt); }

std::vector<std::wstring> InstallRecord::CadDirs() const {
    std::vector<std::wstring> dirs{cadDir};
    for (const RecordedCad& cad : more) dirs.push_back(cad.cadDir);
    return dirs;
}

bool RecordNames(const InstallRecord& record, const std::wstring& cadDir, Pictures* pictures) {
    if (record.status != RecordStatus::Usable) return false;
    if (module1::SameFolder(record.cadDir, cadDir)) {
        if (pictures) *pictures = record.pictures;
        return true;
    }
    for (const RecordedCad& cad : record.more) {
        if (!module1::SameFolder(cad.cadDir, cadDir)) continue;
        if (pictures) *pictures = cad.pictures;
        return true;
    }
    return false;
}

std::wstring MenuWord(const InstallRecord& record, const std::wstring& path) {
    for (const std::wstring& entry : record.menuWords) {
        const size_t blank = entry.find(L' ');
        if (module1::UpperCase(entry.substr(blank + 1)) == module1::UpperCase(path))
            return entry.substr(0, blank);
    }
    return std::wstring();
}

std::string EncodeInstallRecord(const InstallRecord& record) {
    std::wstring text = record.cadDir + L"\r\n";
    for (const std::wstring& name : record.pictures) text += name + L"\r\n";
    for (const std::wstring& path : record.givenBack) text += path + L"\r\n";
    for (const std::wstring& path : record.menus) {
        text.append(kMenuTag);
        const std::wstring word = MenuWord(record, path);
        if (!word.empty()) text.append(word) += L' ';
        text.append(path) += L"\r\n";
    }
    for (const std::wstring& key : record.owned) text.append(kFileTag).append(key) += L"\r\n";
    for (const RecordedCad& cad : record.more) {
        text.append(kCadTag).append(cad.cadDir) += L"\r\n";
        for (const std::wstring& name : cad.pictures) text += name + L"\r\n";
    }
    if (std::optional<std::string> ansi = enc::ToAnsiExact(text)) return std::move(*ansi);
    return std::string(enc::kUtf8Bom) + enc::ToUtf8(text);
}

std::string EncodeInstallRecord(const std::wstring& cadDir, const GivenBack& givenBack,
                                const Pictures& pictures) {
    InstallRecord record;
    record.cadDir = cadDir;
    record.givenBack = givenBack;
    record.pictures = pictures;
    return EncodeInstallRecord(record);
}

DWORD WriteInstallRecord(const std::wstring& path, const InstallRecord& record,
                         fileio::Waiter& waiter) {
    return fileio::WriteFileReplacing(path, EncodeInstallRecord(record), waiter);
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

namespace {

// A file's absolute path: an absolute folder path with a name after it.
bool IsAbsoluteFilePath(std::wstring_view path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash != std::wstring_view::npos && slash + 1 < path.size() &&
           IsAbsoluteFolderPath(std::wstring(path.substr(0, slash + 1)));
}

}  // namespace

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
    const bool firstGone = !fileio::FolderExists(*line);
    record.status = RecordStatus::Usable;
    record.cadDir = std::move(*line);
    // A file given back is named by its full path; a picture by its name
    // alone, which never holds a "\", and of the AutoCAD named last. One
    // whose folder is gone is passed over, with its pictures.
    Pictures* pictures = &record.pictures;
    Pictures gone;
    for (auto line = lines->begin() + 1; line != lines->end(); ++line) {
        const std::wstring_view text = *line;
        if (text.substr(0, kMenuTag.size()) == kMenuTag) {
            // The path, after a word for the menu where there is one: a
            // path begins with a drive or "\\", a word never does.
            std::wstring_view path = text.substr(kMenuTag.size());
            std::wstring_view word;
            if (!IsAbsoluteFilePath(path)) {
                const size_t blank = path.find(L' ');
                if (blank == std::wstring_view::npos) continue;
                word = path.substr(0, blank);
                path = path.substr(blank + 1);
            }
            if (IsAbsoluteFilePath(path) && word.find(L'\\') == std::wstring_view::npos) {
                record.menus.emplace_back(path);
                if (!word.empty()) record.menuWords.insert(std::wstring(text.substr(kMenuTag.size())));
            }
        } else if (text.substr(0, kFileTag.size()) == kFileTag) {
            const std::wstring_view key = text.substr(kFileTag.size());
            if (IsOwnedKey(key) && IsAbsoluteFilePath(key.substr(kOwnedPathAt))) record.owned.emplace(key);
        } else if (text.substr(0, kCadTag.size()) == kCadTag) {
            std::wstring folder(text.substr(kCadTag.size()));
            pictures = &gone;
            if (!IsAbsoluteFolderPath(folder) || !fileio::FolderExists(folder)) continue;
            if (RecordNames(record, folder)) continue;
            record.more.push_back({std::move(folder), {}});
            pictures = &record.more.back().pictures;
        } else if (!text.empty() && text.front() == L':') {
            // A line of a later version that this one does not know.
        } else if (line->find(L'\\') == std::wstring::npos) {
            pictures->push_back(std::move(*line));
        } else {
            record.givenBack.insert(std::move(*line));
        }
    }
    if (firstGone) {
        // The first AutoCAD's folder went: the next one recorded takes its
        // place, so that the add-on still comes out of the others.
        if (record.more.empty()) {
            InstallRecord gone;
            gone.status = RecordStatus::FolderGone;
            gone.cadDir = std::move(record.cadDir);
            return gone;
        }
        record.cadDir = std::move(record.more.front().cadDir);
        record.pictures = std::move(record.more.front().pictures);
        record.more.erase(record.more.begin());
    }
    return record;
}

}  // namespace deploy
