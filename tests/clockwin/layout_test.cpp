// The two looks of the clock window: every control as built, the tooltips, fonts and brush,
// repeated switching without leaks, and defined results for bad settings.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "app/sync_machine.h"
#include "base/program.h"
#include "clockwin/clock_host.h"
#include "clockwin/display.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "clockwin/scaling.h"
#include "base/settings.h"
#include "base/wide_text.h"
#include "support/test_ini.h"
#include "sntp/reply.h"
#include "support/process_counts.h"
#include "vellmarin_version.h"

namespace {

struct ControlRow {
    int id;
    const char *className;
    DWORD style;        // as created
    int x, y, cx, cy;   // as created
    DWORD finalStyle;   // as read back afterwards; 0: not checked (the combo box edits its own)
    const char *text;   // null: not checked
};

// Every child window created with the clock window as parent, as the creation call asked for it.
struct Created {
    std::string className;
    int id;
    DWORD style;
    int x, y, cx, cy;
};
std::vector<Created> CreatedChildren;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA *create = reinterpret_cast<CBT_CREATEWNDA *>(lParam)->lpcs;
        if (create->hwndParent == ClockWindow && (create->style & WS_CHILD) && HIWORD(create->lpszClass))
            CreatedChildren.push_back({create->lpszClass, static_cast<int>(reinterpret_cast<INT_PTR>(create->hMenu)),
                                       static_cast<DWORD>(create->style), create->x, create->y, create->cx, create->cy});
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void DefaultFont()
{
    memset(&Settings.Font, 0, sizeof Settings.Font);
    snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", "ＭＳ Ｐゴシック");
    Settings.Font.Size = 20;
    Settings.Font.BkColor = RGB(0, 255, 0);
}

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseScratchIni("layout");
        DefaultFont();
        Settings.FormStyle = 0;
        ASSERT_NE(nullptr, CreateHostClockWindow(WS_OVERLAPPEDWINDOW));
        CreatedChildren.clear();
        hook = SetWindowsHookExA(WH_CBT, RecordCreation, NULL, GetCurrentThreadId());
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(hook);
        DestroyHostClockWindow();
        DeleteFileW(IniPath);
    }
    HHOOK hook = NULL;
};

void ExpectControls(const std::vector<ControlRow> &rows)
{
    ASSERT_EQ(rows.size(), CreatedChildren.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ControlRow &row = rows[i];
        const Created &created = CreatedChildren[i];
        SCOPED_TRACE(row.id);
        EXPECT_EQ(row.id, created.id);
        EXPECT_EQ(row.style, created.style);
        EXPECT_EQ(row.x, created.x);
        EXPECT_EQ(row.y, created.y);
        EXPECT_EQ(row.cx, created.cx);
        EXPECT_EQ(row.cy, created.cy);
        HWND control = GetDlgItem(ClockWindow, row.id);
        ASSERT_NE(nullptr, control);
        // The system may version the class name it was given; the window's own class is plain.
        char className[64] = "";
        GetClassNameA(control, className, sizeof className);
        EXPECT_STRCASEEQ(row.className, className);
        if (row.finalStyle) {
            EXPECT_EQ(row.finalStyle, static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)));
        }
        RECT frame;
        GetWindowRect(control, &frame);
        MapWindowPoints(NULL, ClockWindow, reinterpret_cast<POINT *>(&frame), 2);
        EXPECT_EQ(row.x, frame.left);
        EXPECT_EQ(row.y, frame.top);
        EXPECT_EQ(row.cx, frame.right - frame.left);
        if (row.finalStyle) {
            EXPECT_EQ(row.cy, frame.bottom - frame.top);
        }
        if (row.text) {
            char text[64] = "";
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(row.text, text);
        }
    }
}

// Tools of the one tooltip window: (control id, text) in registration order.
std::vector<std::pair<int, std::string>> Tools()
{
    std::vector<std::pair<int, std::string>> tools;
    int count = static_cast<int>(SendMessageA(ToolTipWindow, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[80] = "";
        TTTOOLINFOA tool = {};
        tool.cbSize = sizeof tool;
        tool.lpszText = text;
        SendMessageA(ToolTipWindow, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(GetDlgCtrlID(tool.hwnd), static_cast<int>(tool.uId));
        EXPECT_EQ(static_cast<UINT>(TTF_SUBCLASS), tool.uFlags & TTF_SUBCLASS);
        tools.push_back({static_cast<int>(tool.uId), text});
    }
    return tools;
}

BOOL CALLBACK CountToolTipWindow(HWND window, LPARAM counter)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpiA(className, TOOLTIPS_CLASSA) == 0 && GetWindow(window, GW_OWNER) == ClockWindow)
        ++*reinterpret_cast<int *>(counter);
    return TRUE;
}

int ToolTipWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountToolTipWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::vector<std::string> ComboEntries()
{
    std::vector<std::string> entries;
    int count = static_cast<int>(SendMessageA(ServerCombo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::string text(SendMessageA(ServerCombo, CB_GETLBTEXTLEN, i, 0) + 1, '\0');
        SendMessageA(ServerCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        entries.push_back(text.c_str());
    }
    return entries;
}

TEST_F(LayoutTest, StandardLookBuildsEveryControlAsTabled)
{
    BuildClockLayout();
    ExpectControls({
        {2102, "STATIC", 0x50001201, 8, 8, 289, 48, 0x50001201, ""},
        {2100, "STATIC", 0x50000201, 9, 9, 287, 32, 0x50000201, nullptr},
        {2101, "STATIC", 0x50000201, 9, 41, 287, 14, 0x50000201, nullptr},
        {2000, "BUTTON", 0x50000000, 192, 64, 49, 24, 0x50000000, "設定"},
        {2001, "BUTTON", 0x50000000, 248, 64, 49, 24, 0x50000000, "実行"},
        {2200, "COMBOBOX", 0x50A00003, 8, 64, 176, 120, 0, nullptr},
    });
    EXPECT_EQ(0x00CA0000u, static_cast<DWORD>(GetWindowLongA(ClockWindow, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS));
    RECT client;
    GetClientRect(ClockWindow, &client);
    EXPECT_EQ(305, client.right);
    EXPECT_EQ(96, client.bottom);
    EXPECT_EQ(nullptr, GetDlgItem(ClockWindow, 2002));
    EXPECT_EQ(0, DrawnButtonCount);

    std::vector<std::pair<int, std::string>> expected = {
        {2000, "オプション設定"}, {2001, "時刻合わせ"}, {2200, "NTPサーバー"}};
    EXPECT_EQ(expected, Tools());
    EXPECT_EQ(1, ToolTipWindows());

    EXPECT_EQ(reinterpret_cast<WPARAM>(ClockFont), static_cast<WPARAM>(SendMessageA(TimeField, WM_GETFONT, 0, 0)));
    EXPECT_EQ(reinterpret_cast<WPARAM>(StatusFont), static_cast<WPARAM>(SendMessageA(StatusField, WM_GETFONT, 0, 0)));
    HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);
    for (HWND control : {OptionsButton, RunButton, ServerCombo})
        EXPECT_EQ(reinterpret_cast<LRESULT>(gui), SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTW status;
    ASSERT_TRUE(GetObjectW(StatusFont, sizeof status, &status));
    char face[2 * LF_FACESIZE];
    EXPECT_STREQ("ＭＳ Ｐゴシック", WideToText(status.lfFaceName, face, sizeof face));
    EXPECT_EQ(PointsToFontHeight(8), status.lfHeight);
    EXPECT_EQ(SHIFTJIS_CHARSET, status.lfCharSet);
}

TEST_F(LayoutTest, BarLookBuildsFiveDrawnButtonsAndTheField)
{
    Settings.FormStyle = 1;
    BuildClockLayout();
    ExpectControls({
        {2003, "BUTTON", 0x50000000, 260, 0, 24, 32, 0x5000000B, "1"},
        {2001, "BUTTON", 0x50000000, 287, 0, 24, 32, 0x5000000B, "4"},
        {2000, "BUTTON", 0x50000000, 314, 0, 24, 32, 0x5000000B, "1"},
        {2004, "BUTTON", 0x50000000, 341, 0, 24, 32, 0x5000000B, "r"},
        {2002, "BUTTON", 0x50000000, 368, 0, 24, 32, 0x5000000B, "r"},
        {2102, "STATIC", 0x50001201, 5, 4, 250, 24, 0x50001201, nullptr},
        {2200, "COMBOBOX", 0x50A00003, 8, 64, 176, 120, 0, nullptr},
    });
    EXPECT_EQ(0x80080000u, static_cast<DWORD>(GetWindowLongA(ClockWindow, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS));
    RECT frame;
    GetWindowRect(ClockWindow, &frame);
    EXPECT_EQ(397, frame.right - frame.left);
    EXPECT_EQ(32, frame.bottom - frame.top);
    EXPECT_EQ(nullptr, TimeField);
    EXPECT_EQ(nullptr, StatusField);

    ASSERT_EQ(5, DrawnButtonCount);
    const int order[] = {2003, 2001, 2000, 2004, 2002};
    const HBITMAP glyphs[] = {GlyphNext, GlyphRun, GlyphOptions, GlyphMinimize, GlyphClose};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const DrawnButton &record = DrawnButtonTable[i];
        EXPECT_EQ(order[i], record.id);
        EXPECT_EQ(GetDlgItem(ClockWindow, order[i]), record.window);
        EXPECT_EQ(FaceNormal, record.normalFace);
        EXPECT_EQ(FaceHover, record.hoverFace);
        EXPECT_EQ(FacePressed, record.pressedFace);
        EXPECT_EQ(ButtonMask, record.mask);
        EXPECT_EQ(glyphs[i], record.glyph);
        EXPECT_NE(nullptr, record.glyph);
        EXPECT_NE(nullptr, record.previousProc);
        RECT box;
        EXPECT_EQ(SIMPLEREGION + 1, GetWindowRgnBox(record.window, &box));  // COMPLEXREGION
        EXPECT_EQ(1, box.left);
        EXPECT_EQ(5, box.top);
    }
    std::vector<std::pair<int, std::string>> expected = {
        {2003, "サーバー切替"}, {2001, "時刻合わせ"}, {2000, "オプション設定"}, {2004, "最小化"}, {2002, "閉じる"}};
    EXPECT_EQ(expected, Tools());
    EXPECT_EQ(1, ToolTipWindows());
    EXPECT_EQ(reinterpret_cast<WPARAM>(ClockFont), static_cast<WPARAM>(SendMessageA(DisplayField, WM_GETFONT, 0, 0)));
}

TEST_F(LayoutTest, ColourRuleAnswersPerLookAndControl)
{
    Settings.Font.Color = RGB(1, 2, 3);
    HDC dc = GetDC(ClockWindow);
    HGDIOBJ hollow = GetStockObject(NULL_BRUSH);
    for (int look = 0; look < 2; ++look) {
        Settings.FormStyle = look;
        BuildClockLayout();
        struct Row { HWND control; HGDIOBJ brush; } rows[] = {
            {TimeField, look == 0 ? BackgroundBrush : nullptr},
            {StatusField, look == 0 ? BackgroundBrush : nullptr},
            {DisplayField, look == 0 ? hollow : BackgroundBrush},
            {ServerCombo, nullptr},
            {RunButton, nullptr},
        };
        for (const Row &row : rows) {
            if (!row.control) continue;
            SetTextColor(dc, 0);
            SetBkMode(dc, OPAQUE);
            EXPECT_EQ(row.brush, ClockControlColor(row.control, dc)) << look;
            bool painted = row.brush && row.brush != hollow;
            EXPECT_EQ(painted ? RGB(1, 2, 3) : 0u, GetTextColor(dc)) << look;
            EXPECT_EQ(painted ? TRANSPARENT : OPAQUE, GetBkMode(dc)) << look;
        }
    }
    ReleaseDC(ClockWindow, dc);
    LOGBRUSH brush;
    ASSERT_TRUE(GetObjectA(BackgroundBrush, sizeof brush, &brush));
    EXPECT_EQ(RGB(0, 255, 0), brush.lbColor);
}

BOOL CALLBACK CountWindow(HWND window, LPARAM counter)
{
    ++*reinterpret_cast<int *>(counter);
    EnumChildWindows(window, CountWindow, counter);
    return TRUE;
}

// Every window of this thread, children included (Wine's GetGuiResources always answers 0).
int ThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The GDI objects the layout holds right now, window regions of the drawn buttons included.
std::vector<HGDIOBJ> LayoutObjects()
{
    std::vector<HGDIOBJ> objects = {ClockFont, StatusFont, BackgroundBrush, BarBackground, FaceNormal,
                                    FaceHover, FacePressed, ButtonMask, GlyphRun, GlyphStop,
                                    GlyphOptions, GlyphClose, GlyphNext, GlyphMinimize};
    for (int i = 0; i < DrawnButtonCount; ++i) objects.push_back(DrawnButtonTable[i].region);
    std::vector<HGDIOBJ> live;
    for (HGDIOBJ object : objects)
        if (object) live.push_back(object);
    return live;
}

TEST_F(LayoutTest, SwitchingLooksAHundredTimesLeaksNothing)
{
    Settings.FormStyle = 1;
    BuildClockLayout();
    Settings.FormStyle = 0;
    RebuildClockLayout();
    PumpMessages();
    // Counted, not looked up by old handle values: a GDI handle's generation is 8 bits, so the
    // value of an object deleted many switches ago names a live object again soon enough.
    unsigned gdi = ProcessGdiCount(GetCurrentProcess());
    ASSERT_GT(gdi, 0u) << "the process's GDI objects cannot be counted";
    int windows = ThreadWindows();
    for (int i = 0; i < 100; ++i) {
        Settings.FormStyle = 1 - Settings.FormStyle;
        std::vector<HGDIOBJ> before = LayoutObjects();
        RebuildClockLayout();
        for (HGDIOBJ object : before) ASSERT_EQ(0u, GetObjectType(object)) << i << " still alive";
        ASSERT_EQ(1, ToolTipWindows()) << i;
        ASSERT_EQ(Settings.FormStyle ? 5 : 0, DrawnButtonCount) << i;
        std::vector<HGDIOBJ> now = LayoutObjects();
        // Bar: eleven images, font, brush and five regions; standard: two fonts and the brush.
        ASSERT_EQ(Settings.FormStyle ? 11u + 2u + 5u : 3u, now.size()) << i;
    }
    PumpMessages();
    EXPECT_EQ(0, Settings.FormStyle);
    EXPECT_EQ(gdi, ProcessGdiCount(GetCurrentProcess()));
    EXPECT_EQ(windows, ThreadWindows());
    EXPECT_STREQ("vellmarin v" VM_VERSION_TEXT, StatusText);

    Settings.FormStyle = 1;
    RebuildClockLayout();
    EXPECT_EQ(1, ToolTipWindows());
    EXPECT_EQ(5, DrawnButtonCount);
    EXPECT_EQ(5, static_cast<int>(SendMessageA(ToolTipWindow, TTM_GETTOOLCOUNT, 0, 0)));
    EXPECT_NE(nullptr, ClockFont);
    EXPECT_EQ(nullptr, StatusFont);
    EXPECT_NE(nullptr, BackgroundBrush);
    EXPECT_EQ(OBJ_FONT, static_cast<int>(GetObjectType(ClockFont)));
    EXPECT_EQ(OBJ_BRUSH, static_cast<int>(GetObjectType(BackgroundBrush)));

    // Teardown twice is harmless, deletes what the last layout held and leaves every slot empty.
    std::vector<HGDIOBJ> last = LayoutObjects();
    TearDownClockLayout();
    TearDownClockLayout();
    for (HWND slot : {DisplayField, TimeField, StatusField, OptionsButton, RunButton, CloseButton,
                      ServerSwitchButton, MinimizeButton, ServerCombo, ToolTipWindow})
        EXPECT_EQ(nullptr, slot);
    for (HGDIOBJ slot : {static_cast<HGDIOBJ>(ClockFont), static_cast<HGDIOBJ>(StatusFont),
                         static_cast<HGDIOBJ>(BackgroundBrush), static_cast<HGDIOBJ>(BarBackground),
                         static_cast<HGDIOBJ>(FaceNormal), static_cast<HGDIOBJ>(ButtonMask),
                         static_cast<HGDIOBJ>(GlyphRun)})
        EXPECT_EQ(nullptr, slot);
    EXPECT_EQ(0, DrawnButtonCount);
    for (HGDIOBJ object : last) ASSERT_EQ(0u, GetObjectType(object));
}

TEST_F(LayoutTest, ServerListFromTheIniFileOrTheDefaults)
{
    struct Row {
        std::vector<std::string> keys;   // Server0, Server1, ...; "" leaves a key out
        std::vector<std::string> expected;
    } rows[] = {
        {{}, {DefaultServers[0], DefaultServers[1], DefaultServers[2], DefaultServers[3]}},
        {{"127.0.0.1", "", "127.0.0.3"}, {"127.0.0.1"}},
        {{"a.example", "b.example"}, {"a.example", "b.example"}},
    };
    for (const Row &row : rows) {
        DeleteFileW(IniPath);
        for (size_t i = 0; i < row.keys.size(); ++i) {
            if (row.keys[i].empty()) continue;
            char key[16];
            snprintf(key, sizeof key, "Server%d", static_cast<int>(i));
            PutIniValue("SERVER", key, row.keys[i].c_str());
        }
        for (int look = 0; look < 2; ++look) {
            Settings.FormStyle = look;
            BuildClockLayout();
            EXPECT_EQ(row.expected, ComboEntries());
            EXPECT_EQ(0, SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0));
        }
    }
}

// A change of look carries the list in use, not the file's; an emptied one becomes the defaults.
TEST_F(LayoutTest, ChangeOfLookCarriesTheListInUseOrTheDefaults)
{
    PutIniValue("SERVER", "Server0", "a.example");
    struct Row {
        std::vector<std::string> inUse, expected;
    } rows[] = {
        {{}, {DefaultServers[0], DefaultServers[1], DefaultServers[2], DefaultServers[3]}},
        {{"b.example", "c.example"}, {"b.example", "c.example"}},
    };
    for (const Row &row : rows) {
        Settings.FormStyle = 0;
        BuildClockLayout();
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        for (const std::string &name : row.inUse)
            SendMessageA(ServerCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        Settings.FormStyle = 1;
        RebuildClockLayout();
        EXPECT_EQ(row.expected, ComboEntries());
        EXPECT_EQ(0, SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0));
    }
}

RECT ClientRectOf(HWND control)
{
    RECT frame;
    GetWindowRect(control, &frame);
    MapWindowPoints(NULL, ClockWindow, reinterpret_cast<POINT *>(&frame), 2);
    return frame;
}

// A change of DPI builds the same picture larger (every size scaled by its edges, the regions
// traced from the scaled mask) where Windows suggests, while a query goes on with its server.
TEST_F(LayoutTest, ChangeOfDpiScalesTheLayoutAndKeepsTheQuery)
{
    struct Row {
        int look, dpi;
        SIZE size;          // standard: the client area; bar: the window
        RECT display, run;  // client coordinates
    } rows[] = {
        {0, 96, {305, 96}, {8, 8, 297, 56}, {248, 64, 297, 88}},
        {0, 120, {381, 120}, {10, 10, 371, 70}, {310, 80, 371, 110}},
        {0, 144, {458, 144}, {12, 12, 446, 84}, {372, 96, 446, 132}},
        {0, 192, {610, 192}, {16, 16, 594, 112}, {496, 128, 594, 176}},
        {1, 96, {397, 32}, {5, 4, 255, 28}, {287, 0, 311, 32}},
        {1, 120, {496, 40}, {6, 5, 319, 35}, {359, 0, 389, 40}},
        {1, 144, {596, 48}, {8, 6, 383, 42}, {431, 0, 467, 48}},
        {1, 192, {794, 64}, {10, 8, 510, 56}, {574, 0, 622, 64}},
    };
    RECT disc96 = {0, 0, 0, 0};
    LeapNoticeSeconds = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.dpi);
        Settings.FormStyle = row.look;
        BuildClockLayout();
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("b.example"));
        SendMessageA(ServerCombo, CB_SETCURSEL, 4, 0);
        SetStatusText("サーバーとの通信中...");
        StatusHold = -1;
        SetControlsEnabled(0);
        EnterState(Querying);
        RECT suggested = {100, 50, 900, 350};
        SendMessageA(ClockWindow, WM_DPICHANGED, MAKEWPARAM(row.dpi, row.dpi), reinterpret_cast<LPARAM>(&suggested));

        EXPECT_EQ(row.dpi, LayoutDpi());
        RECT frame, client;
        GetWindowRect(ClockWindow, &frame);
        GetClientRect(ClockWindow, &client);
        EXPECT_EQ(100, frame.left);
        EXPECT_EQ(50, frame.top);
        RECT measured = row.look ? frame : client;
        EXPECT_EQ(row.size.cx, measured.right - measured.left);
        EXPECT_EQ(row.size.cy, measured.bottom - measured.top);
        RECT display = ClientRectOf(DisplayField), run = ClientRectOf(RunButton);
        EXPECT_TRUE(EqualRect(&row.display, &display));
        EXPECT_TRUE(EqualRect(&row.run, &run));
        for (int i = 0; i < DrawnButtonCount; ++i) {
            RECT disc;
            ASSERT_NE(ERROR, GetWindowRgnBox(DrawnButtonTable[i].window, &disc));
            if (row.dpi == 96) disc96 = disc;
            int slack = row.dpi % 96 ? 1 : 0;  // whole factors repeat pixels exactly
            EXPECT_NEAR(ScaleForDpi(disc96.left, row.dpi), disc.left, slack);
            EXPECT_NEAR(ScaleForDpi(disc96.top, row.dpi), disc.top, slack);
            EXPECT_NEAR(ScaleForDpi(disc96.right, row.dpi), disc.right, slack);
            EXPECT_NEAR(ScaleForDpi(disc96.bottom, row.dpi), disc.bottom, slack);
        }
        EXPECT_EQ(5u, ComboEntries().size());
        EXPECT_EQ(4, SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0));
        EXPECT_EQ(Querying, CurrentState);
        EXPECT_FALSE(IsWindowEnabled(OptionsButton));
        if (row.look == StandardStyle) {
            char status[64] = "";
            GetWindowTextA(StatusField, status, sizeof status);
            EXPECT_STREQ("サーバーとの通信中...", status);
        }
        EnterState(Idle);
    }
}

