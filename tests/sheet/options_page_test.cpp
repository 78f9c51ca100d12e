// The sheet itself and its options page, driven through the real modal sheet: what OK and
// Cancel keep, the font and colour choosers (answered through their seams), style and placement.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include "sheet/sheet_harness.h"
#include "app/clock_window.h"
#include "base/program.h"
#include "app/sync_machine.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "base/settings.h"
#include "base/wide_text.h"
#include "sheet/property_sheet.h"
#include "sheet/sheet_pages.h"
#include "sheet/logon_task_box.h"
#include "base/command_result.h"
#include "base/elevation.h"
#include "base/exit_codes.h"
#include "base/logon_task.h"
#include "logs/correction_log.h"
#include "resource.h"
#include "vellmarin_version.h"

namespace {

const char SafeServers[] = "[SERVER]\r\nServer0=127.0.0.1\r\nServer1=127.0.0.2\r\n";

// What the font chooser answers, and what it was asked.
struct FontAnswer {
    BOOL result;
    WCHAR face[LF_FACESIZE];    // copied whole, unterminated if all 32 characters are used
    int pointTenths;
    LONG weight;
    BYTE italic, underline, strikeOut, charset;
    COLORREF color;
};
FontAnswer NextFont;
CHOOSEFONTW AskedFont;
LOGFONTW AskedLogFont;
int FontCalls;

BOOL WINAPI AnswerFont(LPCHOOSEFONTW choice)
{
    FontCalls++;
    AskedFont = *choice;
    AskedLogFont = *choice->lpLogFont;
    if (!NextFont.result)
        return FALSE;
    memcpy(choice->lpLogFont->lfFaceName, NextFont.face, sizeof NextFont.face);
    choice->lpLogFont->lfWeight = NextFont.weight;
    choice->lpLogFont->lfItalic = NextFont.italic;
    choice->lpLogFont->lfUnderline = NextFont.underline;
    choice->lpLogFont->lfStrikeOut = NextFont.strikeOut;
    choice->lpLogFont->lfCharSet = NextFont.charset;
    choice->iPointSize = NextFont.pointTenths;
    choice->rgbColors = NextFont.color;
    return TRUE;
}

BOOL ColorResult;
COLORREF ColorAnswer;
CHOOSECOLORW AskedColor;

BOOL WINAPI AnswerColor(LPCHOOSECOLORW choice)
{
    AskedColor = *choice;
    if (!ColorResult)
        return FALSE;
    choice->lpCustColors[3] = RGB(1, 2, 3);      // the chooser edits the table in place
    choice->rgbResult = ColorAnswer;
    return TRUE;
}

std::string FaceOf(HFONT font)
{
    LOGFONTW description = {};
    GetObjectW(font, sizeof description, &description);
    char face[2 * LF_FACESIZE];
    return WideToText(description.lfFaceName, face, sizeof face);
}

class OptionsPage : public ::testing::Test {
protected:
    void Open(const char *ini)
    {
        std::string text = std::string(ini) + SafeServers;
        SetUpClock(text.c_str());
        SheetChooseFont = AnswerFont;
        SheetChooseColor = AnswerColor;
        FontCalls = 0;
        memset(&NextFont, 0, sizeof NextFont);
    }
    void TearDown() override
    {
        TearDownClock();
        SheetChooseFont = ChooseFontW;
        SheetChooseColor = ChooseColorW;
    }
};

TEST_F(OptionsPage, SheetHasItsCaptionTabsAndNoHelpButton)
{
    Open("");
    std::string caption, tabs, version;
    LONG exStyle = -1;
    int applyVisible = -1;
    RunSheet([&](HWND sheet) {
        char text[100] = {0};
        GetWindowText932(sheet, text, sizeof text);
        caption = text;
        exStyle = GetWindowLongW(sheet, GWL_EXSTYLE);
        HWND tab = PropSheet_GetTabControl(sheet);
        for (int i = 0; i < TabCtrl_GetItemCount(tab); i++) {
            WCHAR title[64] = {0};
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = title;
            item.cchTextMax = 64;
            SendMessageW(tab, TCM_GETITEMW, (WPARAM)i, (LPARAM)&item);
            tabs += std::string(i ? "|" : "") + WideToText(title, text, sizeof text);
        }
        HWND apply = GetDlgItem(sheet, 0x3021);
        applyVisible = apply && IsWindowVisible(apply);
        version = Text(ShowPage(sheet, 3), IDC_ABOUT_VERSION);
        EXPECT_EQ(SettingsOpen, CurrentState);
    });
    EXPECT_EQ("vellmarin のプロパティ", caption);
    EXPECT_EQ(0, exStyle & WS_EX_CONTEXTHELP);
    EXPECT_EQ("オプション|サーバー|通信|About", tabs);
    EXPECT_EQ(0, applyVisible);
    EXPECT_EQ("vellmarin v" VM_VERSION_TEXT, version);
    EXPECT_EQ(Idle, CurrentState);
    EXPECT_EQ(nullptr, PropertySheetWindow);
}

TEST_F(OptionsPage, OkWithoutChangesSavesEverythingAndCancelSavesNothing)
{
    Open("[SETUP]\r\nMinAdjust=250\r\nRetryWait=7\r\n");
    RunSheet([](HWND sheet) { PressCancel(sheet); });
    EXPECT_EQ("<missing>", IniString("SETUP", "AutoClose"));

    RunSheet([](HWND sheet) { PressOk(sheet); });
    EXPECT_EQ(250, IniInt("SETUP", "MinAdjust", -1));
    EXPECT_EQ(7, IniInt("SETUP", "RetryWait", -1));
    EXPECT_EQ(1, IniInt("SETUP", "AutoClose", -1));
    EXPECT_EQ(1, IniInt("SETUP", "RotateServer", -1));
    EXPECT_EQ(0, IniInt("WINDOW", "Position", -1));
    EXPECT_EQ("ＭＳ Ｐゴシック", IniString("FONT", "Name"));
    EXPECT_EQ(65280, IniInt("FONT", "BkColor", -1));
    EXPECT_EQ("127.0.0.1", IniString("SERVER", "Server0"));
    EXPECT_EQ("127.0.0.2", IniString("SERVER", "Server1"));
}

// Each check box is wired to its own key: ticking one flips exactly that key.
TEST_F(OptionsPage, EveryCheckBoxSavesItsOwnKey)
{
    struct Row { int id; const char *key; };
    const Row rows[] = {
        {IDC_AUTO_CLOSE, "AutoClose"}, {IDC_ERROR_CLOSE, "ErrorClose"},
        {IDC_SAVE_LOG, "SaveLog"},     {IDC_SAVE_EVENT_LOG, "SaveEventLog"},
        {IDC_DISP_LEAP, "DispLeap"},   {IDC_HOUR24, "Hour24"},
        {IDC_TOPMOST, "Topmost"},      {IDC_WAIT_LEAP, "WaitLeap"},
        {IDC_ELEVATE, "Elevate"},
    };
    const int count = sizeof rows / sizeof rows[0];
    Open("[SETUP]\r\nAutoClose=1\r\nHour24=0\r\n");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.key);
        RunSheet([](HWND sheet) { PressOk(sheet); });
        int before[count];
        for (int i = 0; i < count; i++)
            before[i] = IniInt("SETUP", rows[i].key, -1);
        RunSheet([&](HWND sheet) {
            HWND page = ShowPage(sheet, 0);
            EnableWindow(GetDlgItem(page, IDC_ERROR_CLOSE), TRUE);
            Click(page, row.id);
            PressOk(sheet);
        });
        for (int i = 0; i < count; i++) {
            int expected = rows[i].id == row.id ? !before[i] : before[i];
            EXPECT_EQ(expected, IniInt("SETUP", rows[i].key, -1)) << rows[i].key;
        }
    }
}

