// The controls, fonts, brush and tooltips of the clock window in its two looks, built, torn down
// and rebuilt as one layout.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "base/settings.h"

enum { StandardStyle = 0, MetallicBarStyle = 1 };

extern HWND DisplayField;
extern HWND TimeField;
extern HWND StatusField;
extern HWND OptionsButton;
extern HWND RunButton;
extern HWND CloseButton;
extern HWND ServerSwitchButton;
extern HWND MinimizeButton;
extern HWND ServerCombo;
extern HWND ToolTipWindow;
extern HFONT ClockFont;
extern HFONT StatusFont;
extern HBRUSH BackgroundBrush;

extern const char *const DefaultServers[4];

void BuildClockLayout(void);
void TearDownClockLayout(void);
// Tears down and builds again for the current FormStyle at a DPI; the server list in use (entries
// and selection) is carried over instead of being read from the file again.
void RebuildLayoutKeepingServers(int dpi);
// The DPI the controls are built for (the window's before they are built). Every size the
// layout gives is for 96 DPI and is scaled to it.
int LayoutDpi(void);
// The clock font's description at the screen's DPI (for the font dialog), or at a given one.
LOGFONTW MakeClockFont(const FontSettings *font);
LOGFONTW MakeClockFontForDpi(const FontSettings *font, int dpi);
int PointsToFontHeight(int points);
// The font of the buttons and the server selector: the GUI font at the layout's DPI.
HFONT ControlFont(void);
void FitComboDropWidth(HWND combo, HFONT font);
HWND AddToolTip(HWND control, const char *text, UINT toolId);
// The full-size tool description (48 bytes) of a control, as registered and as updated later.
TTTOOLINFOW ToolDescription(HWND control, const WCHAR *text, UINT toolId);
void DestroyToolTips(void);
// Sizes the window around a client area of cx by cy pixels, its frame as the system draws it at
// the window's DPI.
void SetClientSize(HWND window, int cx, int cy);

// The colour rule for WM_CTLCOLORSTATIC: the brush to answer with, or null for default handling.
HBRUSH ClockControlColor(HWND control, HDC dc);

// The look whose controls currently exist (StandardStyle or MetallicBarStyle); before the first
// build, the look FormStyle asks for.
int ClockLook(void);

// Makes the clock font (default CreateFontIndirectW); tests replace it to stage a failure.
extern HFONT (WINAPI *CreateClockFont)(const LOGFONTW *description);
