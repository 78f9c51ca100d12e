// The communication page through the real sheet: digits-only boxes, corrections on leaving a
// box, the spin controls' ranges, reset, and what OK and Cancel keep.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "sheet/sheet_harness.h"
#include "base/settings.h"
#include "resource.h"

namespace {

const char CommIni[] =
    "[SETUP]\r\nMinAdjust=250\r\nStartupWait=3\r\nRetryMax=4\r\nRetryWait=20\r\nRotateServer=0\r\n"
    "[SERVER]\r\nServer0=127.0.0.1\r\n";

class CommPage : public ::testing::Test {
protected:
    void SetUp() override { SetUpClock(CommIni); }
    void TearDown() override { TearDownClock(); }
};

const char *const Keys[] = {"MinAdjust", "StartupWait", "RetryMax", "RetryWait", "ConfirmStep", "ResyncMinutes"};
const int Boxes[] = {IDC_MIN_ADJUST, IDC_STARTUP_WAIT, IDC_RETRY_MAX, IDC_RETRY_WAIT, IDC_CONFIRM_STEP, IDC_RESYNC_MINUTES};

TEST_F(CommPage, ShowsTheValuesAndSavesThemOnOk)
{
    std::string shown[4];
    int rotate = -1;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        for (int i = 0; i < 4; i++)
            shown[i] = Text(page, Boxes[i]);
        rotate = Checked(page, IDC_ROTATE_SERVER);
        Click(page, IDC_ROTATE_SERVER);
        Click(page, IDC_RESYNC_ON_WAKE);
        PressOk(sheet);
    });
    EXPECT_EQ(0, IniInt("SETUP", "ResyncOnWake", -1));
    EXPECT_EQ("250", shown[0]);
    EXPECT_EQ("3", shown[1]);
    EXPECT_EQ("4", shown[2]);
    EXPECT_EQ("20", shown[3]);
    EXPECT_EQ(0, rotate);
    EXPECT_EQ(250, IniInt("SETUP", "MinAdjust", -1));
    EXPECT_EQ(20, IniInt("SETUP", "RetryWait", -1));
    EXPECT_EQ(1, IniInt("SETUP", "RotateServer", -1));
}

// Typing goes through the box's own filters (digits only, text limit); leaving the box
// applies the correction; OK stores what the box then shows.
TEST_F(CommPage, TypedNumbersAreFilteredAndCorrectedOnLeavingTheBox)
{
    struct Row { int box; const char *typed; const char *shown; int stored; };
    const Row rows[] = {
        {IDC_RETRY_WAIT, "3", "5", 5},
        {IDC_RETRY_WAIT, "", "5", 5},
        {IDC_RETRY_WAIT, "99", "99", 99},
        {IDC_MIN_ADJUST, "", "", 0},
        {IDC_STARTUP_WAIT, "", "", 0},
        {IDC_RETRY_MAX, "", "", 0},
        {IDC_MIN_ADJUST, "123456", "1234", 1234},     // four characters at most
        {IDC_STARTUP_WAIT, "7x1", "71", 71},         // letters are refused
        {IDC_RETRY_MAX, "-5", "5", 5},
        {IDC_RETRY_MAX, "123", "12", 12},
        {IDC_CONFIRM_STEP, "1234567890", "12345678", 12345678},
        {IDC_RESYNC_MINUTES, "1441", "0", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.box << " '" << row.typed << "'");
        std::string shown;
        RunSheet([&](HWND sheet) {
            HWND page = ShowPage(sheet, 2);
            SetText(page, row.box, "");
            TypeText(page, row.box, row.typed);
            SetFocus(GetDlgItem(page, row.box == IDC_RESET_BUTTON ? IDC_MIN_ADJUST : IDC_ROTATE_SERVER));
            shown = Text(page, row.box);
            PressOk(sheet);
        });
        EXPECT_EQ(row.shown, shown);
        for (int i = 0; i < 6; i++)
            if (Boxes[i] == row.box) {
                EXPECT_EQ(row.stored, IniInt("SETUP", Keys[i], -1));
            }
    }
}

