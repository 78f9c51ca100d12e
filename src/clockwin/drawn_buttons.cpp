// The metallic bar's images, its tiled background, and the round owner-drawn buttons clipped to
// a region traced from a one-bit mask.
#include "clockwin/drawn_buttons.h"

DrawnButton DrawnButtonTable[DrawnButtonCapacity] = {};
int DrawnButtonCount = 0;
HBITMAP BarBackground = NULL;
HBITMAP FaceNormal = NULL;
HBITMAP FaceHover = NULL;
HBITMAP FacePressed = NULL;
HBITMAP ButtonMask = NULL;
HBITMAP GlyphRun = NULL;
HBITMAP GlyphStop = NULL;
HBITMAP GlyphOptions = NULL;
HBITMAP GlyphClose = NULL;
HBITMAP GlyphNext = NULL;
HBITMAP GlyphMinimize = NULL;

void LoadBarImages(void) {}
void ReleaseGlyphImages(void) {}
void ReleaseFaceImages(void) {}
void ReleaseBarBackground(void) {}
int RegisterDrawnButton(int, HWND, HBITMAP, HBITMAP, HBITMAP, HBITMAP, HBITMAP) { return -1; }
int DrawDrawnButton(int, const DRAWITEMSTRUCT *) { return 0; }
LRESULT CALLBACK DrawnButtonProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
void SetDrawnButtonGlyph(HWND, HBITMAP) {}
void ReleaseDrawnButtons(void) {}
HRGN RegionFromMask(HBITMAP) { return NULL; }
void DrawGlyph(HDC, int, int, HBITMAP, COLORREF) {}
int PaintBarBackground(HWND, HDC) { return 0; }