TEST_F(LayoutTest, LongServerNamesWidenOnlyTheDropDownList)
{
    std::string longest(256, 'w');
    PutIniValue("SERVER", "Server0", "a.example");
    BuildClockLayout();
    EXPECT_EQ(176, SendMessageA(ServerCombo, CB_GETDROPPEDWIDTH, 0, 0));
    TearDownClockLayout();

    PutIniValue("SERVER", "Server1", longest.c_str());
    BuildClockLayout();
    std::vector<std::string> entries = ComboEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(longest, entries[1]);
    int dropped = static_cast<int>(SendMessageA(ServerCombo, CB_GETDROPPEDWIDTH, 0, 0));
    EXPECT_GT(dropped, 1000);
    RECT frame;
    GetWindowRect(ServerCombo, &frame);
    EXPECT_EQ(176, frame.right - frame.left);
    // The width is the longest text plus scroll bar plus 10, measured in the default GUI font.
    HDC dc = GetDC(ServerCombo);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT box = {0, 0, 0, 0};
    DrawTextA(dc, longest.c_str(), -1, &box, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(ServerCombo, dc);
    EXPECT_EQ(box.right + GetSystemMetrics(SM_CXVSCROLL) + 10, dropped);
}

TEST_F(LayoutTest, FontDescriptionFollowsTheSettings)
{
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    struct Row { int points; int height; } heights[] = {
        {20, -MulDiv(20, dpi, 72)}, {8, -MulDiv(8, dpi, 72)}, {0, 0}, {500, -MulDiv(500, dpi, 72)}};
    for (const Row &row : heights) EXPECT_EQ(row.height, PointsToFontHeight(row.points)) << row.points;
    if (dpi == 96) {
        EXPECT_EQ(-27, PointsToFontHeight(20));
        EXPECT_EQ(-11, PointsToFontHeight(8));
    }

    struct StyleRow { int bold, italic, underline, strikeOut; LONG weight; BYTE i, u, s; } styles[] = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {1, 0, 1, 0, 700, 0, 1, 0},     // INI Style 5
        {1, 1, 1, 1, 700, 1, 1, 1},
        {0, 2, 0, 9, 0, 1, 0, 1},       // any non-zero flag counts
    };
    for (const StyleRow &row : styles) {
        FontSettings font = {};
        snprintf(font.Name, sizeof font.Name, "Arial");
        font.Size = 12;
        font.Bold = row.bold;
        font.Italic = static_cast<uint8_t>(row.italic);
        font.Underline = static_cast<uint8_t>(row.underline);
        font.StrikeOut = static_cast<uint8_t>(row.strikeOut);
        font.Charset = 128;
        LOGFONTW made = MakeClockFont(&font);
        EXPECT_STREQ(L"Arial", made.lfFaceName);
        EXPECT_EQ(PointsToFontHeight(12), made.lfHeight);
        EXPECT_EQ(0, made.lfWidth);
        EXPECT_EQ(row.weight, made.lfWeight);
        EXPECT_EQ(row.i, made.lfItalic);
        EXPECT_EQ(row.u, made.lfUnderline);
        EXPECT_EQ(row.s, made.lfStrikeOut);
        EXPECT_EQ(128, made.lfCharSet);
        EXPECT_EQ(0, made.lfQuality + made.lfPitchAndFamily + made.lfOutPrecision + made.lfClipPrecision);
    }
}