TEST_F(OptionsPage, AutoCloseGreysErrorCloseAndKeepsItsMark)
{
    Open("[SETUP]\r\nAutoClose=1\r\nErrorClose=1\r\n");
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_ERROR_CLOSE)));
        Click(page, IDC_AUTO_CLOSE);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ERROR_CLOSE)));
        EXPECT_EQ(1, Checked(page, IDC_ERROR_CLOSE));
        PressOk(sheet);
    });
    EXPECT_EQ(0, IniInt("SETUP", "AutoClose", -1));
    EXPECT_EQ(1, IniInt("SETUP", "ErrorClose", -1));
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ERROR_CLOSE)));
        EXPECT_EQ(1, Checked(page, IDC_ERROR_CLOSE));
        Click(page, IDC_AUTO_CLOSE);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_ERROR_CLOSE)));
    });
}

TEST_F(OptionsPage, FontChooserIsAskedWithTheCurrentFontAndItsAnswerIsStored)
{
    struct Row {
        const wchar_t *face; int tenths; LONG weight; BYTE italic;
        const char *storedFace; int size; int bold; int italicStored;
    };
    const Row rows[] = {
        {L"IPAGothic", 200, FW_NORMAL, 0, "IPAGothic", 20, 0, 0},
        {L"IPAGothic", 105, FW_BOLD, 1, "IPAGothic", 10, 1, 1},          // 10.5 points give 10
        {L"IPAGothic", 120, FW_SEMIBOLD, 0, "IPAGothic", 12, 0, 0},
        {L"IPAGothic", 120, FW_HEAVY, 255, "IPAGothic", 12, 0, 1},
        // A face name filling all 32 characters without a terminator keeps 31 of them.
        {L"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 90, FW_NORMAL, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", 9, 0, 0},
        // 31 Japanese characters are 62 bytes of code page 932: all are kept.
        {L"\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4"
         L"\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4\u30B4",
         90, FW_NORMAL, 0, "ゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴゴ", 9, 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.storedFace);
        Open("[FONT]\r\nColor=255\r\nSize=14\r\n");
        NextFont.result = TRUE;
        memcpy(NextFont.face, row.face,
               (wcslen(row.face) < LF_FACESIZE ? wcslen(row.face) + 1 : LF_FACESIZE) * sizeof(WCHAR));
        NextFont.pointTenths = row.tenths;
        NextFont.weight = row.weight;
        NextFont.italic = row.italic;
        NextFont.underline = 1;
        NextFont.charset = 128;
        NextFont.color = RGB(10, 20, 30);
        std::string label;
        RunSheet([&](HWND sheet) {
            HWND page = ShowPage(sheet, 0);
            Click(page, IDC_FONT_BUTTON);
            label = Text(page, IDC_FONT_LABEL);
            PressOk(sheet);
        });
        EXPECT_EQ(1, FontCalls);
        EXPECT_EQ((DWORD)0x141, AskedFont.Flags);
        EXPECT_EQ(SCREEN_FONTTYPE, AskedFont.nFontType);
        EXPECT_EQ(ClockWindow, AskedFont.hwndOwner);
        EXPECT_EQ((COLORREF)255, AskedFont.rgbColors);
        char asked[2 * LF_FACESIZE];
        EXPECT_STREQ("ＭＳ Ｐゴシック", WideToText(AskedLogFont.lfFaceName, asked, sizeof asked));
        EXPECT_STREQ(row.storedFace, Settings.Font.Name);
        EXPECT_EQ(std::string(row.storedFace) + " " + std::to_string(row.size) + "ﾎﾟｲﾝﾄ", label);
        EXPECT_EQ(row.storedFace, IniString("FONT", "Name"));
        EXPECT_EQ(row.size, IniInt("FONT", "Size", -1));
        EXPECT_EQ(row.bold | row.italicStored << 1 | 1 << 2, IniInt("FONT", "Style", -1));
        EXPECT_EQ(128, IniInt("FONT", "Charset", -1));
        EXPECT_EQ((int)RGB(10, 20, 30), IniInt("FONT", "Color", -1));
        TearDownClock();
    }
}

