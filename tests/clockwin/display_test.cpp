// What the text fields show second by second: the two time forms, the shown correction, held
// status texts and the leap-second rhythm, read back from the real fields.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "ntp/leap_notice.h"
#include "sntp/reply.h"

namespace {

SYSTEMTIME FakeNow;

void WINAPI FakeLocalTime(LPSYSTEMTIME time)
{
    *time = FakeNow;
}

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

std::string Text(HWND field)
{
    char text[1100] = "";
    GetWindowTextA(field, text, sizeof text);
    return text;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchIni("display");
        memset(&Settings.Font, 0, sizeof Settings.Font);
        snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", "ＭＳ Ｐゴシック");
        Settings.Font.Size = 20;
        Settings.Hour24 = 1;
        CorrectionFailed = 0;
        ClockOffset = 0;
        snprintf(LeapNotice, sizeof LeapNotice, "%s", "うるう秒が挿入されます");
        FakeNow = At(2026, 12, 6, 13, 5, 9);
        DisplayLocalTimeSource = FakeLocalTime;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
        // After the creation steps, which greet in the status line.
        StatusHold = 0;
        LeapNoticeSeconds = 0;
        StatusText[0] = '\0';
    }
    void TearDown() override
    {
        DestroyHostClockWindow();
        DisplayLocalTimeSource = GetLocalTime;
        CorrectionFailed = 0;
        ClockOffset = 0;
        DeleteFileW(IniPath);
    }
    void Build(int formStyle)
    {
        Settings.FormStyle = formStyle;
        BuildClockLayout();
    }
};

TEST_F(DisplayTest, TwelveAndTwentyFourHourForms)
{
    struct Row { SYSTEMTIME time; int hour24; const char *text; } rows[] = {
        {At(2026, 12, 6, 13, 5, 9), 1, "2026/12/06 13:05:09"},
        {At(2026, 12, 6, 13, 5, 9), 0, "2026/12/06 PM 01:05:09"},
        {At(2026, 1, 2, 0, 0, 0), 0, "2026/01/02 AM 12:00:00"},
        {At(2026, 1, 2, 0, 0, 0), 1, "2026/01/02 00:00:00"},
        {At(2026, 1, 2, 12, 0, 0), 0, "2026/01/02 PM 12:00:00"},
        {At(2026, 1, 2, 11, 59, 59), 0, "2026/01/02 AM 11:59:59"},
        {At(2026, 1, 2, 23, 59, 59), 0, "2026/01/02 PM 11:59:59"},
        {At(2026, 1, 2, 23, 59, 59), 5, "2026/01/02 23:59:59"},
    };
    Build(0);
    for (const Row &row : rows) {
        FakeNow = row.time;
        Settings.Hour24 = row.hour24;
        ShowDateTime();
        EXPECT_EQ(row.text, Text(TimeField));
        char small[12];
        FormatDisplayTime(&row.time, row.hour24, small, sizeof small);
        EXPECT_EQ(std::string(row.text).substr(0, 11), small);
    }
}

TEST_F(DisplayTest, FailedCorrectionShowsTheServersTime)
{
    struct Row { SYSTEMTIME time; int64_t offset; int hour24; const char *text; } rows[] = {
        {At(2026, 12, 31, 23, 59, 0), 900000000, 1, "2027/01/01 00:00:30"},
        {At(2026, 12, 31, 23, 59, 0), 900000000, 0, "2027/01/01 AM 12:00:30"},
        {At(2027, 1, 1, 0, 0, 10), -200000000, 0, "2026/12/31 PM 11:59:50"},
        {At(2026, 3, 1, 12, 0, 0), -864000000000LL, 1, "2026/02/28 12:00:00"},
    };
    Build(1);
    CorrectionFailed = 1;
    for (const Row &row : rows) {
        FakeNow = row.time;
        ClockOffset = row.offset;
        Settings.Hour24 = row.hour24;
        ShowDateTime();
        EXPECT_EQ(row.text, Text(DisplayField));
    }
    CorrectionFailed = 0;
    ShowDateTime();
    EXPECT_EQ("2026/03/01 12:00:00", Text(DisplayField));
}

// One refresh per row: what the bar's field shows, and in which font.
struct Shown { std::string text; bool clockFont; };

Shown RefreshBar()
{
    RefreshClockDisplay();
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(DisplayField, WM_GETFONT, 0, 0));
    return {Text(DisplayField), font == ClockFont};
}

TEST_F(DisplayTest, HeldStatusOutranksTheTimeInTheBar)
{
    Build(1);
    const std::string time = "2026/12/06 13:05:09";
    StatusHold = 3;
    SetStatusText("同期しました");
    EXPECT_EQ("同期しました", Text(DisplayField));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)), SendMessageA(DisplayField, WM_GETFONT, 0, 0));
    for (int second = 0; second < 3; ++second) {
        Shown shown = RefreshBar();
        EXPECT_EQ("同期しました", shown.text) << second;
        EXPECT_FALSE(shown.clockFont);
    }
    Shown back = RefreshBar();
    EXPECT_EQ(time, back.text);
    EXPECT_TRUE(back.clockFont);
    EXPECT_EQ(0, StatusHold);

    StatusHold = -1;
    SetStatusText("サーバーとの通信中...");
    for (int second = 0; second < 50; ++second) ASSERT_EQ("サーバーとの通信中...", RefreshBar().text) << second;
    StatusHold = 0;
    EXPECT_EQ(time, RefreshBar().text);
}

