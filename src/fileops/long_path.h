// The form in which a path goes to the wide file APIs: absolute paths get the
// "\\?\" prefix, so that they work past 260 characters on every Windows, with
// or without its long-path setting. Paths shown to the user or recorded keep
// the form they were built in; only the calls see this one.
#pragma once

#include <string>
#include <string_view>

namespace fileio {

// "C:\a\\b\" gives "\\?\C:\a\b\", "\\server\share\x" gives
// "\\?\UNC\server\share\x". A "\\?\" path takes every character literally,
// so doubled separators (which plain concatenation produces) are collapsed
// and "/" becomes "\" first; "." and ".." are never in the program's paths
// and are left as they are. Relative, drive-relative and already prefixed
// paths are returned unchanged.
std::wstring LongPath(std::wstring_view path);

}  // namespace fileio
