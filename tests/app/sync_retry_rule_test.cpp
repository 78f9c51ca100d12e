// The machine driving the real exchange against a server that never answers on 127.0.0.1:123:
// retries that fall within a minute of the last request are refused without sending anything.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>
#include <string>
#include <vector>

#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "sntp/exchange.h"

static SOCKET Silent = INVALID_SOCKET;

static int DatagramsHeard(void)
{
    int count = 0;
    char buffer[64];
    while (recv(Silent, buffer, sizeof buffer, 0) > 0)
        ++count;
    return count;
}

class SyncRetryRule : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartNetwork();
        CreateTestClockWindow();
        Silent = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local = {};
        local.sin_family = AF_INET;
        local.sin_port = htons(123);
        local.sin_addr.s_addr = inet_addr("127.0.0.1");
        ASSERT_EQ(0, bind(Silent, (sockaddr *)&local, sizeof local)) << WSAGetLastError();
        u_long nonBlocking = 1;
        ioctlsocket(Silent, FIONBIO, &nonBlocking);
    }
    static void TearDownTestSuite()
    {
        closesocket(Silent);
        StopNetwork();
    }
};

TEST_F(SyncRetryRule, RetriesWithinAMinuteOfTheLastRequestAreRefused)
{
    struct Row { int retryWait; int retryMax; int ticks; int sent; int refused; } rows[] = {
        // one request, then ten refusals 5 s apart, all inside the first minute
        {5, 10, 260, 1, 10},
        // the second retry comes after the minute and is sent again
        {30, 2, 300, 2, 1},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        SyncServicesRecord real = {StartExchange, SendPreparedRequest, ExchangeTick, CloseExchange, CancelExchange,
                                   SyncServices.runPropertySheet, SyncServices.testServerName,
                                   SyncServices.setTestControlsEnabled, SyncServices.readUtcTime};
        SyncServices = real;
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM) "127.0.0.1");
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        ZeroMemory(RecentServers, sizeof RecentServers);
        Settings.StartupWait = 0;
        Settings.RetryWait = row.retryWait;
        Settings.RetryMax = row.retryMax;
        BeginStartDelay();
        int refused = 0;
        std::string last;
        for (int i = 0; i < row.ticks; ++i) {
            RunTicks(1);
            PumpMessages();
            if (last != StatusText) {
                last = StatusText;
                if (last.find("エラー：１分以内のリトライ不可") == 0)
                    ++refused;
            }
        }
        EXPECT_EQ(row.sent, DatagramsHeard()) << row.retryWait;
        EXPECT_EQ(row.refused, refused) << row.retryWait;
        EXPECT_EQ(Idle, CurrentState) << row.retryWait;
        EXPECT_EQ(0, RetriesLeft);
    }
}
