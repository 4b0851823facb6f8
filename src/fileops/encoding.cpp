#include "encoding.h"

#include <windows.h>

namespace enc {

namespace {

std::optional<std::wstring> ToWide(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), n);
    return out;
}

std::string ToBytes(UINT codePage, std::wstring_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::optional<std::string> ToAnsiExact(std::wstring_view text) {
    std::string bytes = ToBytes(CP_ACP, text);
    // A round trip that gives the text back is the one test that holds for
    // every code page, double-byte and UTF-8 ones included.
    const std::optional<std::wstring> back = ToWide(CP_ACP, bytes);
    if (!back || *back != text) return std::nullopt;
    return bytes;
}

std::optional<std::wstring> FromAnsi(std::string_view bytes) {
    std::optional<std::wstring> text = ToWide(CP_ACP, bytes);
    // Not every implementation flags a lead byte without its trail byte; the
    // bytes were valid text only if the text gives them back.
    if (!text || ToBytes(CP_ACP, *text) != bytes) return std::nullopt;
    return text;
}

std::string ToUtf8(std::wstring_view text) { return ToBytes(CP_UTF8, text); }

std::optional<std::wstring> FromUtf8(std::string_view bytes) { return ToWide(CP_UTF8, bytes); }

}  // namespace enc
