// The metallic bar's images, its tiled background, and the round owner-drawn buttons clipped to
// a region traced from a one-bit mask.
#include "clockwin/drawn_buttons.h"
#include <commctrl.h>
#include <string.h>
#include "base/program.h"
#include "base/settings.h"
#include "clockwin/scaling.h"
#include "resource.h"

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

static int ImageDpi = BaseDpi;  // the DPI the loaded images are scaled for

static void ReleaseBitmap(HBITMAP *slot)
{
    if (*slot) {
        DeleteObject(*slot);
        *slot = NULL;
    }
}

static HBITMAP LoadSection(int id)
{
    return static_cast<HBITMAP>(LoadImageW(ProgramInstance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                           LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
}

void LoadBarImages(void)
{
    // A second load must not leak the first set.
    ReleaseGlyphImages();
    ReleaseFaceImages();
    ReleaseBarBackground();
    BarBackground = LoadBitmapW(ProgramInstance, MAKEINTRESOURCEW(IDB_BAR_BACKGROUND));
    FaceNormal = LoadSection(IDB_FACE_NORMAL);
    FaceHover = LoadSection(IDB_FACE_HOVER);
    FacePressed = LoadSection(IDB_FACE_PRESSED);
    ButtonMask = LoadSection(IDB_BUTTON_MASK);
    GlyphRun = LoadSection(IDB_GLYPH_RUN);
    GlyphStop = LoadSection(IDB_GLYPH_STOP);
    GlyphOptions = LoadSection(IDB_GLYPH_OPTIONS);
    GlyphClose = LoadSection(IDB_GLYPH_CLOSE);
    GlyphNext = LoadSection(IDB_GLYPH_NEXT);
    GlyphMinimize = LoadSection(IDB_GLYPH_MINIMIZE);
    ImageDpi = BaseDpi;
}

// Puts the image's copy at the DPI in its slot; an image that cannot be scaled stays as it is.
static void ScaleSlot(HBITMAP *slot, int dpi)
{
    HBITMAP scaled = *slot ? ScaleImage(*slot, dpi) : NULL;
    if (!scaled || scaled == *slot) return;
    DeleteObject(*slot);
    *slot = scaled;
}

void ScaleBarImages(int dpi)
{
    HBITMAP *slots[] = {&BarBackground, &FaceNormal, &FaceHover, &FacePressed, &ButtonMask, &GlyphRun,
                        &GlyphStop, &GlyphOptions, &GlyphClose, &GlyphNext, &GlyphMinimize};
    for (HBITMAP *slot : slots) ScaleSlot(slot, dpi);
    ImageDpi = dpi;
}

void ReleaseGlyphImages(void)
{
    ReleaseBitmap(&GlyphRun);
    ReleaseBitmap(&GlyphStop);
    ReleaseBitmap(&GlyphOptions);
    ReleaseBitmap(&GlyphClose);
    ReleaseBitmap(&GlyphNext);
    ReleaseBitmap(&GlyphMinimize);
}

void ReleaseFaceImages(void)
{
    ReleaseBitmap(&FaceNormal);
    ReleaseBitmap(&FaceHover);
    ReleaseBitmap(&FacePressed);
    ReleaseBitmap(&ButtonMask);
}

void ReleaseBarBackground(void)
{
    ReleaseBitmap(&BarBackground);
}

static DrawnButton *FindByWindow(HWND window)
{
    for (int i = 0; i < DrawnButtonCount && i < DrawnButtonCapacity; ++i)
        if (DrawnButtonTable[i].window == window) return &DrawnButtonTable[i];
    return NULL;
}

static DrawnButton *FindById(int id)
{
    for (int i = 0; i < DrawnButtonCount && i < DrawnButtonCapacity; ++i)
        if (DrawnButtonTable[i].window && DrawnButtonTable[i].id == id) return &DrawnButtonTable[i];
    return NULL;
}

HRGN RegionFromMask(HBITMAP mask)
{
    BITMAP info;
    if (!mask || !GetObjectW(mask, sizeof info, &info) || !info.bmBits || info.bmBitsPixel != 1 ||
        info.bmWidth <= 0 || info.bmHeight <= 0)
        return NULL;
    HRGN result = CreateRectRgn(0, 0, 0, 0);
    if (!result) return NULL;
    const BYTE *bits = static_cast<const BYTE *>(info.bmBits);
    for (int y = 0; y < info.bmHeight; ++y) {
        // Rows are stored bottom-up; the leftmost pixel is a byte's most significant bit.
        const BYTE *row = bits + static_cast<size_t>(info.bmHeight - 1 - y) * info.bmWidthBytes;
        int x = 0;
        while (x < info.bmWidth) {
            if (row[x / 8] & (0x80 >> (x % 8))) {
                ++x;
                continue;
            }
            int start = x;
            while (x < info.bmWidth && !(row[x / 8] & (0x80 >> (x % 8)))) ++x;
            HRGN run = CreateRectRgn(start, y, x, y + 1);
            if (run) {
                CombineRgn(result, result, run, RGN_OR);
                DeleteObject(run);
            }
        }
    }
    return result;
}

int RegisterDrawnButton(int id, HWND button, HBITMAP normalFace, HBITMAP hoverFace,
                        HBITMAP pressedFace, HBITMAP mask, HBITMAP glyph)
{
    if (!button || DrawnButtonCount < 0 || DrawnButtonCount >= DrawnButtonCapacity) return -1;
    DrawnButton *record = &DrawnButtonTable[DrawnButtonCount];
    memset(record, 0, sizeof *record);
    record->window = button;
    record->id = id;
    record->normalFace = normalFace;
    record->hoverFace = hoverFace;
    record->pressedFace = pressedFace;
    record->mask = mask;
    record->glyph = glyph;
    ++DrawnButtonCount;

    BITMAP face;
    if (normalFace && GetObjectW(normalFace, sizeof face, &face))
        SetWindowPos(button, NULL, 0, 0, face.bmWidth, face.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    LONG style = GetWindowLongW(button, GWL_STYLE);
    SetWindowLongW(button, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
    record->region = RegionFromMask(mask);
    if (record->region && !SetWindowRgn(button, record->region, FALSE)) {
        DeleteObject(record->region);
        record->region = NULL;
    }
    record->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DrawnButtonProc)));
    return 0;
}

void DrawGlyph(HDC dc, int x, int y, HBITMAP glyph, COLORREF colour)
{
    if (!dc || !glyph) return;
    BITMAP info;
    if (!GetObjectW(glyph, sizeof info, &info)) return;
    int w = info.bmWidth, h = info.bmHeight;
    HDC glyphDc = CreateCompatibleDC(dc);
    HDC colourDc = CreateCompatibleDC(dc);
    HDC invertedDc = CreateCompatibleDC(dc);
    HBITMAP colourImage = CreateCompatibleBitmap(dc, w, h);
    HBITMAP invertedImage = CreateCompatibleBitmap(dc, w, h);
    HBRUSH brush = CreateSolidBrush(colour);
    if (glyphDc && colourDc && invertedDc && colourImage && invertedImage && brush) {
        HGDIOBJ oldGlyph = SelectObject(glyphDc, glyph);
        HGDIOBJ oldColour = SelectObject(colourDc, colourImage);
        HGDIOBJ oldInverted = SelectObject(invertedDc, invertedImage);
        // Clear the glyph's pixels, then paint exactly those pixels in the colour.
        BitBlt(dc, x, y, w, h, glyphDc, 0, 0, SRCAND);
        RECT all = {0, 0, w, h};
        FillRect(colourDc, &all, brush);
        BitBlt(invertedDc, 0, 0, w, h, glyphDc, 0, 0, NOTSRCCOPY);
        BitBlt(colourDc, 0, 0, w, h, invertedDc, 0, 0, SRCAND);
        BitBlt(dc, x, y, w, h, colourDc, 0, 0, SRCPAINT);
        SelectObject(glyphDc, oldGlyph);
        SelectObject(colourDc, oldColour);
        SelectObject(invertedDc, oldInverted);
    }
    if (brush) DeleteObject(brush);
    if (invertedImage) DeleteObject(invertedImage);
    if (colourImage) DeleteObject(colourImage);
    if (invertedDc) DeleteDC(invertedDc);
    if (colourDc) DeleteDC(colourDc);
    if (glyphDc) DeleteDC(glyphDc);
}

int DrawDrawnButton(int id, const DRAWITEMSTRUCT *item)
{
    DrawnButton *record = item ? FindById(id) : NULL;
    if (!record) return 0;
    int w = item->rcItem.right - item->rcItem.left;
    int h = item->rcItem.bottom - item->rcItem.top;
    if (w <= 0 || h <= 0) return 1;
    HDC work = CreateCompatibleDC(item->hDC);
    HDC source = CreateCompatibleDC(item->hDC);
    HBITMAP image = CreateCompatibleBitmap(item->hDC, w, h);
    if (work && source && image) {
        HGDIOBJ oldImage = SelectObject(work, image);
        // What the clock window shows behind the button, so the corners outside the disc match.
        HWND parent = GetParent(record->window);
        POINT at = {0, 0};
        if (parent) MapWindowPoints(record->window, parent, &at, 1);
        HDC parentDc = parent ? GetDC(parent) : NULL;
        if (parentDc) {
            BitBlt(work, 0, 0, w, h, parentDc, at.x, at.y, SRCCOPY);
            ReleaseDC(parent, parentDc);
        }
        HBITMAP face = record->pressed ? record->pressedFace
                       : record->hover ? record->hoverFace
                                       : record->normalFace;
        HGDIOBJ oldSource = SelectObject(source, record->mask);
        if (record->mask) BitBlt(work, 0, 0, w, h, source, 0, 0, SRCAND);
        if (face) {
            SelectObject(source, face);
            BitBlt(work, 0, 0, w, h, source, 0, 0, SRCPAINT);
        }
        SelectObject(source, oldSource);
        if (record->glyph) {
            BITMAP glyph;
            if (GetObjectW(record->glyph, sizeof glyph, &glyph)) {
                // The pressed shift and the shadow's offset are one pixel at 96 DPI.
                int step = ScaleForDpi(1, ImageDpi);
                int x = (w - glyph.bmWidth) / 2, y = (h - glyph.bmHeight) / 2;
                if (record->pressed) {
                    x += step;
                    y += step;
                }
                DrawGlyph(work, x + step, y + step, record->glyph, RGB(255, 255, 255));
                DrawGlyph(work, x, y, record->glyph,
                          IsWindowEnabled(record->window) ? RGB(0, 0, 0) : RGB(0x80, 0x80, 0x80));
            }
        }
        BitBlt(item->hDC, item->rcItem.left, item->rcItem.top, w, h, work, 0, 0, SRCCOPY);
        SelectObject(work, oldImage);
    }
    if (image) DeleteObject(image);
    if (source) DeleteDC(source);
    if (work) DeleteDC(work);
    return 1;
}

static void RepaintNow(HWND window)
{
    InvalidateRect(window, NULL, FALSE);
    UpdateWindow(window);
}

LRESULT CALLBACK DrawnButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DrawnButton *record = FindByWindow(window);
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        if (!record->pressed && !record->hover) {
            record->hover = 1;
            TRACKMOUSEEVENT track;
            memset(&track, 0, sizeof track);
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window;
            _TrackMouseEvent(&track);
            RepaintNow(window);
        }
        break;
    case WM_LBUTTONDOWN:
        record->pressed = 1;
        break;
    case WM_LBUTTONUP:
        record->pressed = 0;
        RepaintNow(window);
        break;
    case WM_LBUTTONDBLCLK:
        record->pressed = 1;
        RepaintNow(window);
        break;
    case WM_MOUSELEAVE:
        record->hover = 0;
        RepaintNow(window);
        break;
    }
    // The record may have been released while repainting; call the procedure saved before.
    WNDPROC previous = record->previousProc;
    if (!previous) return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void SetDrawnButtonGlyph(HWND button, HBITMAP glyph)
{
    DrawnButton *record = button ? FindByWindow(button) : NULL;
    if (!record) return;
    record->glyph = glyph;
    RedrawWindow(button, NULL, NULL, RDW_ERASE | RDW_INVALIDATE);
}

void ReleaseDrawnButtons(void)
{
    for (int i = 0; i < DrawnButtonCapacity; ++i) {
        DrawnButton *record = &DrawnButtonTable[i];
        if (record->window && IsWindow(record->window)) {
            // The window owns the region: taking it off releases it.
            if (record->region) SetWindowRgn(record->window, NULL, FALSE);
            if (record->previousProc)
                SetWindowLongPtrW(record->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previousProc));
        }
        memset(record, 0, sizeof *record);
    }
    DrawnButtonCount = 0;
}

int PaintBarBackground(HWND window, HDC dc)
{
    if (Settings.FormStyle != 1 || !dc || !window || !BarBackground) return 0;
    BITMAP tile;
    if (!GetObjectW(BarBackground, sizeof tile, &tile) || tile.bmWidth <= 0) return 0;
    RECT client;
    GetClientRect(window, &client);
    HDC source = CreateCompatibleDC(dc);
    if (!source) return 0;
    HGDIOBJ old = SelectObject(source, BarBackground);
    for (int x = 0; x < client.right; x += tile.bmWidth)
        BitBlt(dc, x, 0, tile.bmWidth, tile.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    return 1;
}