TEST_F(DisplayTest, LeapNoticeRhythmOverThirtyOneSeconds)
{
    // '#' notice, '.' the normal display; the first refresh sees the value 30.
    const std::string rhythm = ".##..##..##..##..##..##..##..#.";
    ASSERT_EQ(31u, rhythm.size());
    for (int look = 0; look < 2; ++look) {
        SCOPED_TRACE(look);
        Build(look);
        SetStatusText("ようこそ vellmarin へ。");
        LeapNoticeSeconds = 30;
        std::string seen;
        for (int second = 0; second < 31; ++second) {
            FakeNow.wSecond = static_cast<WORD>(second % 60);
            RefreshClockDisplay();
            HWND field = look == 0 ? StatusField : DisplayField;
            std::string text = Text(field);
            seen += text == LeapNotice ? '#' : '.';
            if (look == 0) {
                EXPECT_EQ(text == LeapNotice ? LeapNotice : StatusText, text);
                char expected[32];
                snprintf(expected, sizeof expected, "2026/12/06 13:05:%02d", second);
                EXPECT_EQ(expected, Text(TimeField)) << "the time field updates every second";
            } else if (text != LeapNotice) {
                EXPECT_EQ(0u, text.find("2026/12/06 13:05:"));
            }
        }
        EXPECT_EQ(rhythm, seen);
        EXPECT_EQ(0, LeapNoticeSeconds);
    }
}

TEST_F(DisplayTest, StatusTextIsBoundedAndStandardLookIgnoresTheHold)
{
    Build(0);
    std::string huge(1500, 'x');
    SetStatusText(huge.c_str());
    EXPECT_EQ(999u, strlen(StatusText));
    EXPECT_EQ(std::string(999, 'x'), Text(StatusField));
    // 998 single bytes and then a double-byte character: the pair does not fit and is dropped.
    std::string mixed = std::string(998, 'y') + "あい";
    SetStatusText(mixed.c_str());
    EXPECT_EQ(std::string(998, 'y'), std::string(StatusText));
    SetStatusText(NULL);
    EXPECT_STREQ("", StatusText);

    StatusHold = 2;
    SetStatusText("待機中");
    RefreshClockDisplay();
    EXPECT_EQ("待機中", Text(StatusField));
    EXPECT_EQ("2026/12/06 13:05:09", Text(TimeField));
    EXPECT_EQ(1, StatusHold);
}

TEST_F(DisplayTest, AppearanceChangeReplacesFontAndBrush)
{
    Build(1);
    StatusHold = 3;
    SetStatusText("保持中");
    HFONT oldFont = ClockFont;
    Settings.Font.Size = 30;
    Settings.Font.BkColor = RGB(10, 20, 30);
    ApplyClockAppearance();
    EXPECT_EQ(OBJ_FONT, static_cast<int>(GetObjectType(ClockFont)));
    LOGFONTW made;
    ASSERT_TRUE(GetObjectW(ClockFont, sizeof made, &made));
    EXPECT_EQ(PointsToFontHeight(30), made.lfHeight);
    if (oldFont != ClockFont) {
        EXPECT_EQ(0u, GetObjectType(oldFont));
    }
    LOGBRUSH brush;
    ASSERT_TRUE(GetObjectA(BackgroundBrush, sizeof brush, &brush));
    EXPECT_EQ(RGB(10, 20, 30), brush.lbColor);
    // The held status gives way to the time for this second only.
    EXPECT_EQ("2026/12/06 13:05:09", Text(DisplayField));
    EXPECT_EQ(reinterpret_cast<LRESULT>(ClockFont), SendMessageA(DisplayField, WM_GETFONT, 0, 0));
    EXPECT_EQ(3, StatusHold);
    EXPECT_EQ("保持中", RefreshBar().text);

    TearDownClockLayout();
    Build(0);
    SetStatusText("標準");
    SetWindowTextA(StatusField, "");
    ApplyClockAppearance();
    EXPECT_EQ("標準", Text(StatusField));
    EXPECT_EQ(reinterpret_cast<LRESULT>(ClockFont), SendMessageA(TimeField, WM_GETFONT, 0, 0));
}

HFONT WINAPI NoFont(const LOGFONTW *)
{
    return NULL;
}

// A font that cannot be made: the old one is deleted, and the field shows the system font
// rather than keeping the deleted handle.
TEST_F(DisplayTest, FontThatCannotBeMadeLeavesTheSystemFont)
{
    for (int style : {0, 1}) {
        Build(style);
        HWND field = style == 0 ? TimeField : DisplayField;
        HFONT oldFont = ClockFont;
        ASSERT_NE(nullptr, oldFont);
        CreateClockFont = NoFont;
        ApplyClockAppearance();
        CreateClockFont = CreateFontIndirectW;
        EXPECT_EQ(nullptr, ClockFont) << style;
        EXPECT_EQ(0u, GetObjectType(oldFont)) << style;
        EXPECT_EQ(0, SendMessageA(field, WM_GETFONT, 0, 0)) << style;
        EXPECT_EQ("2026/12/06 13:05:09", Text(field)) << style;
        TearDownClockLayout();
    }
}

TEST_F(DisplayTest, NothingHappensWithoutFields)
{
    TearDownClockLayout();
    SetStatusText("x");
    ShowDateTime();
    ShowLeapNotice();
    LeapNoticeSeconds = 2;
    RefreshClockDisplay();
    EXPECT_EQ(1, LeapNoticeSeconds);
    EXPECT_STREQ("x", StatusText);
}

}  // namespace
