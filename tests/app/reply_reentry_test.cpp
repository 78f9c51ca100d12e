// A reply whose log warning box is open while the user stops the exchange and starts another:
// the machine, the real exchange and a fake server on 127.0.0.1:123.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string>

#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "logs/correction_log.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

namespace {

int Boxes;

// The correction log cannot be written, so each reply shows the box; during the first one the
// user presses the stop button and then the run (or test) button again.
int WINAPI StopAndRunAgainInFirstBox(HWND, LPCSTR, LPCSTR, UINT)
{
    if (Boxes++ == 0) {
        Dispatch(SyncButton);
        Dispatch(SyncButton);
    }
    return IDOK;
}

BOOL WINAPI RecordNoClockSetting(const SYSTEMTIME *)
{
    return TRUE;
}

// Pumps until the state is `state` with both replies' boxes shown, or two seconds have passed.
void PumpUntilSecondReplyEnds(SyncState state)
{
    DWORD start = GetTickCount();
    while (!(CurrentState == state && Boxes >= 2) && GetTickCount() - start < 2000) {
        PumpMessages();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

class ReplyReentry : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartNetwork();
        CreateTestClockWindow();
        FakeNtpServerConfig config = {};
        ASSERT_EQ(0, FakeNtpServerStart(&config));
    }
    static void TearDownTestSuite()
    {
        FakeNtpServerStop();
        StopNetwork();
    }
    void SetUp() override
    {
        ResetMachine(StandardStyle);
        SyncServices.startExchange = StartExchange;
        SyncServices.exchangeTick = ExchangeTick;
        SyncServices.closeExchange = CloseExchange;
        SyncServices.cancelExchange = CancelExchange;
        SyncServices.testServerName = [] { return "127.0.0.1"; };
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM) "127.0.0.1");
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        Settings.SaveLog = 1;
        Settings.MinAdjust = 9999;
        snprintf(ProgramDirectory, sizeof ProgramDirectory, "%s", "C:\\vm-no-such-folder\\");
        SetSystemClock = RecordNoClockSetting;
        LogErrorBox = StopAndRunAgainInFirstBox;
        Boxes = 0;
    }
    void TearDown() override
    {
        CloseExchange();
        LogErrorBox = MessageBoxA;
    }
};

TEST_F(ReplyReentry, QueryStartedDuringTheBoxRunsToItsOwnReply)
{
    int requests = FakeNtpServerRequestCount();
    Dispatch(SyncButton);
    ASSERT_EQ(Querying, CurrentState);
    PumpUntilSecondReplyEnds(Idle);
    EXPECT_EQ(2, Boxes);
    EXPECT_EQ(2, FakeNtpServerRequestCount() - requests);
    EXPECT_EQ(0u, std::string(StatusText).find("時計の誤差は")) << StatusText;
    EXPECT_EQ(Idle, CurrentState);
    EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
}

TEST_F(ReplyReentry, ServerTestStartedDuringTheBoxRunsToItsOwnReply)
{
    int requests = FakeNtpServerRequestCount();
    static std::string result;
    SheetScript = [] {
        Dispatch(SyncButton);
        if (CurrentState == TestQuerying)
            PumpUntilSecondReplyEnds(SettingsOpen);
        result = ExchangeRecord.ResultMessage;
    };
    Dispatch(SettingsButton);
    EXPECT_EQ(2, Boxes);
    EXPECT_EQ(2, FakeNtpServerRequestCount() - requests);
    EXPECT_EQ(0u, result.find("時計の誤差は")) << result;
    EXPECT_EQ(Idle, CurrentState);
}

}  // namespace
