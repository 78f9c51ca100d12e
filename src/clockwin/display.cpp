// What the clock window's text fields show: the local date and time, the status text and the
// alternating leap-second notice, refreshed once per second.
#include "clockwin/display.h"

char StatusText[StatusTextSize] = "";
int StatusHold = 0;
void (WINAPI *DisplayLocalTimeSource)(LPSYSTEMTIME time) = GetLocalTime;

void SetStatusText(const char *) {}
void ShowStatusText(void) {}
void ShowDateTime(void) {}
void ShowLeapNotice(void) {}
void RefreshClockDisplay(void) {}
void ApplyClockAppearance(void) {}
