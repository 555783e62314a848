#pragma once

namespace twinframe {

struct TwipsRect {
    int left, top, width, height;
};

struct PixelRect {
    int left, top, width, height;
};

// The window's fixed layout, in twips (1440 to the logical inch): the window's inner size and
// the place of each control in it.
namespace twips {
inline constexpr int windowWidth = 5055;
inline constexpr int windowHeight = 3975;
inline constexpr TwipsRect Drive1 = {120, 120, 2415, 315};
inline constexpr TwipsRect Dir1 = {120, 600, 2415, 2340};
inline constexpr TwipsRect File1 = {2640, 120, 2295, 2820};
inline constexpr TwipsRect cmbGo = {2640, 3360, 2295, 495};
inline constexpr TwipsRect lblMain = {120, 3360, 2415, 255};
inline constexpr TwipsRect chk1 = {2880, 3000, 1935, 255};
} // namespace twips

// Twips to pixels for a window. The layout is given in twips, so it scales with the screen's
// dpi; and, as dialog units do, with the window's font, so that a larger font enlarges the grid
// instead of cutting captions. The twips were laid out for an 8 pt dialog font whose character
// cell is 6 pixels wide on average and 13 high at 96 dpi; the grid grows with whichever of the
// two grows more, and a smaller font keeps it as it is.
class TwipsScale {
  public:
    // dpiAcross and dpiDown: the logical dpi; the font's average character width and its height,
    // in pixels.
    TwipsScale(double dpiAcross, double dpiDown, double averageCharWidth, double charHeight);

    int px(int twips) const;
    PixelRect place(const TwipsRect& rect) const;

  private:
    double pixelsPerTwip_;
};

// The controls' places in pixels, and the window's inner size.
struct WindowLayout {
    int width, height;
    PixelRect Drive1, Dir1, File1, cmbGo, lblMain, chk1;
};

// The layout at scale. It leaves the check box room for its caption in a small font only: where
// the font is larger, the box grows to chk1Width (box and caption) within the file list's column
// rather than cut its caption.
WindowLayout windowLayout(const TwipsScale& scale, int chk1Width);

} // namespace twinframe
