// The controls, fonts, brush and tooltips of the clock window in its two looks, built, torn down
// and rebuilt as one layout.
#include "clockwin/layout.h"
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>
#include "base/program.h"
#include "base/wide_text.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/scaling.h"
#include "resource.h"

// Tools are registered with the full-size description the build's Windows version selects:
// 48 bytes in the 32-bit program (pointers and handles widen it in a 64-bit build).
#ifndef _WIN64
static_assert(sizeof(TTTOOLINFOW) == 48, "tool description must be 48 bytes");
#endif

HWND DisplayField = NULL;
HWND TimeField = NULL;
HWND StatusField = NULL;
HWND OptionsButton = NULL;
HWND RunButton = NULL;
HWND CloseButton = NULL;
HWND ServerSwitchButton = NULL;
HWND MinimizeButton = NULL;
HWND ServerCombo = NULL;
HWND ToolTipWindow = NULL;
HFONT ClockFont = NULL;
HFONT StatusFont = NULL;
HBRUSH BackgroundBrush = NULL;
HFONT (WINAPI *CreateClockFont)(const LOGFONTW *description) = CreateFontIndirectW;

const char *const DefaultServers[4] = {
    "ntp.nict.jp",
    "time.google.com",
    "time.cloudflare.com",
    "pool.ntp.org",
};

static int BuiltLook = -1;  // the look of the controls that exist, -1 when none are built
static int BuiltDpi = BaseDpi;  // the DPI they were built for
static HFONT ScaledGuiFont = NULL;  // the GUI font made for BuiltDpi, when it is not the system's

enum : DWORD {
    StandardFrameStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,  // 0x00CA0000
    BarFrameStyle = WS_POPUP | WS_SYSMENU,                           // 0x80080000
    FieldStyle = WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, // 0x50000201
    PushStyle = WS_CHILD | WS_VISIBLE,                               // 0x50000000
    ComboStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST,
};

static const char StatusFaceName[] = "ＭＳ Ｐゴシック";

int ClockLook(void)
{
    if (BuiltLook >= 0) return BuiltLook;
    return Settings.FormStyle == 0 ? StandardStyle : MetallicBarStyle;
}

int LayoutDpi(void)
{
    return BuiltLook >= 0 ? BuiltDpi : WindowDpi(ClockWindow);
}

// A child at a place and size given for 96 DPI, scaled to the layout's DPI.
static HWND CreateChild(const WCHAR *className, const char *text, DWORD style, int x, int y, int cx,
                        int cy, int id)
{
    RECT at = ScaledRect(x, y, cx, cy, BuiltDpi);
    WCHAR wide[32];
    return CreateWindowExW(0, className, TextToWide(text, wide, 32), style, at.left, at.top,
                           at.right - at.left, at.bottom - at.top, ClockWindow,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ProgramInstance, NULL);
}

// The system's GUI font is made for the system DPI; a window standing at another DPI gets a copy
// of it made for its own.
static HFONT MakeControlFont(int dpi)
{
    int systemDpi = ScreenDpi();
    LOGFONTW description;
    if (dpi == systemDpi || !GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description))
        return NULL;
    description.lfHeight = ScaleForDpi(description.lfHeight, dpi, systemDpi);
    description.lfWidth = ScaleForDpi(description.lfWidth, dpi, systemDpi);
    return CreateFontIndirectW(&description);
}

HFONT ControlFont(void)
{
    return ScaledGuiFont ? ScaledGuiFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

static void SetDefaultGuiFont(HWND control)
{
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), 1);
}

// Replaces the frame style while keeping the window's visibility and minimised state, which
// belong to whoever shows the window, not to the look.
static void SetFrameStyle(DWORD style)
{
    LONG current = GetWindowLongW(ClockWindow, GWL_STYLE);
    DWORD kept = static_cast<DWORD>(current) & (WS_VISIBLE | WS_MINIMIZE | WS_DISABLED);
    SetWindowLongW(ClockWindow, GWL_STYLE, static_cast<LONG>(style | kept));
}

// A character height of that many points at the DPI, negative as the font mapper wants it.
static int FontHeightAtDpi(int points, int dpi)
{
    return -ScaleForDpi(points, dpi, PointsPerInch);
}

int PointsToFontHeight(int points)
{
    return FontHeightAtDpi(points, ScreenDpi());
}

LOGFONTW MakeClockFont(const FontSettings *font)
{
    return MakeClockFontForDpi(font, ScreenDpi());
}