TEST_F(OptionsPage, CancelAfterAFontChangeRestoresTheClockFont)
{
    Open("");
    NextFont.result = TRUE;
    wcscpy(NextFont.face, L"IPAGothic");
    NextFont.pointTenths = 300;
    NextFont.weight = FW_NORMAL;
    HWND comboBefore = ServerCombo;
    std::string facePreviewed;
    RunSheet([&](HWND sheet) {
        Click(ShowPage(sheet, 0), IDC_FONT_BUTTON);
        facePreviewed = FaceOf(ClockFont);
        PressCancel(sheet);
    });
    EXPECT_EQ("IPAGothic", facePreviewed);
    EXPECT_STREQ("ＭＳ Ｐゴシック", Settings.Font.Name);
    EXPECT_EQ(20, Settings.Font.Size);
    EXPECT_EQ("ＭＳ Ｐゴシック", FaceOf(ClockFont));
    EXPECT_EQ(comboBefore, ServerCombo);        // a font change alone rebuilds nothing
    EXPECT_EQ("<missing>", IniString("FONT", "Name"));
}

TEST_F(OptionsPage, CancelledChoosersChangeNothing)
{
    Open("[FONT]\r\nBkColor=123\r\n");
    NextFont.result = FALSE;
    ColorResult = FALSE;
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        Click(page, IDC_FONT_BUTTON);
        Click(page, IDC_COLOR_BUTTON);
        PressOk(sheet);
    });
    EXPECT_EQ(1, FontCalls);
    EXPECT_EQ("ＭＳ Ｐゴシック", IniString("FONT", "Name"));
    EXPECT_EQ(20, IniInt("FONT", "Size", -1));
    EXPECT_EQ(123, IniInt("FONT", "BkColor", -1));
}