TEST_F(LayoutTest, FaceNamesAreCutToThirtyOneCharacters)
{
    std::string kana;
    for (int i = 0; i < 32; ++i)
        kana += "あ";
    struct Row { std::string name; std::string expected; } rows[] = {
        {std::string(63, 'x'), std::string(31, 'x')},
        // Double-byte characters count as one each: 16 of them (32 bytes) are kept whole.
        {std::string("あいうえおかきくけこさしすせそた"), std::string("あいうえおかきくけこさしすせそた")},
        {"x" + kana.substr(0, 62), "x" + kana.substr(0, 60)},
    };
    for (const Row &row : rows) {
        FontSettings font = {};
        memset(font.Name, 'z', sizeof font.Name);    // unterminated: the copy stays inside it
        memcpy(font.Name, row.name.c_str(), row.name.size() < 63 ? row.name.size() + 1 : 63);
        LOGFONTW made = MakeClockFont(&font);
        char face[2 * LF_FACESIZE];
        EXPECT_EQ(row.expected, std::string(WideToText(made.lfFaceName, face, sizeof face))) << row.name;
    }
}

TEST_F(LayoutTest, BadSettingsGiveDefinedResults)
{
    struct Row { const char *name; int size; int formStyle; int look; } rows[] = {
        {"存在しないフォント名", 20, 0, StandardStyle},
        {"NoSuchFontAnywhere", 0, 1, MetallicBarStyle},
        {"ＭＳ Ｐゴシック", 500, 7, MetallicBarStyle},
        {"", -5, -1, MetallicBarStyle},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        snprintf(Settings.Font.Name, sizeof Settings.Font.Name, "%s", row.name);
        Settings.Font.Size = row.size;
        Settings.FormStyle = row.formStyle;
        BuildClockLayout();
        EXPECT_EQ(row.look, ClockLook());
        ASSERT_NE(nullptr, ClockFont);
        LOGFONTW made;
        ASSERT_TRUE(GetObjectW(ClockFont, sizeof made, &made));
        EXPECT_EQ(PointsToFontHeight(row.size), made.lfHeight);
        EXPECT_EQ(row.look == MetallicBarStyle ? 5 : 0, DrawnButtonCount);
        HDC dc = GetDC(ClockWindow);
        EXPECT_EQ(row.formStyle == 1 ? 1 : 0, PaintBarBackground(ClockWindow, dc));
        ReleaseDC(ClockWindow, dc);
        UpdateWindow(ClockWindow);
        PumpMessages();
    }
}

TEST_F(LayoutTest, ToolTipsAreCreatedAfreshAfterDestruction)
{
    TearDownClockLayout();  // the helper alone, without the tools of the layout built at creation
    HWND button = CreateWindowExA(0, "BUTTON", "x", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, ClockWindow,
                                  reinterpret_cast<HMENU>(77), ProgramInstance, NULL);
    HWND first = AddToolTip(button, "一", 77);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, AddToolTip(button, "二", 78));
    EXPECT_EQ(2, SendMessageA(ToolTipWindow, TTM_GETTOOLCOUNT, 0, 0));
    DestroyToolTips();
    EXPECT_EQ(nullptr, ToolTipWindow);
    EXPECT_FALSE(IsWindow(first));
    DestroyToolTips();
    EXPECT_EQ(nullptr, AddToolTip(NULL, "x", 1));
    ASSERT_NE(nullptr, AddToolTip(button, "三", 79));
    EXPECT_EQ(1, SendMessageA(ToolTipWindow, TTM_GETTOOLCOUNT, 0, 0));
    DestroyToolTips();
    DestroyWindow(button);
}

}  // namespace
