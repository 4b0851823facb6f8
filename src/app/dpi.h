// Twips to pixels at a window's DPI, and the DPI functions that only newer
// Windows versions have, looked up at run time so the program starts on 7.
#pragma once

#include <windows.h>

namespace app {

inline constexpr UINT kBaseDpi = 96;

// 1440 twips make an inch.
inline int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// The DPI the window is shown at (the system DPI where Windows cannot tell).
UINT WindowDpi(HWND window);

// The outer size for a client area of the given size, at that DPI.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// The system's message font at that DPI.
LOGFONTW MessageFontForDpi(UINT dpi);

}  // namespace app