TEST_F(OptionsPage, ColourChooserSetsTheBackgroundAndTheLabelPaintsWithIt)
{
    Open("[FONT]\r\nBkColor=123\r\nColor=4567\r\n");
    ColorResult = TRUE;
    ColorAnswer = RGB(200, 100, 50);
    COLORREF brushColour = 0, textColour = 0;
    int firstBrushAlive = -1;
    HBRUSH second = NULL;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        Click(page, IDC_COLOR_BUTTON);
        // The label's colours: a fresh brush each time, the previous one deleted.
        HWND label = GetDlgItem(page, IDC_FONT_LABEL);
        HDC dc = GetDC(label);
        HBRUSH first = (HBRUSH)SendMessageA(page, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)label);
        second = (HBRUSH)SendMessageA(page, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)label);
        firstBrushAlive = GetObjectType(first) != 0;
        LOGBRUSH description = {};
        GetObjectA(second, sizeof description, &description);
        brushColour = description.lbColor;
        textColour = GetTextColor(dc);
        ReleaseDC(label, dc);
        PressOk(sheet);
    });
    EXPECT_EQ(RGB(200, 100, 50), brushColour);
    EXPECT_EQ((COLORREF)4567, textColour);
    EXPECT_EQ(0, firstBrushAlive);
    EXPECT_EQ(0u, GetObjectType(second));       // the page's last brush goes with the page
    EXPECT_EQ(ClockWindow, AskedColor.hwndOwner);
    EXPECT_EQ((DWORD)CC_RGBINIT, AskedColor.Flags);
    EXPECT_EQ((COLORREF)123, AskedColor.rgbResult);
    EXPECT_EQ((int)RGB(200, 100, 50), IniInt("FONT", "BkColor", -1));
    EXPECT_EQ((int)RGB(1, 2, 3), IniInt("FONT", "CustomColor3", -1));
}

