// A reply whose log warning box is open while the user stops the exchange and starts another:
// the machine, the real exchange and a fake server on 127.0.0.1:123.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>

#include "base/wide_text.h"
#include "base/program.h"
#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "logs/correction_log.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/host_lookup.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"
#include "support/fake_resolver.h"

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
        SyncServices.sendRequest = SendPreparedRequest;
        SyncServices.exchangeTick = ExchangeTick;
        SyncServices.closeExchange = CloseExchange;
        SyncServices.cancelExchange = CancelExchange;
        SyncServices.testServerName = [] { return "127.0.0.1"; };
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM) "127.0.0.1");
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        Settings.SaveLog = 1;
        Settings.MinAdjust = 9999;
        TextToWide("C:\\vm-no-such-folder\\", ProgramDirectory, MAX_PATH);
        SetSystemClock = RecordNoClockSetting;
        LogErrorBox = StopAndRunAgainInFirstBox;
        Boxes = 0;
    }
    void TearDown() override
    {
        CloseExchange();
        LogErrorBox = MessageBox932;
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

// What happens from a path's dispatch to its return to the message loop: "message" for each
// message sent to a window of this thread, "clock" for each clock reading, "loop" for a return.
std::vector<std::string> Trace;
const char *TraceTestServer;
DWORD TraceThread;

LRESULT CALLBACK RecordSentMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION)
        Trace.push_back("message");
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void WINAPI RecordClockReading(LPFILETIME utc)
{
    // The receiving thread's reading of the reply's arrival is not this thread's to trace.
    if (GetCurrentThreadId() == TraceThread)
        Trace.push_back("clock");
    GetSystemTimeAsFileTime(utc);
}

// On every path that sends a request, for an address and a name: the query is announced (status,
// controls, title, repaint) before the request's stamp is read, and from there (t1 is read again
// as the send returns) to the return to the message loop no window hears anything. A
// request that cannot be sent ends as it always did, with the controls given back.
TEST_F(ReplyReentry, NothingButTheExchangeBetweenSendAndNotification)
{
    struct Row {
        const char *path, *server;
        SyncState from;
        SyncEvent event;
        const char *status;         // what the status shows once the exchange has ended
        int sent;
    } rows[] = {
        {"manual", "127.0.0.1", Idle, SyncButton, "時計の誤差は", 1},
        {"manual", "localhost", Idle, SyncButton, "時計の誤差は", 1},
        {"automatic", "127.0.0.1", StartDelay, Tick, "時計の誤差は", 1},
        {"retry", "localhost", RetryDelay, Tick, "時計の誤差は", 1},
        {"leap", "127.0.0.1", LeapWait, Tick, "時計の誤差は", 1},
        {"test", "127.0.0.1", SettingsOpen, SyncButton, "時計の誤差は", 1},
        {"test", "localhost", SettingsOpen, SyncButton, "時計の誤差は", 1},
        {"manual", "127.255.255.255", Idle, SyncButton, "エラー: 送信失敗", 0},
        {"test", "127.255.255.255", SettingsOpen, SyncButton, "エラー: 送信失敗", 0},
    };
    SyncServices.testServerName = [] { return TraceTestServer; };
    TraceThread = GetCurrentThreadId();
    ShowWindow(ClockWindow, SW_SHOWNOACTIVATE);
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.path << " " << row.server);
        ZeroMemory(RecentServers, sizeof RecentServers);
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)row.server);
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        TraceTestServer = row.server;
        Settings.SaveLog = 0;
        Settings.StartupWait = Settings.RetryWait = 0;
        Settings.AutoClose = 0;
        LeapAtMidnight = row.from == LeapWait;
        LeapRecheckTicks = 0;
        EnterState(row.from);
        int requests = FakeNtpServerRequestCount();
        Trace.clear();
        ReadUtcClock = RecordClockReading;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordSentMessage, NULL, GetCurrentThreadId());
        Dispatch(row.event);
        Trace.push_back("loop");
        EXPECT_FALSE(GetUpdateRect(ClockWindow, NULL, FALSE));
        MSG message;
        DWORD start = GetTickCount();
        while (std::find(Trace.begin(), Trace.end(), "clock") == Trace.end() &&
               CurrentState != Idle && GetTickCount() - start < 2000) {
            if (!PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
                continue;
            }
            DispatchMessageW(&message);
            Trace.push_back("loop");
        }
        UnhookWindowsHookEx(hook);
        ReadUtcClock = ReadFinestUtcClock;
        auto stamp = std::find(Trace.begin(), Trace.end(), "clock");
        if (row.sent) {
            ASSERT_NE(Trace.end(), stamp);
            EXPECT_NE(Trace.begin(), stamp) << "the announcement comes first";
            ASSERT_LT(2, std::distance(stamp, Trace.end()));
            EXPECT_EQ("clock", *std::next(stamp)) << "read again as the send returns";
            EXPECT_EQ("loop", *std::next(stamp, 2)) << "nothing between t1 and the loop";
        }
        while ((CurrentState == Querying || CurrentState == TestQuerying) &&
               GetTickCount() - start < 2000) {
            PumpMessages();
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        }
        EXPECT_EQ(0u, std::string(StatusText).find(row.status)) << StatusText;
        EXPECT_EQ(row.from == SettingsOpen ? SettingsOpen : Idle, CurrentState);
        EXPECT_EQ("実行", WindowText(RunButton));
        EXPECT_EQ(row.sent, FakeNtpServerRequestCount() - requests);
    }
    ShowWindow(ClockWindow, SW_HIDE);
}

