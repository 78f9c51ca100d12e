// The bar's generated images read back from the resources, the region traced from the mask, the
// drawn buttons' pixels and states, and the tiled background.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "resource.h"
#include "base/settings.h"

namespace {

const int TileLevels[32] = {157, 172, 186, 199, 211, 216, 221, 223, 214, 205, 195, 185, 172, 160, 151, 145,
                            140, 148, 160, 170, 179, 188, 192, 186, 181, 172, 161, 149, 130, 111, 90, 66};

// The mask's black run per row (first and last column), -1 for rows without one.
struct Run { int first, last; };
Run MaskRun(int row)
{
    struct Band { int rows[4]; Run run; } bands[] = {
        {{5, 26, -1, -1}, {9, 15}},  {{6, 25, -1, -1}, {6, 17}},  {{7, 24, -1, -1}, {5, 18}},
        {{8, 23, -1, -1}, {4, 19}},  {{9, 22, -1, -1}, {3, 20}},  {{10, 11, 20, 21}, {2, 21}},
        {{12, 19, -1, -1}, {2, 22}},
    };
    if (row >= 13 && row <= 18) return {1, 22};
    for (const Band &band : bands)
        for (int r : band.rows)
            if (r == row) return band.run;
    return {-1, -1};
}

bool InMask(int x, int y)
{
    Run run = MaskRun(y);
    return run.first >= 0 && x >= run.first && x <= run.last;
}

struct GlyphRow { int id; const char *rows[8]; } Glyphs[] = {
    {IDB_GLYPH_RUN, {"#.......", "###.....", "#####...", "#######.", "#######.", "#####...", "###.....", "#......."}},
    {IDB_GLYPH_STOP, {"........", ".##..##.", ".##..##.", ".##..##.", ".##..##.", ".##..##.", ".##..##.", "........"}},
    {IDB_GLYPH_OPTIONS, {"########", "#......#", "#.####.#", "#......#", "#.###..#", "#......#", "#......#", "########"}},
    {IDB_GLYPH_CLOSE, {"##....##", "###..###", ".######.", "..####..", "..####..", ".######.", "###..###", "##....##"}},
    {IDB_GLYPH_NEXT, {"#...#...", "##..##..", "###.###.", "########", "###.###.", "##..##..", "#...#...", "........"}},
    {IDB_GLYPH_MINIMIZE, {"........", "........", "........", "########", "########", "........", "........", "........"}},
};

HBITMAP LoadSectionBitmap(int id)
{
    return static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                           LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
}

// The 0xRRGGBB colour of a pixel of a 24-bit or 4-bit section, or the bit of a 1-bit one.
unsigned SectionPixel(const BITMAP &info, int x, int y)
{
    const BYTE *row = static_cast<const BYTE *>(info.bmBits) + static_cast<size_t>(info.bmHeight - 1 - y) * info.bmWidthBytes;
    switch (info.bmBitsPixel) {
    case 24: return row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
    case 4: return x % 2 ? row[x / 2] & 0xF : row[x / 2] >> 4;
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    }
    return 0xDEADBEEF;
}

// A memory DC with a 32-bit top-down section whose pixels the test reads directly.
struct Canvas {
    HDC dc = NULL;
    HBITMAP image = NULL;
    HGDIOBJ old = NULL;
    DWORD *pixels = NULL;
    int width = 0, height = 0;
    Canvas(int w, int h, COLORREF fill) : width(w), height(h)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void *bits = NULL;
        dc = CreateCompatibleDC(NULL);
        image = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        pixels = static_cast<DWORD *>(bits);
        old = SelectObject(dc, image);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(image);
        DeleteDC(dc);
    }
    unsigned At(int x, int y) const
    {
        GdiFlush();
        return pixels[y * width + x] & 0xFFFFFF;
    }
};

unsigned Grey(int level) { return level * 0x010101u; }

