// Scaling a 96-pixels-per-inch design and keeping anchors on resize, without a window.
#include "toolkit/layout.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(Layout, ScalesDesignFiguresToTheScreen) {
    struct Case {
        int Value, PixelsPerInch, Expected;
    } cases[] = {
        {542, 96, 542}, {542, 120, 678}, {323, 120, 404}, {11, 120, 14},  {11, 144, 17},
        {15, 120, 19},  {8, 72, 6},      {0, 120, 0},     {-8, 120, -10}, {495, 192, 990},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Expected, ScaleToScreen(c.Value, c.PixelsPerInch))
            << c.Value << " at " << c.PixelsPerInch;
    }
    EXPECT_EQ((TBounds{10, 30, 619, 26}), ScaleToScreen(TBounds{8, 24, 495, 21}, 120));
}

TEST(Layout, AnchorsKeepTheirDistancesOnResize) {
    const TBounds design{152, 56, 383, 205};
    struct Case {
        unsigned Anchors;
        int DeltaWidth, DeltaHeight;
        TBounds Expected;
    } cases[] = {
        {akLeft | akTop, 100, 50, {152, 56, 383, 205}},
        {akLeft | akTop | akRight | akBottom, 100, 50, {152, 56, 483, 255}},
        {akLeft | akTop | akRight | akBottom, -100, -50, {152, 56, 283, 155}},
        {akRight | akBottom, 100, 50, {252, 106, 383, 205}},
        {akTop | akRight, -20, 50, {132, 56, 383, 205}},
        {akLeft | akBottom, 100, -30, {152, 26, 383, 205}},
        {akLeft | akRight | akBottom, 10, 10, {152, 66, 393, 205}},
        {0, 100, 50, {202, 81, 383, 205}},
        {akLeft | akTop | akRight | akBottom, -500, -300, {152, 56, 0, 0}},
        {akLeft | akTop | akRight | akBottom, 0, 0, design},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.Expected, AnchoredBounds(design, c.Anchors, c.DeltaWidth, c.DeltaHeight))
            << "anchors " << c.Anchors << ", delta " << c.DeltaWidth << "," << c.DeltaHeight;
    }
    // Two boxes and a label between them share what the width gains or loses without a gap.
    for (const int delta : {101, -51}) {
        const TBounds left = AnchoredBounds({10, 0, 100, 20}, akLeft | akRight, delta, 0, {0, 2});
        const TBounds label = AnchoredBounds({112, 0, 8, 20}, akLeft, delta, 0, {1, 2});
        const TBounds right = AnchoredBounds({120, 0, 100, 20}, akLeft | akRight, delta, 0, {1, 2});
        EXPECT_EQ((std::vector<int>{label.Left + 8, label.Left - 2, 220 + delta}),
                  (std::vector<int>{right.Left, left.Left + left.Width, right.Left + right.Width}))
            << delta;
    }
}

} // namespace