TEST_F(OptionsPage, StyleChangeRebuildsTheWindowWhereItStands)
{
    Open("");
    RECT before;
    GetWindowRect(ClockWindow, &before);
    HWND comboBefore = ServerCombo;
    RunSheet([](HWND sheet) {
        SelectListEntry(ShowPage(sheet, 0), IDC_FORM_STYLE, 1);
        PressOk(sheet);
    });
    RECT after;
    GetWindowRect(ClockWindow, &after);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
    EXPECT_TRUE(IsWindowVisible(ClockWindow));
    EXPECT_EQ(0, GetWindowLongA(ClockWindow, GWL_STYLE) & WS_CAPTION);
    EXPECT_NE(comboBefore, ServerCombo);
    EXPECT_EQ("127.0.0.1|127.0.0.2", ComboEntries(ServerCombo));
    EXPECT_EQ(1, IniInt("SETUP", "FormStyle", -1));
}

std::vector<std::string> SaveBoxes;

int WINAPI RecordSaveBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    SaveBoxes.push_back(std::string(caption) + "|" + text);
    return IDOK;
}

// In a folder where the INI file cannot be written, the list edited in one sheet session is the
// list in use: a later change of look alone keeps its entries and the selection. Each OK, and
// the position at close, shows one box that says so.
TEST_F(OptionsPage, StyleChangeKeepsTheServerListInUse)
{
    Open("");
    std::wstring ini = IniPath;
    _snwprintf(IniPath, MAX_PATH + 16, L"%lsno-such-folder\\vellmarin.ini", ProgramDirectory);
    SaveBoxes.clear();
    LogErrorBox = RecordSaveBox;
    RunSheet([](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_SETCURSEL, (WPARAM)-1, 0);
        SetText(page, IDC_SERVER_EDIT, "127.0.0.9");
        Click(page, IDC_ADD_BUTTON);
        PressOk(sheet);
    });
    SendMessageA(ServerCombo, CB_SETCURSEL, 2, 0);
    RunSheet([](HWND sheet) {
        SelectListEntry(ShowPage(sheet, 0), IDC_FORM_STYLE, 1);
        PressOk(sheet);
    });
    EXPECT_EQ(0, GetWindowLongA(ClockWindow, GWL_STYLE) & WS_CAPTION);
    EXPECT_EQ("127.0.0.1|127.0.0.2|127.0.0.9", ComboEntries(ServerCombo));
    EXPECT_EQ(2, (int)SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0));
    Settings.Position = 1;
    SetWindowPos(ClockWindow, NULL, 170, 180, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(ClockWindow, WM_CLOSE, 0, 0);
    LogErrorBox = MessageBox932;
    _snwprintf(IniPath, MAX_PATH + 16, L"%ls", ini.c_str());
    char reason[256];
    WindowsErrorText(ERROR_PATH_NOT_FOUND, reason, sizeof reason);
    ASSERT_EQ(3u, SaveBoxes.size());
    for (const std::string &box : SaveBoxes)
        EXPECT_EQ(0u, box.find(std::string("vellmarin エラー|設定を保存できませんでした。\n\n") + reason)) << box;
}

TEST_F(OptionsPage, PlacementChangeMarksTheCreationRectangle)
{
    Open("");
    RECT created = CreationRect;
    RunSheet([](HWND sheet) { PressOk(sheet); });
    EXPECT_EQ(created.left, CreationRect.left);
    EXPECT_EQ(created.top, CreationRect.top);
    RunSheet([](HWND sheet) {
        SelectListEntry(ShowPage(sheet, 0), IDC_POSITION, 1);
        PressOk(sheet);
    });
    EXPECT_EQ(-1, CreationRect.left);
    EXPECT_EQ(-1, CreationRect.top);
    EXPECT_EQ(1, IniInt("WINDOW", "Position", -1));
}