// Pasted text gets past the digits-only filter; leaving the box shows the number it reads as,
// and OK applies the same correction even to a box that never lost the focus.
TEST_F(CommPage, PastedTextIsReadAsItsLeadingDigits)
{
    struct Row { int box; const char *pasted; bool leave; const char *shown; int stored; };
    const Row rows[] = {
        {IDC_RETRY_MAX, "4x", true, "4", 4},
        {IDC_RETRY_MAX, "ab", true, "0", 0},
        {IDC_RETRY_WAIT, "1z", true, "5", 5},
        {IDC_RETRY_WAIT, "2", false, "2", 5},
        {IDC_MIN_ADJUST, "99999999999999999999", false, nullptr, 100},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.pasted);
        std::string shown;
        RunSheet([&](HWND sheet) {
            HWND page = ShowPage(sheet, 2);
            HWND edit = GetDlgItem(page, row.box);
            SetFocus(edit);
            SendMessageA(edit, EM_SETSEL, 0, -1);
            SendMessageA(edit, EM_REPLACESEL, TRUE, (LPARAM)"");
            SetText(page, row.box, row.pasted);
            if (row.leave)
                SetFocus(GetDlgItem(page, IDC_ROTATE_SERVER));
            shown = Text(page, row.box);
            PressOk(sheet);
        });
        if (row.shown) {
            EXPECT_EQ(row.shown, shown);
        }
        for (int i = 0; i < 4; i++)
            if (Boxes[i] == row.box) {
                EXPECT_EQ(row.stored, IniInt("SETUP", Keys[i], -1));
            }
    }
}

TEST_F(CommPage, CorrectionsAreUndoneByCancel)
{
    int during = -1;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        SetText(page, IDC_RETRY_WAIT, "");
        TypeText(page, IDC_RETRY_WAIT, "3");
        SetFocus(GetDlgItem(page, IDC_MIN_ADJUST));
        during = Settings.RetryWait;
        PressCancel(sheet);
    });
    EXPECT_EQ(5, during);
    EXPECT_EQ(20, Settings.RetryWait);
    EXPECT_EQ("<missing>", IniString("SETUP", "AutoClose"));
}

TEST_F(CommPage, SpinControlsStopAtTheirRanges)
{
    struct Row { int box; int spin; int low; int high; };
    const Row rows[] = {
        {IDC_MIN_ADJUST, IDC_MIN_ADJUST_SPIN, 0, 9999},
        {IDC_STARTUP_WAIT, IDC_STARTUP_SPIN, 0, 99},
        {IDC_RETRY_MAX, IDC_RETRY_MAX_SPIN, 0, 99},
        {IDC_RETRY_WAIT, IDC_RETRY_WAIT_SPIN, 5, 99},
        {IDC_CONFIRM_STEP, IDC_CONFIRM_STEP_SPIN, 0, 99999999},
        {IDC_RESYNC_MINUTES, IDC_RESYNC_MINUTES_SPIN, 0, 1440},
    };
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        for (const Row &row : rows) {
            SCOPED_TRACE(row.box);
            HWND spin = GetDlgItem(page, row.spin);
            int low = -1, high = -1;
            SendMessageA(spin, UDM_GETRANGE32, (WPARAM)&low, (LPARAM)&high);
            EXPECT_EQ(row.low, low);
            EXPECT_EQ(row.high, high);
            EXPECT_EQ(GetDlgItem(page, row.box), (HWND)SendMessageA(spin, UDM_GETBUDDY, 0, 0));
            HWND edit = GetDlgItem(page, row.box);
            struct Step { int start; WPARAM key; int expected; };
            const Step steps[] = {
                {row.low, VK_DOWN, row.low}, {row.low, VK_UP, row.low + 1},
                {row.high, VK_UP, row.high}, {row.high, VK_DOWN, row.high - 1},
            };
            for (const Step &step : steps) {
                SetText(page, row.box, std::to_string(step.start).c_str());
                SetFocus(edit);
                SendMessageA(edit, WM_KEYDOWN, step.key, 1);
                SendMessageA(edit, WM_KEYUP, step.key, 0xC0000001);
                EXPECT_EQ(std::to_string(step.expected), Text(page, row.box)) << step.start;
            }
        }
    });
}

TEST_F(CommPage, ResetShowsTheDefaultsKeepsTheCheckBoxAndCancelKeepsTheOldValues)
{
    std::string shown[4];
    int rotate = -1;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 2);
        Click(page, IDC_ROTATE_SERVER);
        Click(page, IDC_RESET_BUTTON);
        for (int i = 0; i < 4; i++)
            shown[i] = Text(page, Boxes[i]);
        rotate = Checked(page, IDC_ROTATE_SERVER);
        EXPECT_EQ(250, Settings.MinAdjust);
        PressCancel(sheet);
    });
    EXPECT_EQ("100", shown[0]);
    EXPECT_EQ("1", shown[1]);
    EXPECT_EQ("10", shown[2]);
    EXPECT_EQ("5", shown[3]);
    EXPECT_EQ(1, rotate);
    EXPECT_EQ(250, Settings.MinAdjust);
    EXPECT_EQ(20, Settings.RetryWait);
    EXPECT_EQ(0, Settings.RotateServer);

    RunSheet([](HWND sheet) {
        Click(ShowPage(sheet, 2), IDC_RESET_BUTTON);
        PressOk(sheet);
    });
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(std::stoi(shown[i]), IniInt("SETUP", Keys[i], -1)) << Keys[i];
    EXPECT_EQ(0, IniInt("SETUP", "RotateServer", -1));
}

}  // namespace
