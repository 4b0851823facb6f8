// The window's layout in twips, measured from the client area's top-left.
#pragma once

namespace app {

struct TwipsRect {
    int left, top, width, height;
};

inline constexpr int kClientWidthTwips = 4500;
inline constexpr int kClientHeightTwips = 2880;

inline constexpr TwipsRect kLabel1{120, 120, 3375, 615};
inline constexpr TwipsRect kLabel2{120, 720, 975, 255};
inline constexpr TwipsRect kLabel3{2400, 720, 1815, 255};
inline constexpr TwipsRect kLabel4{120, 960, 4215, 855};
inline constexpr TwipsRect kProgressBar1{120, 2040, 4215, 255};
inline constexpr TwipsRect kCommand1{240, 2400, 1215, 375};
inline constexpr TwipsRect kCommand2{1680, 2400, 1215, 375};
inline constexpr TwipsRect kCommand3{3120, 2400, 1215, 375};

// Label1's font: Arial, bold, 26.25 pt, in hundredths of a point.
inline constexpr int kTitlePointsX100 = 2625;

}  // namespace app