TEST(GeneratedImages, BackgroundTileHasOneGreyLevelPerRow)
{
    HBITMAP tile = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_BAR_BACKGROUND));
    ASSERT_NE(nullptr, tile);
    BITMAP info;
    ASSERT_TRUE(GetObjectA(tile, sizeof info, &info));
    EXPECT_EQ(32, info.bmWidth);
    EXPECT_EQ(32, info.bmHeight);
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(IDB_BAR_BACKGROUND), MAKEINTRESOURCEA(2));
    const BITMAPINFOHEADER *header = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(NULL, found)));
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(8, header->biBitCount);
    const RGBQUAD *palette = reinterpret_cast<const RGBQUAD *>(header + 1);
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(palette[i].rgbRed == palette[i].rgbGreen && palette[i].rgbGreen == palette[i].rgbBlue) << i;

    Canvas canvas(32, 32, RGB(255, 0, 0));
    HDC source = CreateCompatibleDC(canvas.dc);
    HGDIOBJ old = SelectObject(source, tile);
    BitBlt(canvas.dc, 0, 0, 32, 32, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(tile);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(Grey(TileLevels[y]), canvas.At(x, y)) << x << "," << y;
}

TEST(GeneratedImages, MaskGlyphsAndFacesMatchTheirDefinitions)
{
    HBITMAP mask = LoadSectionBitmap(IDB_BUTTON_MASK);
    BITMAP maskInfo;
    ASSERT_TRUE(mask && GetObjectA(mask, sizeof maskInfo, &maskInfo));
    EXPECT_EQ(1, maskInfo.bmBitsPixel);
    ASSERT_EQ(24, maskInfo.bmWidth);
    ASSERT_EQ(32, maskInfo.bmHeight);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(InMask(x, y) ? 0u : 1u, SectionPixel(maskInfo, x, y)) << x << "," << y;

    for (const GlyphRow &glyph : Glyphs) {
        HBITMAP image = LoadSectionBitmap(glyph.id);
        BITMAP info;
        ASSERT_TRUE(image && GetObjectA(image, sizeof info, &info)) << glyph.id;
        EXPECT_EQ(4, info.bmBitsPixel);
        ASSERT_EQ(8, info.bmWidth);
        ASSERT_EQ(8, info.bmHeight);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(glyph.rows[y][x] == '#' ? 0u : 15u, SectionPixel(info, x, y)) << glyph.id << " " << x << "," << y;
        DeleteObject(image);
    }

    // Faces: black exactly where the mask is white; a dark rim; the top arc bright.
    struct FaceRow { int id; int arcLow; int bottomLow, bottomHigh; } faces[] = {
        {IDB_FACE_NORMAL, 0xF0, 0x98, 0xC0},
        {IDB_FACE_HOVER, 0xF0, 0xD8, 0xF8},
        {IDB_FACE_PRESSED, 0xC8, 0x80, 0xB0},
    };
    for (const FaceRow &row : faces) {
        SCOPED_TRACE(row.id);
        HBITMAP image = LoadSectionBitmap(row.id);
        BITMAP info;
        ASSERT_TRUE(image && GetObjectA(image, sizeof info, &info));
        EXPECT_EQ(24, info.bmBitsPixel);
        ASSERT_EQ(24, info.bmWidth);
        ASSERT_EQ(32, info.bmHeight);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 24; ++x) {
                unsigned pixel = SectionPixel(info, x, y);
                if (!InMask(x, y)) {
                    ASSERT_EQ(0u, pixel) << x << "," << y;
                    continue;
                }
                ASSERT_NE(0u, pixel) << x << "," << y;
                ASSERT_EQ(Grey(pixel & 0xFF), pixel) << x << "," << y;
            }
        // Rim at the left of the middle row and at the top; arc just inside the top.
        for (POINT rim : {POINT{1, 16}, POINT{12, 5}, POINT{12, 26}}) {
            int level = SectionPixel(info, rim.x, rim.y) & 0xFF;
            EXPECT_GE(level, 0x54);
            EXPECT_LE(level, 0x66);
        }
        EXPECT_GE(static_cast<int>(SectionPixel(info, 12, 6) & 0xFF), row.arcLow);
        int bottom = SectionPixel(info, 12, 24) & 0xFF;
        EXPECT_GE(bottom, row.bottomLow);
        EXPECT_LE(bottom, row.bottomHigh);
        DeleteObject(image);
    }
    DeleteObject(mask);
}

