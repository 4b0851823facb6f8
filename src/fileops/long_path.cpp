#include "long_path.h"

namespace fileio {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Appends `rest` with every run of separators made one "\".
void AppendCollapsed(std::wstring& out, std::wstring_view rest) {
    for (const wchar_t c : rest) {
        if (IsSeparator(c)) {
            if (!out.empty() && out.back() == L'\\') continue;
            out.push_back(L'\\');
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

std::wstring LongPath(std::wstring_view path) {
    // "\\?\..." and device paths "\\.\..." are meant literally already.
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
        (path[2] == L'?' || path[2] == L'.') && IsSeparator(path[3]))
        return std::wstring(path);

    std::wstring out;
    out.reserve(path.size() + 8);
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
        out = L"\\\\?\\";
        out.append(path.substr(0, 2));
        AppendCollapsed(out, path.substr(2));
        return out;
    }
    if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        // "\\server\share\...": the server's name follows the two separators.
        out = L"\\\\?\\UNC";
        AppendCollapsed(out, path.substr(1));
        return out;
    }
    return std::wstring(path);
}

}  // namespace fileio
