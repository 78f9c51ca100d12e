// A server test started from the real sheet against the in-process fake time server: the output
// box fills in order, the sheet locks while the exchange runs and unlocks when it ends, however
// it ends. The system clock is never set: its seam records the request instead.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "sheet/sheet_harness.h"
#include "support/fake_ntp_server.h"
#include "app/sync_machine.h"
#include "base/settings.h"
#include "sheet/property_sheet.h"
#include "clockwin/layout.h"
#include "sntp/reply.h"
#include "resource.h"

namespace {

int ClockSets;
SYSTEMTIME ClockRequested;

BOOL WINAPI RecordClock(const SYSTEMTIME *utc)
{
    ClockSets++;
    ClockRequested = *utc;
    return TRUE;
}

// A message trace of the enabling of the sheet's OK button and its tabs.
HWND TracedOk, TracedTabs;
std::vector<std::string> EnableTrace;
HHOOK TraceHook;

LRESULT CALLBACK TraceEnable(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *call = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && call->message == WM_ENABLE) {
        const char *who = call->hwnd == TracedOk ? "ok" : call->hwnd == TracedTabs ? "tabs" : nullptr;
        if (who)
            EnableTrace.push_back(std::string(who) + (call->wParam ? "+" : "-"));
    }
    return CallNextHookEx(TraceHook, code, wParam, lParam);
}

void StartTrace(HWND sheet)
{
    TracedOk = GetDlgItem(sheet, IDOK);
    TracedTabs = PropSheet_GetTabControl(sheet);
    EnableTrace.clear();
    TraceHook = SetWindowsHookExA(WH_CALLWNDPROC, TraceEnable, NULL, GetCurrentThreadId());
}

void StopTrace(void)
{
    if (TraceHook) {
        UnhookWindowsHookEx(TraceHook);
        TraceHook = NULL;
    }
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Presses "テスト" on the server page and pumps until the test has ended; the output box, the
// test button's caption and the sheet's own buttons are read while the sheet is still open.
bool RunTestToTheEnd(std::string *output)
{
    bool ended = false;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        Click(page, IDC_TEST_BUTTON);
        ended = PumpUntil([] { return CurrentState == SettingsOpen; }, 5000);
        *output = Text(page, IDC_TEST_OUTPUT);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)));
        EXPECT_EQ("テスト", Text(page, IDC_TEST_BUTTON));
    });
    return ended;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSystemClock = RecordClock;
        ClockSets = 0;
        SetUpClock("[SETUP]\r\nMinAdjust=100\r\n[SERVER]\r\nServer0=127.0.0.1\r\n");
        FakeNtpServerConfig config = {};
        ASSERT_EQ(0, FakeNtpServerStart(&config));
    }
    void TearDown() override
    {
        StopTrace();
        FakeNtpServerStop();
        TearDownClock();
    }
};

