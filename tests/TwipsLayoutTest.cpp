#include "twipsLayout.h"

#include <gtest/gtest.h>

#include <vector>

using namespace twinframe;

namespace {

std::vector<int> numbers(const PixelRect& rect) {
    return {rect.left, rect.top, rect.width, rect.height};
}

} // namespace

TEST(TwipsLayout, AtTheDialogFontItIsFifteenTwipsToThePixelAt96Dpi) {
    const WindowLayout layout = windowLayout(TwipsScale(96, 96, 6, 13), 100);
    EXPECT_EQ(layout.width, 337);
    EXPECT_EQ(layout.height, 265);
    EXPECT_EQ(numbers(layout.Drive1), (std::vector<int>{8, 8, 161, 21}));
    EXPECT_EQ(numbers(layout.Dir1), (std::vector<int>{8, 40, 161, 156}));
    EXPECT_EQ(numbers(layout.File1), (std::vector<int>{176, 8, 153, 188}));
    EXPECT_EQ(numbers(layout.cmbGo), (std::vector<int>{176, 224, 153, 33}));
    EXPECT_EQ(numbers(layout.lblMain), (std::vector<int>{8, 224, 161, 17}));
    EXPECT_EQ(numbers(layout.chk1), (std::vector<int>{192, 200, 129, 17}));
    // A smaller font keeps the grid; 192 dpi, with the font as large, doubles it.
    EXPECT_EQ(windowLayout(TwipsScale(96, 96, 5, 11), 100).width, 337);
    EXPECT_EQ(windowLayout(TwipsScale(192, 192, 12, 26), 100).width, 674);
}

TEST(TwipsLayout, GrowsWithWhicheverOfTheFontsCellDimensionsGrowsMore) {
    // Twice as high or twice as wide: twice the grid, however much the other grows.
    EXPECT_EQ(windowLayout(TwipsScale(96, 96, 9, 26), 100).width, 674);
    EXPECT_EQ(windowLayout(TwipsScale(96, 96, 12, 19), 100).height, 530);
}

TEST(TwipsLayout, CheckBoxGrowsLeftwardsWithinTheFileListsColumnForALongCaption) {
    const TwipsScale scale(96, 96, 6, 13);
    EXPECT_EQ(numbers(windowLayout(scale, 140).chk1), (std::vector<int>{189, 200, 140, 17}));
    // Never wider than the column, nor left of it.
    EXPECT_EQ(numbers(windowLayout(scale, 400).chk1), (std::vector<int>{176, 200, 153, 17}));
}