// The sizes the icon is shown at, 96 DPI's and 144 DPI's: each its own picture, not a stretched one.
TEST(GeneratedImages, IconHasEverySize)
{
    for (int size : {32, 16, 48, 24}) {
        HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_CLOCK), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon) << size;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour;
        ASSERT_TRUE(GetObjectA(info.hbmColor, sizeof colour, &colour));
        EXPECT_EQ(size, colour.bmWidth);
        HRSRC group = FindResourceA(NULL, MAKEINTRESOURCEA(IDI_CLOCK), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        int id = LookupIconIdFromDirectoryEx(static_cast<BYTE *>(LockResource(LoadResource(NULL, group))), TRUE,
                                             size, size, LR_DEFAULTCOLOR);
        HRSRC picture = FindResourceA(NULL, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));        // RT_ICON
        ASSERT_NE(nullptr, picture) << size;
        EXPECT_EQ(size, static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(NULL, picture)))->biWidth);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// A one-bit section of width x height from picture rows ('#' black = bit 0), padding bits 0.
HBITMAP MakeMask(int width, int height, const std::vector<std::string> &rows)
{
    struct { BITMAPINFOHEADER header; RGBQUAD colours[2]; } info = {};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.colours[1] = {255, 255, 255, 0};
    void *bits = NULL;
    HBITMAP mask = CreateDIBSection(NULL, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits, NULL, 0);
    int stride = ((width + 31) / 32) * 4;
    memset(bits, 0, static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        BYTE *row = static_cast<BYTE *>(bits) + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x)
            if (rows[y][x] != '#') row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
    return mask;
}

TEST(RegionFromMask, ButtonMaskGivesTheDisc)
{
    HBITMAP mask = LoadSectionBitmap(IDB_BUTTON_MASK);
    HRGN region = RegionFromMask(mask);
    ASSERT_NE(nullptr, region);
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetRgnBox(region, &box));
    EXPECT_EQ(1, box.left);
    EXPECT_EQ(5, box.top);
    EXPECT_EQ(23, box.right);
    EXPECT_EQ(27, box.bottom);
    EXPECT_TRUE(PtInRegion(region, 12, 16));
    EXPECT_FALSE(PtInRegion(region, 0, 16));
    EXPECT_FALSE(PtInRegion(region, 12, 4));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(InMask(x, y), PtInRegion(region, x, y) != 0) << x << "," << y;
    DeleteObject(region);
    DeleteObject(mask);
}

TEST(RegionFromMask, EdgeMasks)
{
    struct Row {
        const char *name;
        int width;
        std::vector<std::string> rows;
        int kind;
        RECT box;
    } rows[] = {
        {"all white", 24, std::vector<std::string>(4, std::string(24, '.')), NULLREGION, {0, 0, 0, 0}},
        // Padding bits past the width are 0 (black) and must not extend the run.
        {"run to the width", 20, {"..........##########", "##..................", "...................."}, COMPLEXREGION, {0, 0, 20, 2}},
        {"all black", 20, std::vector<std::string>(3, std::string(20, '#')), SIMPLEREGION, {0, 0, 20, 3}},
        {"one pixel", 9, {".........", "........#"}, SIMPLEREGION, {8, 1, 9, 2}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        HBITMAP mask = MakeMask(row.width, static_cast<int>(row.rows.size()), row.rows);
        HRGN region = RegionFromMask(mask);
        ASSERT_NE(nullptr, region);
        RECT box;
        EXPECT_EQ(row.kind, GetRgnBox(region, &box));
        EXPECT_TRUE(EqualRect(&row.box, &box)) << box.left << " " << box.top << " " << box.right << " " << box.bottom;
        for (size_t y = 0; y < row.rows.size(); ++y)
            for (int x = 0; x < row.width + 12; ++x)
                ASSERT_EQ(x < row.width && row.rows[y][x] == '#', PtInRegion(region, x, static_cast<int>(y)) != 0) << x << "," << y;
        DeleteObject(region);
        DeleteObject(mask);
    }
    EXPECT_EQ(nullptr, RegionFromMask(NULL));
    HBITMAP tile = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_BAR_BACKGROUND));
    EXPECT_EQ(nullptr, RegionFromMask(tile));   // no direct access to its pixels
    DeleteObject(tile);
}

TEST(DrawGlyph, PaintsOnlyTheGlyphPixels)
{
    for (const GlyphRow &glyph : Glyphs) {
        HBITMAP image = LoadSectionBitmap(glyph.id);
        Canvas canvas(12, 12, RGB(200, 10, 10));
        DrawGlyph(canvas.dc, 2, 3, image, RGB(0, 0, 255));
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x) {
                bool on = x >= 2 && x < 10 && y >= 3 && y < 11 && glyph.rows[y - 3][x - 2] == '#';
                ASSERT_EQ(on ? 0x0000FFu : 0xC80A0Au, canvas.At(x, y)) << glyph.id << " " << x << "," << y;
            }
        DeleteObject(image);
    }
}

class BarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchIni("bar");
        memset(&Settings.Font, 0, sizeof Settings.Font);
        Settings.Font.Size = 20;
        Settings.FormStyle = 1;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
        BuildClockLayout();
        SetWindowPos(ClockWindow, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        UpdateWindow(ClockWindow);
        PumpMessages();
    }
    void TearDown() override
    {
        DestroyHostClockWindow();
        DeleteFileW(IniPath);
    }
};

DrawnButton *Record(int id)
{
    for (int i = 0; i < DrawnButtonCount; ++i)
        if (DrawnButtonTable[i].id == id) return &DrawnButtonTable[i];
    return nullptr;
}

// Draws button id into a 24 x 32 canvas and compares every pixel with what it must show.
void ExpectButtonPixels(int id, HBITMAP face, const GlyphRow &glyph, unsigned glyphColour, int shift)
{
    Canvas canvas(24, 32, RGB(255, 0, 255));
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = id;
    item.hwndItem = GetDlgItem(ClockWindow, id);
    item.hDC = canvas.dc;
    item.rcItem = {0, 0, 24, 32};
    ASSERT_EQ(1, DrawDrawnButton(id, &item));
    BITMAP faceInfo;
    ASSERT_TRUE(GetObjectA(face, sizeof faceInfo, &faceInfo));
    int gx = 8 + shift, gy = 12 + shift;
    auto glyphAt = [&](int x, int y) {
        return x >= 0 && x < 8 && y >= 0 && y < 8 && glyph.rows[y][x] == '#';
    };
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 24; ++x) {
            unsigned expected;
            if (glyphAt(x - gx, y - gy))
                expected = glyphColour;
            else if (glyphAt(x - gx - 1, y - gy - 1))
                expected = 0xFFFFFF;
            else if (InMask(x, y))
                expected = SectionPixel(faceInfo, x, y);
            else
                expected = Grey(TileLevels[y]);   // the bar's background behind the button
            ASSERT_EQ(expected, canvas.At(x, y)) << id << " at " << x << "," << y;
        }
}

TEST_F(BarTest, DrawnButtonsShowFaceGlyphShadowAndBackground)
{
    ExpectButtonPixels(IDC_RUN_BUTTON, FaceNormal, Glyphs[0], 0x000000, 0);
    Record(IDC_CLOSE_BUTTON)->hover = 1;
    ExpectButtonPixels(IDC_CLOSE_BUTTON, FaceHover, Glyphs[3], 0x000000, 0);
    Record(IDC_CLOSE_BUTTON)->pressed = 1;
    ExpectButtonPixels(IDC_CLOSE_BUTTON, FacePressed, Glyphs[3], 0x000000, 1);
    EnableWindow(OptionsButton, FALSE);
    ExpectButtonPixels(IDC_OPTIONS_BUTTON, FaceNormal, Glyphs[2], 0x808080, 0);
    SetDrawnButtonGlyph(RunButton, GlyphStop);
    ExpectButtonPixels(IDC_RUN_BUTTON, FaceNormal, Glyphs[1], 0x000000, 0);

    DRAWITEMSTRUCT item = {};
    EXPECT_EQ(0, DrawDrawnButton(2100, &item));
    SetDrawnButtonGlyph(ClockWindow, GlyphClose);   // not a drawn button: left alone
    EXPECT_EQ(GlyphStop, Record(IDC_RUN_BUTTON)->glyph);
}

TEST_F(BarTest, MouseMessagesDriveHoverAndPressed)
{
    HWND button = MinimizeButton;
    DrawnButton *record = Record(IDC_MINIMIZE_BUTTON);
    ASSERT_NE(nullptr, record);
    struct Step { UINT message; int hover, pressed; } steps[] = {
        {WM_MOUSEMOVE, 1, 0},   {WM_MOUSEMOVE, 1, 0},     {WM_LBUTTONDOWN, 1, 1}, {WM_MOUSELEAVE, 0, 1},
        {WM_MOUSEMOVE, 0, 1},   {WM_LBUTTONUP, 0, 0},     {WM_MOUSEMOVE, 1, 0},   {WM_LBUTTONDBLCLK, 1, 1},
        {WM_LBUTTONUP, 1, 0},   {WM_MOUSELEAVE, 0, 0},
    };
    for (const Step &step : steps) {
        SendMessageA(button, step.message, step.message == WM_MOUSELEAVE ? 0 : MK_LBUTTON, MAKELPARAM(12, 16));
        EXPECT_EQ(step.hover, record->hover) << std::hex << step.message;
        EXPECT_EQ(step.pressed, record->pressed) << std::hex << step.message;
    }
    ReleaseCapture();
    EXPECT_EQ(1, SendMessageA(button, WM_ERASEBKGND, 0, 0));
}

