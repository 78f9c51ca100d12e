// The program's clock window procedure driven through its messages: the command table, the timer
// and the two socket messages, with the machine's scripted services behind it.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <string>
#include <vector>

#include "base/program.h"
#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
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

// A finished lookup of the current exchange ends the query; messages of lookups and sockets that
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
    SendMessageA(ClockWindow, WM_SOCKET_NOTIFY, 0x1234, WSAMAKESELECTREPLY(FD_READ, 0));
    EXPECT_EQ(Querying, CurrentState);
    SendMessageA(ClockWindow, WM_HOST_RESOLVED, serial, WSAHOST_NOT_FOUND);
    EXPECT_EQ(Idle, CurrentState);
    EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
    EXPECT_STREQ("エラー：ｻｰﾊﾞIPｱﾄﾞﾚｽ取得失敗", StatusText);
}

}  // namespace