// The real window's closing steps: Position 7 comes up minimised and writes no position;
// Position chosen 1 in the sheet and the window closed where it stands writes where it is.
TEST_F(OptionsPage, ClosingWritesThePositionOnlyForLastPosition)
{
    Open("[WINDOW]\r\nPosition=7\r\n");
    ShowClockWindow();
    EXPECT_TRUE(IsIconic(ClockWindow));
    SendMessageA(ClockWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, ClockWindow);
    EXPECT_EQ("<missing>", IniString("WINDOW", "Left"));
    EXPECT_EQ("<missing>", IniString("WINDOW", "Top"));
    TearDownClock();

    Open("");
    RunSheet([](HWND sheet) {
        SelectListEntry(ShowPage(sheet, 0), IDC_POSITION, 1);
        PressOk(sheet);
    });
    RECT frame;
    GetWindowRect(ClockWindow, &frame);
    ASSERT_GE(frame.left, 0);
    ASSERT_GE(frame.top, 0);
    SendMessageA(ClockWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, ClockWindow);
    EXPECT_EQ(frame.left, IniInt("WINDOW", "Left", -99));
    EXPECT_EQ(frame.top, IniInt("WINDOW", "Top", -99));
}

TEST_F(OptionsPage, ListEntriesAreTheStoredValues)
{
    Open("[WINDOW]\r\nPosition=7\r\n[SETUP]\r\nFormStyle=1\r\n");
    std::string positions, styles;
    int position = -2, style = -2;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        positions = ComboEntries(GetDlgItem(page, IDC_POSITION));
        styles = ComboEntries(GetDlgItem(page, IDC_FORM_STYLE));
        position = (int)SendDlgItemMessageA(page, IDC_POSITION, CB_GETCURSEL, 0, 0);
        style = (int)SendDlgItemMessageA(page, IDC_FORM_STYLE, CB_GETCURSEL, 0, 0);
    });
    EXPECT_EQ("自動|前回表示位置|中央|左上|右上|左下|右下|最小化", positions);
    EXPECT_EQ("標準|メタリックバー", styles);
    EXPECT_EQ(7, position);
    EXPECT_EQ(1, style);
}

// A hand-edited value outside the lists shows no selection and survives OK unchanged (instead
// of becoming -1, the list's "nothing selected").
TEST_F(OptionsPage, ValuesOutsideTheListsSurviveOk)
{
    Open("[WINDOW]\r\nPosition=12\r\n[SETUP]\r\nFormStyle=5\r\n");
    HWND comboBefore = ServerCombo;
    RECT created = CreationRect;
    int position = -2, style = -2;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        position = (int)SendDlgItemMessageA(page, IDC_POSITION, CB_GETCURSEL, 0, 0);
        style = (int)SendDlgItemMessageA(page, IDC_FORM_STYLE, CB_GETCURSEL, 0, 0);
        PressOk(sheet);
    });
    EXPECT_EQ(CB_ERR, position);
    EXPECT_EQ(CB_ERR, style);
    EXPECT_EQ(12, IniInt("WINDOW", "Position", -1));
    EXPECT_EQ(5, IniInt("SETUP", "FormStyle", -1));
    EXPECT_EQ(comboBefore, ServerCombo);
    EXPECT_EQ(created.left, CreationRect.left);
}

TEST_F(OptionsPage, EveryControlInsideItsPageAndNoTaskOutsideProgramFilesOrForAStandardUser)
{
    Open("");
    RunSheet([&](HWND sheet) {
        ExpectControlsInsidePages(sheet);
        HWND page = ShowPage(sheet, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_LOGON_TASK)));
        EXPECT_EQ("Program Files に置くと登録できます。", Text(page, IDC_LOGON_TASK_NOTE));
    });
    wcscpy(TaskExePath, L"C:\\Program Files\\vm-sheet-test\\vellmarin.exe");
    QueryUserIsAdministrator = [] { return 0; };
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_LOGON_TASK)));
        EXPECT_EQ("管理者のアカウントでのみ登録できます。", Text(page, IDC_LOGON_TASK_NOTE));
    });
    QueryUserIsAdministrator = UserIsAdministrator;
    TaskExePath[0] = L'\0';
}

// The elevated instance as a test answers it: declined or not started (error), its result block,
// or (real) the task command itself against the prefix's Task Scheduler.
struct StartAnswer { DWORD error; int32_t exitCode; uint32_t windowsError; int real; };
StartAnswer NextStart;
std::string StartedWith;
HWND StartOwner;
int Starts;

