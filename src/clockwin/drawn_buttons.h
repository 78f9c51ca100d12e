// The metallic bar's images, its tiled background, and the round owner-drawn buttons clipped to
// a region traced from a one-bit mask.
#pragma once
#include <windows.h>

struct DrawnButton {
    HWND window;
    int id;
    HBITMAP normalFace;
    HBITMAP pressedFace;
    HBITMAP hoverFace;
    HBITMAP mask;
    HBITMAP glyph;
    int hover;
    int pressed;
    WNDPROC previousProc;
    HRGN region;
};

enum { DrawnButtonCapacity = 5 };

extern DrawnButton DrawnButtonTable[DrawnButtonCapacity];
extern int DrawnButtonCount;

// Image slots of the bar, loaded by the layout and released by its teardown.
extern HBITMAP BarBackground;   // 124
extern HBITMAP FaceNormal;      // 123
extern HBITMAP FaceHover;       // 119
extern HBITMAP FacePressed;     // 117
extern HBITMAP ButtonMask;      // 121
extern HBITMAP GlyphRun;        // 132
extern HBITMAP GlyphStop;       // 131
extern HBITMAP GlyphOptions;    // 134
extern HBITMAP GlyphClose;      // 133
extern HBITMAP GlyphNext;       // 136
extern HBITMAP GlyphMinimize;   // 137

void LoadBarImages(void);
// Replaces every loaded image by its copy at the DPI (the images are drawn for 96 DPI).
void ScaleBarImages(int dpi);
void ReleaseGlyphImages(void);
void ReleaseFaceImages(void);           // faces and mask
void ReleaseBarBackground(void);

int RegisterDrawnButton(int id, HWND button, HBITMAP normalFace, HBITMAP hoverFace,
                        HBITMAP pressedFace, HBITMAP mask, HBITMAP glyph);  // 0, or -1 when full
int DrawDrawnButton(int id, const DRAWITEMSTRUCT *item);
LRESULT CALLBACK DrawnButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetDrawnButtonGlyph(HWND button, HBITMAP glyph);
void ReleaseDrawnButtons(void);
HRGN RegionFromMask(HBITMAP mask);
void DrawGlyph(HDC dc, int x, int y, HBITMAP glyph, COLORREF colour);
int PaintBarBackground(HWND window, HDC dc);
