#pragma once
// The screen's pixels per inch, the one place layouts learn it from; tests may replace it.

int ScreenPixelsPerInch();
// 0 goes back to the real screen.
void SetScreenPixelsPerInchForTesting(int pixelsPerInch);
