// The dialog box that asks which of several AutoCADs to serve.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace app {

inline constexpr wchar_t kChooseCadsCaption[] = L"选择AutoCAD";

// Shows a modal dialog box owned by `owner`: a check box for each of
// `labels`, all ticked, in order, with 确定 (IDOK, the default button,
// disabled while nothing is ticked) and 取消 (IDCANCEL). It is set in the
// message font, as the owner is, and is as wide as its longest label within
// the screen's work area; a label wider than that wraps. The indexes of the
// boxes ticked, in order, on 确定; nothing when the user cancels or the box
// cannot be shown.
std::optional<std::vector<size_t>> ChooseCads(HINSTANCE instance, HWND owner,
                                              const std::vector<std::wstring>& labels);

}  // namespace app
