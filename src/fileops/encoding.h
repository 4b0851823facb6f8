// Conversions between UTF-16 strings and the bytes of text files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace enc {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The text in the system's ANSI code page, or nothing when some character of
// it has no exact form there (best-fit substitutes do not count).
std::optional<std::string> ToAnsiExact(std::wstring_view text);

// The ANSI bytes as text, or nothing when they are not valid in the code page.
std::optional<std::wstring> FromAnsi(std::string_view bytes);

std::string ToUtf8(std::wstring_view text);

// The UTF-8 bytes as text, or nothing when they are not valid UTF-8.
std::optional<std::wstring> FromUtf8(std::string_view bytes);

}  // namespace enc
