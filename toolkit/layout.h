#pragma once
// Layout arithmetic: scaling a design made at 96 pixels per inch, and anchors on resize.
// Plain functions, so they can be checked without a window.

constexpr int DesignPixelsPerInch = 96;

enum TAnchor : unsigned {
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8,
};

struct TBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TBounds&) const = default;
};

// value * pixelsPerInch / 96, rounded to the nearest pixel (half a pixel away from zero), as MulDiv does.
int ScaleToScreen(int value, int pixelsPerInch);
TBounds ScaleToScreen(const TBounds& design, int pixelsPerInch);

// Controls side by side that share the width their parent gains: of Parts equal shares of it, the
// control has the one numbered Part (from 0, left to right).
struct TWidthShare {
    int Part = 0;
    int Parts = 1;
};

// Where a control goes when its parent's client area has grown by the deltas (negative: shrunk).
// Anchored on both sides it stretches, on the far side alone it moves, on neither it keeps its
// place relative to the middle. Sizes never go below zero. With a share of the width, the control
// first moves by the shares left of its own, and its own share is the width delta it sees.
TBounds AnchoredBounds(const TBounds& design, unsigned anchors, int deltaWidth, int deltaHeight,
                       TWidthShare share = {});
