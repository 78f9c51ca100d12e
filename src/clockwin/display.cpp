// What the clock window's text fields show: the local date and time, the status text and the
// alternating leap-second notice, refreshed once per second.
#include "clockwin/display.h"
#include <stdio.h>
#include <string.h>
#include "base/program.h"
#include "base/wide_text.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "ntp/leap_notice.h"
#include "sntp/reply.h"

char StatusText[StatusTextSize] = "";
int StatusHold = 0;
void (WINAPI *DisplayLocalTimeSource)(LPSYSTEMTIME time) = GetLocalTime;

// A null font gives the field the system font.
static void SetFieldFont(HWND field, HFONT font)
{
    if (field) SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
}

// Shows a status-like text (status or leap notice) in the field of the current look.
static void ShowInStatusPlace(const char *text)
{
    if (ClockLook() == StandardStyle) {
        if (StatusField) SetWindowText932(StatusField, text);
        return;
    }
    if (!DisplayField) return;
    SetFieldFont(DisplayField, ControlFont());
    SetWindowText932(DisplayField, text);
}

void SetStatusText(const char *text)
{
    // An oversized text is cut at a character boundary rather than in a double-byte pair.
    CopyWholeCharacters(StatusText, sizeof StatusText, text);
    ShowStatusText();
}

void ShowStatusText(void)
{
    ShowInStatusPlace(StatusText);
}

void ShowLeapNotice(void)
{
    char text[sizeof LeapNotice + 1];
    memcpy(text, LeapNotice, sizeof LeapNotice);
    text[sizeof LeapNotice] = '\0';
    ShowInStatusPlace(text);
}

// The text shown for a local time: "yyyy/MM/dd HH:mm:ss", or with "AM "/"PM " and "hh" in the
// 12-hour form. Exposed for the display's own tests.
void FormatDisplayTime(const SYSTEMTIME *time, int hour24, char *out, size_t size)
{
    WCHAR date[100] = L"";
    WCHAR clock[100] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, time, L"yyyy/MM/dd", date, 100);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, time, hour24 ? L"HH:mm:ss" : L"hh:mm:ss", clock, 100);
    char dateText[100], clockText[100];
    const char *half = hour24 ? "" : (time->wHour < 12 ? "AM " : "PM ");
    snprintf(out, size, "%s %s%s", WideToText(date, dateText, sizeof dateText), half,
             WideToText(clock, clockText, sizeof clockText));
}

void ShowDateTime(void)
{
    SYSTEMTIME now;
    memset(&now, 0, sizeof now);
    DisplayLocalTimeSource(&now);
    if (CorrectionFailed) {
        // Show the time the server gave, since the computer's clock could not be corrected.
        FILETIME file;
        if (SystemTimeToFileTime(&now, &file)) {
            ULARGE_INTEGER units;
            units.LowPart = file.dwLowDateTime;
            units.HighPart = file.dwHighDateTime;
            units.QuadPart = static_cast<ULONGLONG>(static_cast<LONGLONG>(units.QuadPart) + ClockOffset);
            file.dwLowDateTime = units.LowPart;
            file.dwHighDateTime = units.HighPart;
            SYSTEMTIME corrected;
            if (FileTimeToSystemTime(&file, &corrected)) now = corrected;
        }
    }
    char text[104];
    FormatDisplayTime(&now, Settings.Hour24, text, sizeof text);
    if (ClockLook() == StandardStyle) {
        if (TimeField) SetWindowText932(TimeField, text);
        return;
    }
    if (!DisplayField) return;
    SetFieldFont(DisplayField, ClockFont);
    SetWindowText932(DisplayField, text);
}

void ShowClockFields(void)
{
    int leapDue = LeapNoticeSeconds != 0 && (LeapNoticeSeconds & 2) == 0;
    if (ClockLook() == StandardStyle) {
        if (leapDue)
            ShowLeapNotice();
        else
            ShowStatusText();
        ShowDateTime();
    } else if (StatusHold != 0) {
        ShowStatusText();
    } else if (leapDue) {
        ShowLeapNotice();
    } else {
        ShowDateTime();
    }
}

void RefreshClockDisplay(void)
{
    ShowClockFields();
    if (StatusHold != 0) --StatusHold;
    if (LeapNoticeSeconds != 0) --LeapNoticeSeconds;
}

void ApplyClockAppearance(void)
{
    // The new font and brush are in place before the old ones go, so no field ever refers to a
    // deleted object; a font that cannot be made leaves the field with the system font.
    HFONT oldFont = ClockFont;
    LOGFONTW description = MakeClockFontForDpi(&Settings.Font, LayoutDpi());
    ClockFont = CreateClockFont(&description);
    SetFieldFont(ClockLook() == StandardStyle ? TimeField : DisplayField, ClockFont);
    if (oldFont) DeleteObject(oldFont);
    HBRUSH oldBrush = BackgroundBrush;
    BackgroundBrush = CreateSolidBrush(Settings.Font.BkColor);
    if (oldBrush) DeleteObject(oldBrush);
    ShowDateTime();
    if (ClockLook() == StandardStyle) ShowStatusText();
    HWND fields[] = {TimeField, StatusField, DisplayField};
    for (HWND field : fields)
        if (field) InvalidateRect(field, NULL, TRUE);
}

void RebuildClockLayout(void)
{
    CopyWholeCharacters(StatusText, sizeof StatusText, VersionText);
    RebuildLayoutKeepingServers(LayoutDpi());
}

void RelayoutClockForDpi(int dpi)
{
    RebuildLayoutKeepingServers(dpi);
    ShowClockFields();
}