TEST_F(ServerTest, ReplyFillsTheOutputInOrderAndTheSheetLocksUntilItEnds)
{
    FakeNtpServerConfig config = {};
    config.offset = 50000000;                   // the server is 5 s ahead
    FakeNtpServerConfigure(&config);
    std::string output, captionDuring, captionAfter;
    int stateDuring = -1, okDuring = -1, listDuring = -1, testDuring = -1, selection = -1;
    bool ended = false;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        StartTrace(sheet);
        Click(page, IDC_TEST_BUTTON);
        stateDuring = CurrentState;
        captionDuring = Text(page, IDC_TEST_BUTTON);
        okDuring = IsWindowEnabled(GetDlgItem(sheet, IDOK));
        listDuring = IsWindowEnabled(GetDlgItem(page, IDC_SERVER_LIST));
        testDuring = IsWindowEnabled(GetDlgItem(page, IDC_TEST_BUTTON));
        ended = PumpUntil([] { return CurrentState == SettingsOpen; }, 5000);
        StopTrace();
        output = Text(page, IDC_TEST_OUTPUT);
        captionAfter = Text(page, IDC_TEST_BUTTON);
        selection = (int)SendDlgItemMessageA(page, IDC_SERVER_LIST, LB_GETCURSEL, 0, 0);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)));
        EXPECT_TRUE(IsWindowEnabled(PropSheet_GetTabControl(sheet)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_SERVER_LIST)));
        PressOk(sheet);
    });
    ASSERT_TRUE(ended);
    EXPECT_EQ(TestQuerying, stateDuring);
    EXPECT_EQ("中止", captionDuring);
    EXPECT_EQ(0, okDuring);
    EXPECT_EQ(0, listDuring);
    EXPECT_EQ(1, testDuring);
    EXPECT_EQ("テスト", captionAfter);
    EXPECT_EQ(0, selection);
    EXPECT_EQ((std::vector<std::string>{"ok-", "tabs-", "ok+", "tabs+"}), EnableTrace);

    // The lines arrive in the order of the exchange: server, reply fields, delay, result.
    std::vector<std::string> lines = Lines(output);
    const char *const expectedOrder[] = {"サーバー：127.0.0.1", "LI=0, VN=4, Mode=4, Stratum=2",
                                         "Transmit Timestamp=", "Destination Timestamp=",
                                         "往復の遅延時間=", "秒の誤差を補正しました。", "通信成功"};
    size_t at = 0;
    for (const char *expected : expectedOrder) {
        while (at < lines.size() && lines[at].find(expected) == std::string::npos)
            at++;
        EXPECT_LT(at, lines.size()) << "missing or out of order: " << expected << "\n" << output;
    }
    EXPECT_EQ("通信成功", lines.empty() ? "" : lines.back());
    EXPECT_EQ(1, ClockSets);
    EXPECT_EQ(1, FakeNtpServerRequestCount());
    // A test is an ordinary exchange: the clock would be set about 5 s ahead.
    FILETIME requested, now;
    SystemTimeToFileTime(&ClockRequested, &requested);
    GetSystemTimeAsFileTime(&now);
    double ahead = ((double)((ULONGLONG)requested.dwHighDateTime << 32 | requested.dwLowDateTime) -
                    (double)((ULONGLONG)now.dwHighDateTime << 32 | now.dwLowDateTime)) / 1e7;
    EXPECT_GT(ahead, 3.5);
    EXPECT_LT(ahead, 5.5);
    EXPECT_EQ(Idle, CurrentState);
}

TEST_F(ServerTest, StopButtonAbortsAndUnlocks)
{
    FakeNtpServerConfig config = {};
    config.silent = 1;
    FakeNtpServerConfigure(&config);
    std::string output, caption;
    RunSheet([&](HWND sheet) {
        HWND page = ShowPage(sheet, 1);
        Click(page, IDC_TEST_BUTTON);
        EXPECT_EQ(TestQuerying, CurrentState);
        PumpUntil([] { return FakeNtpServerRequestCount() > 0; }, 2000);
        Click(page, IDC_TEST_BUTTON);
        EXPECT_EQ(SettingsOpen, CurrentState);
        output = Text(page, IDC_TEST_OUTPUT);
        caption = Text(page, IDC_TEST_BUTTON);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDOK)));
        EXPECT_TRUE(IsWindowEnabled(PropSheet_GetTabControl(sheet)));
    });
    EXPECT_NE(std::string::npos, output.find("処理を中止しました。")) << output;
    EXPECT_EQ("テスト", caption);
    EXPECT_EQ(0, ClockSets);
}

TEST_F(ServerTest, SilentServerTimesOutAndUnlocks)
{
    FakeNtpServerConfig config = {};
    config.silent = 1;
    FakeNtpServerConfigure(&config);
    std::string output;
    EXPECT_TRUE(RunTestToTheEnd(&output));
    EXPECT_NE(std::string::npos, output.find("エラー：受信タイムアウト発生")) << output;
    EXPECT_EQ(0, ClockSets);
}

// A name whose label is longer than 63 characters is refused by the resolver library itself,
// without sending anything: the test reports the failed lookup and the sheet unlocks.
TEST_F(ServerTest, NameThatDoesNotResolveFailsTheLookupAndUnlocks)
{
    const std::string name = std::string(70, 'a') + ".invalid";
    SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
    SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)name.c_str());
    SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
    std::string output;
    EXPECT_TRUE(RunTestToTheEnd(&output));
    std::vector<std::string> lines = Lines(output);
    ASSERT_EQ(2u, lines.size()) << output;
    EXPECT_EQ("サーバー：" + name, lines[0]);
    EXPECT_EQ("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽ取得失敗", lines[1]);
    EXPECT_EQ(0, FakeNtpServerRequestCount());
    EXPECT_EQ(0, ClockSets);
}

}  // namespace