// The face name is kept in code page 932; the font is asked for in UTF-16.
LOGFONTW MakeClockFontForDpi(const FontSettings *font, int dpi)
{
    LOGFONTW description;
    memset(&description, 0, sizeof description);
    char name[sizeof font->Name + 1];
    memcpy(name, font->Name, sizeof font->Name);
    name[sizeof font->Name] = '\0';
    TextToWide(name, description.lfFaceName, LF_FACESIZE);
    description.lfHeight = FontHeightAtDpi(font->Size, dpi);
    description.lfWeight = font->Bold ? FW_BOLD : 0;
    description.lfItalic = font->Italic ? 1 : 0;
    description.lfUnderline = font->Underline ? 1 : 0;
    description.lfStrikeOut = font->StrikeOut ? 1 : 0;
    description.lfCharSet = font->Charset;
    return description;
}

static HFONT MakeStatusFont(int dpi)
{
    LOGFONTW description;
    memset(&description, 0, sizeof description);
    TextToWide(StatusFaceName, description.lfFaceName, LF_FACESIZE);
    description.lfHeight = FontHeightAtDpi(8, dpi);
    description.lfCharSet = SHIFTJIS_CHARSET;
    return CreateFontIndirectW(&description);
}

TTTOOLINFOW ToolDescription(HWND control, const WCHAR *text, UINT toolId)
{
    TTTOOLINFOW tool;
    memset(&tool, 0, sizeof tool);
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = control;
    tool.uId = toolId;
    GetClientRect(control, &tool.rect);
    tool.hinst = ProgramInstance;
    tool.lpszText = const_cast<WCHAR *>(text);
    return tool;
}

HWND AddToolTip(HWND control, const char *text, UINT toolId)
{
    if (!control) return NULL;
    if (!ToolTipWindow) {
        ToolTipWindow = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, NULL,
                                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ClockWindow, NULL,
                                        ProgramInstance, NULL);
        if (!ToolTipWindow) return NULL;
    }
    WCHAR wide[64];
    TTTOOLINFOW tool = ToolDescription(control, TextToWide(text, wide, 64), toolId);
    if (!SendMessageW(ToolTipWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) return NULL;
    return ToolTipWindow;
}

void DestroyToolTips(void)
{
    if (ToolTipWindow) {
        DestroyWindow(ToolTipWindow);
        ToolTipWindow = NULL;
    }
}

