// Display scaling: sizes the clock is drawn with at 96 DPI brought to the DPI of the monitor it
// stands on, and the DPI functions of newer Windows looked up at run time, so that the program
// still starts on systems without them (where the one DPI there is, the screen's, is used).
#pragma once
#include <windows.h>

enum { BaseDpi = 96, PointsPerInch = 72 };

// Sent by Windows 8.1 and later to a window whose DPI changed; the Windows XP headers the program
// is built with lack it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// A size given for fromDpi brought to dpi: value * dpi / fromDpi, rounded to the nearest pixel
// (halves away from zero), as MulDiv rounds. Every size and font height is scaled here: sizes
// drawn for 96 DPI, font heights in points (72 to the inch), the system's font made for its DPI.
int ScaleForDpi(int value, int dpi, int fromDpi = BaseDpi);
// A rectangle given as position and size at 96 DPI, scaled by its edges: rectangles that touch or
// nest at 96 DPI still touch or nest at every other.
RECT ScaledRect(int x, int y, int cx, int cy, int dpi);
// The screen's LOGPIXELSY: the system DPI.
int ScreenDpi(void);
// The DPI the window is shown at (GetDpiForWindow), or the screen's where the system lacks it.
int WindowDpi(HWND window);
// GetSystemMetricsForDpi, or GetSystemMetrics (which answers for the system DPI) where it is missing.
int SystemMetricForDpi(int index, int dpi);
// A copy of an image scaled by dpi/96 (whole factors pixel for pixel, others smoothly), or the image
// itself when the size stays. One-bit images stay one-bit DIB sections and images of up to 8 bits
// stay two-coloured (masks and glyphs, thresholded after smoothing); the rest become 32-bit DIB
// sections. The caller owns the copy; null when it cannot be made.
HBITMAP ScaleImage(HBITMAP image, int dpi);
