// The program's clock window procedure driven through its messages: the command table, the timer
// and the two socket messages, with the machine's scripted services behind it.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <string>
#include <vector>

#include "base/program.h"
#include "app/clock_tick.h"
#include "app/clock_window.h"
#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "ntp/ntp_time.h"
#include "resource.h"
#include "sntp/exchange.h"

namespace {

class ClockWindowRouting : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CreateTestClockWindow(); }
    void SetUp() override
    {
        ResetMachine(MetallicBarStyle);
        BeginStartDelay();
        Calls.clear();
    }
};

// Each command from the start-up delay: what the machine was asked, and the state it is in.
TEST_F(ClockWindowRouting, CommandsReachTheirHandlers)
{
    struct Row {
        int id, code;
        const char *call;       // the one call recorded, or "" for none
        SyncState state;
    } rows[] = {
        {IDC_OPTIONS_BUTTON, BN_CLICKED, "sheet", Idle},
        {IDC_RUN_BUTTON, BN_CLICKED, "start", Querying},
        {IDC_CLOSE_BUTTON, BN_CLICKED, "WM_CLOSE", StartDelay},
        {IDC_SWITCH_BUTTON, BN_CLICKED, "", Idle},
        {IDC_MINIMIZE_BUTTON, BN_CLICKED, "", StartDelay},
        {IDC_SERVER_COMBO, CBN_DROPDOWN, "", Idle},
        {IDC_SERVER_COMBO, CBN_SELCHANGE, "", StartDelay},
        {IDC_DISPLAY_FIELD, STN_CLICKED, "", StartDelay},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.id << " " << row.code);
        SetUp();
        SetStatusText("前の表示");
        SendMessageA(ClockWindow, WM_COMMAND, MAKEWPARAM(row.id, row.code), 0);
        if (row.call[0]) {
            ASSERT_EQ(1u, Calls.size());
            EXPECT_EQ(row.call, Calls[0].what);
        } else {
            EXPECT_TRUE(Calls.empty());
        }
        EXPECT_EQ(row.state, CurrentState);
        EXPECT_EQ(row.id == IDC_MINIMIZE_BUTTON, IsIconic(ClockWindow) != FALSE);
        int selected = (int)SendMessageA(ServerCombo, CB_GETCURSEL, 0, 0);
        EXPECT_EQ(row.id == IDC_SWITCH_BUTTON ? 1 : 0, selected);
        const char *status = row.id == IDC_SWITCH_BUTTON ? "s1"
                             : row.code == CBN_DROPDOWN  ? VersionText
                             : row.id == IDC_RUN_BUTTON  ? "サーバーとの通信中..."
                                                         : "前の表示";
        EXPECT_STREQ(status, StatusText);
        if (row.id == IDC_SWITCH_BUTTON) {
            EXPECT_EQ(3, StatusHold);
        }
    }
}

TEST_F(ClockWindowRouting, TimerOfAnyIdTicksTheMachine)
{
    uint32_t ticks = TickCounter;
    SendMessageA(ClockWindow, WM_TIMER, 1, 0);
    SendMessageA(ClockWindow, WM_TIMER, 7, 0);
    EXPECT_EQ(ticks + 2, TickCounter);
    EXPECT_EQ(2u, StateTicks);
}

// A finished lookup of the current exchange ends the query; messages of lookups and receives that
// are not current change nothing.
TEST_F(ClockWindowRouting, SocketMessagesEndOnlyTheCurrentExchange)
{
    SendMessageA(ClockWindow, WM_COMMAND, MAKEWPARAM(IDC_RUN_BUTTON, BN_CLICKED), 0);
    ASSERT_EQ(Querying, CurrentState);
    // A lookup of the exchange with this serial is pending.
    ExchangeRecord.phase = ExchangeResolving;
    ExchangeRecord.socket = INVALID_SOCKET;
    const WPARAM serial = ExchangeRecord.serial;
    SendMessageA(ClockWindow, WM_HOST_RESOLVED, serial + 1, WSAHOST_NOT_FOUND);
    SendMessageA(ClockWindow, WM_REPLY_RECEIVED, serial + 1, 0);
    EXPECT_EQ(Querying, CurrentState);
    SendMessageA(ClockWindow, WM_HOST_RESOLVED, serial, WSAHOST_NOT_FOUND);
    EXPECT_EQ(Idle, CurrentState);
    EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
    EXPECT_STREQ("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽ取得失敗", StatusText);
}

}  // namespace

namespace {

// The re-arm arithmetic at instants after 2026-12-07 00:00:00.000 UTC (a whole second): the wait
// in ms to 2 ms past the next quarter second, and whether the tick came just before its boundary.
TEST(ClockTicks, EachTickAimsJustPastTheNextQuarterSecond)
{
    const uint64_t second = CalendarToFileTime(2026, 12, 7, 0, 0, 0, 0);
    struct Row { uint64_t after; UINT delay; int early; } rows[] = {
        {0, 252, 0},               // on the boundary
        {20000, 250, 0},           // on time: 2 ms past
        {25000, 250, 0},           // 2.5 ms past: rounds the wait up
        {1000000, 152, 0},         // 100 ms late
        {2440000, 8, 0},           // 244 ms late: the next one comes soon after
        {2460000, 6, 1},           // 4 ms before the boundary: early, not counted
        {2499999, 3, 1},
        {2500000, 252, 0},         // the next quarter
        {7520000, 250, 0},         // 752 ms into the second
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.after);
        EXPECT_EQ(row.delay, TickDelay(second + row.after));
        EXPECT_EQ(row.early, TickIsEarly(second + row.after));
    }
}

// A simulated minute of ticks: the timer fires up to 3 ms late, once 120 ms late, and the clock is
// stepped back 1.3 s and forward 0.7 s. Four counted ticks a second, one within 20 ms after each
// second boundary, except around a step, after which they re-lock at the next tick.
TEST(ClockTicks, FourTicksASecondLockedToTheClock)
{
    const int64_t ms = 10000;
    int64_t timer = 0;                              // the timer's own (monotonic) clock
    int64_t step = (int64_t)CalendarToFileTime(2026, 12, 7, 0, 0, 0, 0) + 1234567;
    int64_t due = timer + (int64_t)TickDelay((uint64_t)step) * ms;
    int counted = 0, lockedSeconds = 0, fired = 0;
    int64_t lastSecond = -1;
    while (due < 60 * 1000 * ms) {
        timer = due + (fired % 4) * ms + (fired == 77 ? 120 * ms : 0);
        if (fired == 100)
            step -= 1300 * ms;
        if (fired == 180)
            step += 700 * ms;
        fired++;
        uint64_t now = (uint64_t)(timer + step);
        due = timer + (int64_t)TickDelay(now) * ms;
        if (TickIsEarly(now))
            continue;
        counted++;
        int64_t second = (int64_t)(now / (1000 * ms));
        if (second != lastSecond && (int64_t)(now % (1000 * ms)) <= 20 * ms)
            lockedSeconds++;
        lastSecond = second;
    }
    EXPECT_NEAR(240, counted, 2);   // each step may add or drop one
    EXPECT_GE(lockedSeconds, 57);
    EXPECT_LE(fired - counted, 1);
}

}  // namespace
