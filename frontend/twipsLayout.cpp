#include "twipsLayout.h"

#include <algorithm>
#include <cmath>

namespace twinframe {

TwipsScale::TwipsScale(double dpiAcross, double dpiDown, double averageCharWidth,
                       double charHeight) {
    const double fontScale = std::max(
        {1.0, charHeight / (13.0 * dpiDown / 96.0), averageCharWidth / (6.0 * dpiDown / 96.0)});
    pixelsPerTwip_ = dpiAcross / 1440.0 * fontScale;
}

int TwipsScale::px(int twips) const {
    return static_cast<int>(std::lround(twips * pixelsPerTwip_));
}

PixelRect TwipsScale::place(const TwipsRect& rect) const {
    return {px(rect.left), px(rect.top), px(rect.width), px(rect.height)};
}

WindowLayout windowLayout(const TwipsScale& scale, int chk1Width) {
    WindowLayout layout = {scale.px(twips::windowWidth), scale.px(twips::windowHeight),
                           scale.place(twips::Drive1),   scale.place(twips::Dir1),
                           scale.place(twips::File1),    scale.place(twips::cmbGo),
                           scale.place(twips::lblMain),  scale.place(twips::chk1)};
    const PixelRect& column = layout.File1;
    PixelRect& check = layout.chk1;
    const int width = std::clamp(chk1Width, check.width, column.width);
    check.left = std::min(check.left, column.left + column.width - width);
    check.width = width;
    return layout;
}

} // namespace twinframe