HANDLE AnswerStart(HWND owner, const char *parameters, DWORD *error)
{
    Starts++;
    StartOwner = owner;
    StartedWith = parameters;
    *error = NextStart.error;
    CommandResult result = {};
    result.exitCode = NextStart.exitCode;
    result.windowsError = NextStart.windowsError;
    if (NextStart.real)
        RunLogonTaskCommand(1);
    else if (!NextStart.error)
        WriteCommandResult(&result);
    return NextStart.error ? NULL : CreateEventA(NULL, TRUE, TRUE, NULL);   // an ended instance
}

// A tick of the task box is carried out at OK, one start per change; a change that did not
// happen keeps the sheet open with the reason beside the box, and a second OK closes it.
TEST_F(OptionsPage, TaskBoxChangeRunsOneElevatedStartAndShowsItsOutcome)
{
    struct Row { StartAnswer answer; const char *note; int squatted = 0; };
    const Row rows[] = {
        {{ERROR_CANCELLED, 0, 0, 0}, "管理者の許可がないためタスクを登録できませんでした。"},
        {{ERROR_FILE_NOT_FOUND, 0, 0, 0}, "管理者として起動できませんでした（2 "},
        {{0, ExitTaskRefused, 0x80070005, 0}, "タスクスケジューラが登録を拒否しました（0x80070005 "},
        {{0, ExitNotInProgramFiles, 0, 0}, "この場所からは登録できません。Program Files に置くと登録できます。"},
        {{0, ExitClockSet, 0, 1}, nullptr},
        // A result block someone else made first: nothing is started.
        {{0, ExitClockSet, 0, 0}, "タスクを登録できませんでした。 ", 1},
    };
    WCHAR taskFile[MAX_PATH], name[256];
    ASSERT_EQ(0, LogonTaskName(name, 256));
    GetSystemDirectoryW(taskFile, MAX_PATH);
    wcscat(wcscat(taskFile, L"\\tasks\\"), name);
    wcscpy(TaskExePath, L"C:\\Program Files\\vm-sheet-test\\vellmarin.exe");
    SheetStartElevated = AnswerStart;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.answer.exitCode);
        Open("");
        NextStart = row.answer;
        Starts = 0;
        StartedWith.clear();
        StartOwner = NULL;
        HANDLE squat = row.squatted ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE,
                                                         0, 4096, "Local\\vellmarin command result") : NULL;
        std::string note;
        int openAfterOk = -1, checked = -1;
        HWND shown = NULL;
        RunSheet([&](HWND sheet) {
            shown = sheet;
            HWND page = ShowPage(sheet, 0);
            Click(page, IDC_LOGON_TASK);
            ShowPage(sheet, 1);         // OK pressed on another page
            PressOk(sheet);
            PumpUntil([&] { return Starts > 0 || !Text(page, IDC_LOGON_TASK_NOTE).empty(); }, 2000);
            openAfterOk = IsWindow(sheet) && PropSheet_GetCurrentPageHwnd(sheet) == page;
            note = Text(page, IDC_LOGON_TASK_NOTE);
            checked = Checked(page, IDC_LOGON_TASK);
            if (openAfterOk)
                PressOk(sheet);
        });
        CloseHandle(squat);
        EXPECT_EQ(!row.squatted, Starts);
        EXPECT_EQ(row.squatted ? "" : "/register-task", StartedWith);
        EXPECT_EQ(row.squatted ? NULL : shown, StartOwner);
        EXPECT_EQ(nullptr, PropertySheetWindow);
        EXPECT_EQ(row.note != nullptr, openAfterOk);
        if (row.note) {
            EXPECT_EQ(0, note.compare(0, strlen(row.note), row.note)) << note;
            EXPECT_EQ(0, checked);
        } else {
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(taskFile));
            EXPECT_EQ(S_OK, DeleteLogonTask());
        }
        TearDownClock();
    }
    SheetStartElevated = StartElevatedSelf;
    TaskExePath[0] = L'\0';
}

}  // namespace