// Two servers of 127.0.0.1 and ::1 (the fake server hears both), for a large step: the first
// request is answered FirstOffset ahead, every later one LaterOffset ahead, but for the one
// numbered Dropped (from 0; -1 none), which is never answered.
int64_t FirstOffset, LaterOffset;
int Answered, Dropped;
std::vector<int64_t> Requested;     // each setting: the requested time minus the clock

void ShapeByRequest(uint8_t *reply, int *length, void *)
{
    int request = Answered++;
    if (request == Dropped)
        *length = -1;
    uint64_t now = FakeNtpNow() + (uint64_t)(request == 0 ? FirstOffset : LaterOffset);
    FakeNtpPutTimestamp(reply + 32, now);
    FakeNtpPutTimestamp(reply + 40, now);
}

BOOL WINAPI RecordClockSetting(const SYSTEMTIME *utc)
{
    Requested.push_back((int64_t)(SystemTimeToFileTime64(utc) - ReadUtcNow()));
    return TRUE;
}

int WINAPI NoBox(HWND, LPCSTR, LPCSTR, UINT)
{
    return IDOK;
}

// This year's event log, read and then deleted.
std::string TakeEventLog(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR path[MAX_PATH + 64];
    LogFilePath(path, MAX_PATH + 64, L"vellmarin-eventlog-%04d.txt", now.wYear);
    std::string text;
    FILE *file = _wfopen(path, L"rb");
    for (int c; file != NULL && (c = fgetc(file)) != EOF;)
        text += (char)c;
    if (file != NULL)
        fclose(file);
    DeleteFileW(path);
    return text;
}

TEST_F(ReplyReentry, LargeStepIsMadeOnlyWhenASecondServerAgrees)
{
    const int64_t S = 10000000;
    struct Row {
        int64_t first, later;
        const char *status;     // after the error's number
        double error;
        size_t set;
        int dual = 0;           // 1: the second server is a name whose IPv6 address never answers;
                                // 2: it is ::1, which never answers
    } rows[] = {
        {94608000 * S, 0, " 秒は大きすぎるため、時計を変更しませんでした。", -94608000, 0},
        {2000 * S, 2000 * S, " 秒の誤差を補正しました。", -2000, 1},
        // ... and its IPv4 address, asked next, agrees
        {2000 * S, 2000 * S, " 秒の誤差を補正しました。", -2000, 1, 1},
        {2000 * S, 2000 * S, " 秒は大きすぎるため、時計を変更しませんでした。", -2000, 0, 2},
    };
    const char *const servers[2][2] = {{"127.0.0.1", "::1"}, {"::1", "dual"}};
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    TextToWide(folder, ProgramDirectory, MAX_PATH);
    UseFakeResolver();
    FakeAddresses({"::1", "127.0.0.1"});
    Settings.ConfirmStep = 1000;
    Settings.MinAdjust = 100;
    Settings.SaveLog = 0;
    Settings.SaveEventLog = 1;
    SetSystemClock = RecordClockSetting;
    LogErrorBox = NoBox;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.error);
        TakeEventLog();
        FirstOffset = row.first;
        LaterOffset = row.later;
        Answered = 0;
        Dropped = row.dual ? 1 : -1;
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        for (const char *server : servers[row.dual == 1])
            SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)server);
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        Requested.clear();
        FakeNtpServerConfig config = {};
        config.shape = ShapeByRequest;
        FakeNtpServerConfigure(&config);
        ZeroMemory(RecentServers, sizeof RecentServers);
        Dispatch(SyncButton);
        DWORD start = GetTickCount();
        std::string asking;     // the status while the dropped request waits
        while (CurrentState == Querying && GetTickCount() - start < 3000) {
            PumpMessages();
            if (row.dual && Answered == 2) {
                asking = StatusText;
                RunTicks(1);
            }
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        }
        EXPECT_EQ(2 + (row.dual == 1), Answered);
        if (row.dual) {
            EXPECT_EQ("別のサーバーで確認中... ::1", asking);
        }
        std::string status = StatusText;
        // The shown error is a loopback measurement: on a loaded machine it may be some 10 ms off.
        EXPECT_NEAR(row.error, atof(status.c_str() + status.find_first_of("-0123456789")), 0.05) << status;
        EXPECT_NE(std::string::npos, status.find(row.status)) << status;
        ASSERT_EQ(row.set, Requested.size());
        if (row.set) {
            EXPECT_NEAR(2000.0, Requested[0] / 1e7, 0.05);
        }
        std::string log = TakeEventLog();
        for (const char *server : servers[row.dual == 1])
            EXPECT_NE(std::string::npos, log.find(server + std::string(row.dual == 2 && *server == ':' ? ": 応答なし" : " ("))) << log;
    }
    NameFunctions = NameFunctionsRecord{};
    FakeNtpServerConfig plain = {};
    FakeNtpServerConfigure(&plain);
}

}  // namespace
