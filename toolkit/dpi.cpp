#include "toolkit/dpi.h"

#include <windows.h>

namespace {
int pixelsPerInchOverride = 0;
}

int ScreenPixelsPerInch() {
    if (pixelsPerInchOverride > 0) {
        return pixelsPerInchOverride;
    }
    HDC screen = GetDC(nullptr);
    int pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return pixelsPerInch > 0 ? pixelsPerInch : 96;
}

void SetScreenPixelsPerInchForTesting(int pixelsPerInch) {
    pixelsPerInchOverride = pixelsPerInch;
}
