#include "toolkit/layout.h"

#include <windows.h>
#include <algorithm>

namespace {

// One axis: start and extent, anchored at the near side, the far side, both or neither.
void AnchorAxis(int& start, int& extent, bool nearSide, bool farSide, int delta) {
    if (nearSide && farSide) {
        extent = std::max(0, extent + delta);
    } else if (farSide) {
        start += delta;
    } else if (!nearSide) {
        start += delta / 2;
    }
}

} // namespace

int ScaleToScreen(int value, int pixelsPerInch) {
    return MulDiv(value, pixelsPerInch, DesignPixelsPerInch);
}

TBounds ScaleToScreen(const TBounds& design, int pixelsPerInch) {
    return {ScaleToScreen(design.Left, pixelsPerInch), ScaleToScreen(design.Top, pixelsPerInch),
            ScaleToScreen(design.Width, pixelsPerInch), ScaleToScreen(design.Height, pixelsPerInch)};
}

TBounds AnchoredBounds(const TBounds& design, unsigned anchors, int deltaWidth, int deltaHeight,
                       TWidthShare share) {
    TBounds result = design;
    if (share.Parts > 1) {
        // Shares as boundaries of the whole delta, so that neighbours meet without a gap.
        const int before = deltaWidth * share.Part / share.Parts;
        result.Left += before;
        deltaWidth = deltaWidth * (share.Part + 1) / share.Parts - before;
    }
    AnchorAxis(result.Left, result.Width, anchors & akLeft, anchors & akRight, deltaWidth);
    AnchorAxis(result.Top, result.Height, anchors & akTop, anchors & akBottom, deltaHeight);
    return result;
}