void SetClientSize(HWND window, int cx, int cy)
{
    // The system draws the frame at the DPI the window stands at.
    int dpi = WindowDpi(window);
    int width = cx + 2 * SystemMetricForDpi(SM_CXDLGFRAME, dpi);
    int height = cy + 2 * SystemMetricForDpi(SM_CYDLGFRAME, dpi) + SystemMetricForDpi(SM_CYCAPTION, dpi);
    // The frame may just have changed with the style: let the system recompute it.
    SetWindowPos(window, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void FitComboDropWidth(HWND combo, HFONT font)
{
    if (!combo) return;
    RECT frame;
    GetWindowRect(combo, &frame);
    int widest = frame.right - frame.left;
    HDC dc = GetDC(combo);
    if (!dc) return;
    HGDIOBJ previous = SelectObject(dc, font);
    int dpi = LayoutDpi();
    int extra = SystemMetricForDpi(SM_CXVSCROLL, dpi) + ScaleForDpi(10, dpi);
    int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char *text = CopyComboEntry(combo, static_cast<WPARAM>(i));
        WCHAR *wide = text ? NewWideText(text) : NULL;
        free(text);
        if (!wide) continue;
        RECT box = {0, 0, 0, 0};
        DrawTextW(dc, wide, -1, &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        free(wide);
        int width = box.right - box.left + extra;
        if (width > widest) widest = width;
    }
    SelectObject(dc, previous);
    ReleaseDC(combo, dc);
    SendMessageW(combo, CB_SETDROPPEDWIDTH, widest, 0);
}

// The built-in servers, in place of whatever the selector held.
static void AddDefaultServers(HWND combo)
{
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const char *name : DefaultServers)
        SendText932(combo, CB_ADDSTRING, 0, name);
}

static void CreateServerCombo(void)
{
    ServerCombo = CreateChild(L"COMBOBOX", "", ComboStyle, 8, 64, 176, 120, IDC_SERVER_COMBO);
    if (!ServerCombo) return;
    SetDefaultGuiFont(ServerCombo);
    if (LoadServerList(ServerCombo) <= 0) AddDefaultServers(ServerCombo);
    SendMessageW(ServerCombo, CB_SETCURSEL, 0, 0);
    FitComboDropWidth(ServerCombo, ControlFont());
}

static void BuildStandardLayout(void)
{
    SetFrameStyle(StandardFrameStyle);
    DisplayField = CreateChild(L"STATIC", "", FieldStyle | SS_SUNKEN, 8, 8, 289, 48, IDC_DISPLAY_FIELD);
    TimeField = CreateChild(L"STATIC", "", FieldStyle, 9, 9, 287, 32, IDC_TIME_FIELD);
    StatusField = CreateChild(L"STATIC", "", FieldStyle, 9, 41, 287, 14, IDC_STATUS_FIELD);
    OptionsButton = CreateChild(L"BUTTON", "設定", PushStyle, 192, 64, 49, 24, IDC_OPTIONS_BUTTON);
    SetDefaultGuiFont(OptionsButton);
    AddToolTip(OptionsButton, "オプション設定", IDC_OPTIONS_BUTTON);
    RunButton = CreateChild(L"BUTTON", "実行", PushStyle, 248, 64, 49, 24, IDC_RUN_BUTTON);
    SetDefaultGuiFont(RunButton);
    AddToolTip(RunButton, "時刻合わせ", IDC_RUN_BUTTON);
    CreateServerCombo();
    AddToolTip(ServerCombo, "NTPサーバー", IDC_SERVER_COMBO);
    LOGFONTW description = MakeClockFontForDpi(&Settings.Font, BuiltDpi);
    ClockFont = CreateClockFont(&description);
    if (TimeField && ClockFont) SendMessageW(TimeField, WM_SETFONT, reinterpret_cast<WPARAM>(ClockFont), 1);
    StatusFont = MakeStatusFont(BuiltDpi);
    if (StatusField && StatusFont) SendMessageW(StatusField, WM_SETFONT, reinterpret_cast<WPARAM>(StatusFont), 1);
    BackgroundBrush = CreateSolidBrush(Settings.Font.BkColor);
    SetClientSize(ClockWindow, ScaleForDpi(305, BuiltDpi), ScaleForDpi(96, BuiltDpi));
}

static void BuildBarLayout(void)
{
    SetFrameStyle(BarFrameStyle);
    LoadBarImages();
    // The bar is as high as its background tile; the images are drawn for 96 DPI.
    int height = 32;
    BITMAP tile;
    if (BarBackground && GetObjectW(BarBackground, sizeof tile, &tile)) height = tile.bmHeight;
    ScaleBarImages(BuiltDpi);

    struct ButtonRow {
        HWND *slot;
        int id;
        const char *text;
        int x;
        HBITMAP glyph;
        const char *tip;
    } rows[] = {
        {&ServerSwitchButton, IDC_SWITCH_BUTTON, "1", 260, GlyphNext, "サーバー切替"},
        {&RunButton, IDC_RUN_BUTTON, "4", 287, GlyphRun, "時刻合わせ"},
        {&OptionsButton, IDC_OPTIONS_BUTTON, "1", 314, GlyphOptions, "オプション設定"},
        {&MinimizeButton, IDC_MINIMIZE_BUTTON, "r", 341, GlyphMinimize, "最小化"},
        {&CloseButton, IDC_CLOSE_BUTTON, "r", 368, GlyphClose, "閉じる"},
    };
    for (const ButtonRow &row : rows) {
        *row.slot = CreateChild(L"BUTTON", row.text, PushStyle, row.x, 0, 24, 32, row.id);
        if (!*row.slot) continue;
        RegisterDrawnButton(row.id, *row.slot, FaceNormal, FaceHover, FacePressed, ButtonMask, row.glyph);
        AddToolTip(*row.slot, row.tip, row.id);
    }
    DisplayField = CreateChild(L"STATIC", "", FieldStyle | SS_SUNKEN, 5, 4, 250, height - 8, IDC_DISPLAY_FIELD);
    BackgroundBrush = CreateSolidBrush(Settings.Font.BkColor);
    LOGFONTW description = MakeClockFontForDpi(&Settings.Font, BuiltDpi);
    ClockFont = CreateClockFont(&description);
    if (DisplayField && ClockFont) SendMessageW(DisplayField, WM_SETFONT, reinterpret_cast<WPARAM>(ClockFont), 1);
    CreateServerCombo();
    SetWindowPos(ClockWindow, NULL, 0, 0, ScaleForDpi(397, BuiltDpi), ScaleForDpi(height, BuiltDpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

static void BuildLayoutAtDpi(int dpi)
{
    if (!ClockWindow) return;
    if (BuiltLook >= 0) TearDownClockLayout();
    BuiltLook = Settings.FormStyle == 0 ? StandardStyle : MetallicBarStyle;
    BuiltDpi = dpi > 0 ? dpi : BaseDpi;
    ScaledGuiFont = MakeControlFont(BuiltDpi);
    if (BuiltLook == StandardStyle)
        BuildStandardLayout();
    else
        BuildBarLayout();
}

void BuildClockLayout(void)
{
    BuildLayoutAtDpi(WindowDpi(ClockWindow));
}

static void DestroyControl(HWND *slot)
{
    if (*slot) {
        DestroyWindow(*slot);
        *slot = NULL;
    }
}

static void DeleteGdiObject(HGDIOBJ *slot)
{
    if (*slot) {
        DeleteObject(*slot);
        *slot = NULL;
    }
}

void TearDownClockLayout(void)
{
    DestroyToolTips();
    ReleaseDrawnButtons();
    DestroyControl(&OptionsButton);
    DestroyControl(&RunButton);
    DestroyControl(&CloseButton);
    DestroyControl(&ServerSwitchButton);
    DestroyControl(&MinimizeButton);
    ReleaseGlyphImages();
    ReleaseFaceImages();
    DestroyControl(&DisplayField);
    DestroyControl(&TimeField);
    DestroyControl(&StatusField);
    DestroyControl(&ServerCombo);
    DeleteGdiObject(reinterpret_cast<HGDIOBJ *>(&BackgroundBrush));
    DeleteGdiObject(reinterpret_cast<HGDIOBJ *>(&ClockFont));
    DeleteGdiObject(reinterpret_cast<HGDIOBJ *>(&StatusFont));
    DeleteGdiObject(reinterpret_cast<HGDIOBJ *>(&ScaledGuiFont));
    ReleaseBarBackground();
    BuiltLook = -1;
}

// The server list in use, held across a rebuild. It can differ from the file's: the sheet may
// have changed it in a folder where the INI file cannot be written.
struct ServerListCopy {
    int count;
    LRESULT selected;
    char *names[ServerListMax];
};

static int CopyServerList(ServerListCopy *copy)
{
    copy->count = 0;
    copy->selected = CB_ERR;
    if (!ServerCombo) return 0;
    LRESULT count = SendMessageW(ServerCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count && copy->count < ServerListMax; ++i) {
        char *name = CopyComboEntry(ServerCombo, static_cast<WPARAM>(i));
        if (name) copy->names[copy->count++] = name;
    }
    copy->selected = SendMessageW(ServerCombo, CB_GETCURSEL, 0, 0);
    return 1;
}

// Puts the held list into the new selector in place of the file's, and releases the copy. An
// emptied list becomes the built-in servers, as at start-up when no server loads.
static void RestoreServerList(ServerListCopy *copy)
{
    if (ServerCombo) {
        SendMessageW(ServerCombo, CB_RESETCONTENT, 0, 0);
        for (int i = 0; i < copy->count; ++i)
            SendText932(ServerCombo, CB_ADDSTRING, 0, copy->names[i]);
        if (copy->count == 0) {
            AddDefaultServers(ServerCombo);
            copy->selected = 0;
        }
        SendMessageW(ServerCombo, CB_SETCURSEL, static_cast<WPARAM>(copy->selected), 0);
        FitComboDropWidth(ServerCombo, ControlFont());
    }
    for (int i = 0; i < copy->count; ++i) free(copy->names[i]);
    copy->count = 0;
}

void RebuildLayoutKeepingServers(int dpi)
{
    ServerListCopy servers;
    int carried = CopyServerList(&servers);
    TearDownClockLayout();
    BuildLayoutAtDpi(dpi);
    if (carried) RestoreServerList(&servers);
}

static HBRUSH PaintedField(HDC dc)
{
    SetTextColor(dc, Settings.Font.Color);
    SetBkMode(dc, TRANSPARENT);
    return BackgroundBrush;
}

HBRUSH ClockControlColor(HWND control, HDC dc)
{
    if (!control || BuiltLook < 0) return NULL;
    if (BuiltLook == StandardStyle) {
        if (control == TimeField || control == StatusField) return PaintedField(dc);
        if (control == DisplayField) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        return NULL;
    }
    if (control == DisplayField) return PaintedField(dc);
    return NULL;
}
