// The controls, fonts, brush and tooltips of the clock window in its two looks, built, torn down
// and rebuilt as one layout.
#include "clockwin/layout.h"

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

const char *const DefaultServers[4] = {
    "ntp.nict.jp", "time.google.com", "time.cloudflare.com", "pool.ntp.org",
};

void BuildClockLayout(void) {}
void TearDownClockLayout(void) {}
void RebuildClockLayout(void) {}
LOGFONTA MakeClockFont(const FontSettings *) { LOGFONTA f = {}; return f; }
int PointsToFontHeight(int points) { return -points; }
void FitComboDropWidth(HWND, HFONT) {}
HWND AddToolTip(HWND, const char *, UINT) { return NULL; }
void DestroyToolTips(void) {}
void SetClientSize(HWND, int, int) {}
HBRUSH ClockControlColor(HWND, HDC) { return NULL; }
