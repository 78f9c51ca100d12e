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
LOGFONTA MakeClockFont(const FontSettings *font);
int PointsToFontHeight(int points);
void FitComboDropWidth(HWND combo, HFONT font);
HWND AddToolTip(HWND control, const char *text, UINT toolId);
// The full-size tool description (48 bytes) of a control, as registered and as updated later.
TTTOOLINFOA ToolDescription(HWND control, const char *text, UINT toolId);
void DestroyToolTips(void);
void SetClientSize(HWND window, int cx, int cy);

// The colour rule for WM_CTLCOLORSTATIC: the brush to answer with, or null for default handling.
HBRUSH ClockControlColor(HWND control, HDC dc);

// The look whose controls currently exist (StandardStyle or MetallicBarStyle); before the first
// build, the look FormStyle asks for.
int ClockLook(void);