TEST_F(BarTest, RegistrationIsBoundedAndReleaseRestoresTheControls)
{
    HWND extra = CreateWindowExA(0, "BUTTON", "", WS_CHILD, 0, 0, 10, 10, ClockWindow, NULL, ProgramInstance, NULL);
    LONG_PTR own = GetWindowLongPtrA(extra, GWLP_WNDPROC);   // every button's own procedure
    DrawnButton before[DrawnButtonCapacity];
    memcpy(before, DrawnButtonTable, sizeof before);
    EXPECT_EQ(-1, RegisterDrawnButton(99, extra, FaceNormal, FaceHover, FacePressed, ButtonMask, GlyphRun));
    EXPECT_EQ(5, DrawnButtonCount);
    EXPECT_EQ(0, memcmp(before, DrawnButtonTable, sizeof before));

    HWND buttons[5];
    for (int i = 0; i < 5; ++i) buttons[i] = DrawnButtonTable[i].window;
    ReleaseDrawnButtons();
    EXPECT_EQ(0, DrawnButtonCount);
    for (HWND button : buttons) {
        EXPECT_EQ(own, GetWindowLongPtrA(button, GWLP_WNDPROC));
        RECT box;
        EXPECT_EQ(ERROR, GetWindowRgnBox(button, &box));
    }
    for (const DrawnButton &record : DrawnButtonTable) {
        EXPECT_EQ(nullptr, record.window);
        EXPECT_EQ(nullptr, record.glyph);
        EXPECT_EQ(nullptr, record.region);
    }
    ReleaseDrawnButtons();

    // A mask without a region leaves the button rectangular but registered.
    HBITMAP white = MakeMask(24, 32, std::vector<std::string>(32, std::string(24, '.')));
    EXPECT_EQ(0, RegisterDrawnButton(99, extra, FaceNormal, FaceHover, FacePressed, white, GlyphRun));
    EXPECT_NE(own, GetWindowLongPtrA(extra, GWLP_WNDPROC));
    RECT box;
    EXPECT_EQ(NULLREGION, GetWindowRgnBox(extra, &box));   // invisible, yet registered
    RECT frame;
    GetWindowRect(extra, &frame);
    EXPECT_EQ(24, frame.right - frame.left);
    EXPECT_EQ(32, frame.bottom - frame.top);
    EXPECT_EQ(0x0B, GetWindowLongA(extra, GWL_STYLE) & BS_TYPEMASK);
    ReleaseDrawnButtons();
    EXPECT_EQ(own, GetWindowLongPtrA(extra, GWLP_WNDPROC));
    DeleteObject(white);
    DestroyWindow(extra);
}

TEST_F(BarTest, BackgroundTilesCoverTheClientWidth)
{
    RECT client;
    GetClientRect(ClockWindow, &client);
    ASSERT_EQ(397, client.right);
    Canvas canvas(460, 32, RGB(255, 0, 255));
    ASSERT_EQ(1, PaintBarBackground(ClockWindow, canvas.dc));
    // Thirteen whole tiles from x = 0 to 384: the last ends at 416, nothing after it.
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 416; ++x) ASSERT_EQ(Grey(TileLevels[y]), canvas.At(x, y)) << x << "," << y;
        for (int x = 416; x < 460; ++x) ASSERT_EQ(0xFF00FFu, canvas.At(x, y)) << x << "," << y;
    }
    EXPECT_EQ(0, PaintBarBackground(ClockWindow, NULL));
    for (int style : {0, 7}) {
        Settings.FormStyle = style;
        Canvas untouched(40, 32, RGB(255, 0, 255));
        EXPECT_EQ(0, PaintBarBackground(ClockWindow, untouched.dc));
        EXPECT_EQ(0xFF00FFu, untouched.At(0, 0));
    }
}

}  // namespace
