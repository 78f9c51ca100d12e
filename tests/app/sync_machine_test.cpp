// Traces of the synchronisation machine against a scripted exchange and a fake UTC clock: when it
// queries, what it retries, what it shows, when it closes, and how the sheet and leap waits end.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/program.h"
#include "app/sync_harness.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/kiss_memory.h"
#include "sntp/reply.h"

static const char LeapTitle[] = "vellmarin - うるう秒補正待ち";

class SyncMachine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CreateTestClockWindow(); }
    void SetUp() override { ResetMachine(StandardStyle); }
};

static bool Started(void) { return !CallsOf("start").empty(); }
static bool Closed(void) { return !CallsOf("WM_CLOSE").empty(); }

static std::string ToolTipText(void)
{
    char text[80] = "";
    TOOLINFOA tool;
    ZeroMemory(&tool, sizeof tool);
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = RunButton;
    tool.uId = 2001;
    tool.lpszText = text;
    SendMessageA(ToolTipWindow, TTM_GETTEXTA, sizeof text, (LPARAM)&tool);
    return text;
}

TEST_F(SyncMachine, FirstAutomaticQueryWaitsStartupWaitSeconds)
{
    struct Row { int startupWait; int firstTick; } rows[] = {{0, 1}, {1, 4}, {3, 12}, {99, 396}};
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.StartupWait = row.startupWait;
        BeginStartDelay();
        RunTicksUntil(500, Started);
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ(1u, starts.size()) << row.startupWait;
        EXPECT_EQ(row.firstTick, starts[0].tick) << row.startupWait;
        EXPECT_EQ("s0", starts[0].server);
        EXPECT_EQ(1, starts[0].automatic) << "automatic attempts obey the one-minute rule";
        EXPECT_EQ(Querying, CurrentState);
        EXPECT_STREQ("サーバーとの通信中...", StatusText);
        EXPECT_EQ(-1, StatusHold);
    }
}

// Every attempt fails; the run makes RetryMax + 1 attempts RetryWait seconds apart, counts the
// retries down in the status line and ends showing the last failure.
TEST_F(SyncMachine, FailedRunRetriesAndCountsDown)
{
    struct Row {
        int retryMax;
        int timeoutAfter;      // 0: the start fails at once; else the reply times out
        int attemptSpacing;    // ticks from one attempt to the next
    } rows[] = {{0, 0, 20}, {3, 0, 20}, {10, 0, 20}, {2, 4, 25}};
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.RetryMax = row.retryMax;
        Scripted.startResult = row.timeoutAfter ? 0 : -1;
        Scripted.timeoutAfterTicks = row.timeoutAfter;
        BeginStartDelay();
        std::vector<std::string> shown;
        for (int i = 0; i < 400; ++i) {
            RunTicks(1);
            if (shown.empty() || shown.back() != StatusText)
                shown.push_back(StatusText);
        }
        const char *failure = row.timeoutAfter ? "エラー：受信タイムアウト発生" : "エラー：送信失敗";
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ((size_t)row.retryMax + 1, starts.size()) << row.retryMax;
        for (size_t i = 0; i < starts.size(); ++i) {
            EXPECT_EQ(4 + (int)i * row.attemptSpacing, starts[i].tick) << i;
            EXPECT_EQ(1, starts[i].automatic);
        }
        std::vector<std::string> expected;
        for (int left = row.retryMax; left >= 1; --left) {
            if (row.timeoutAfter)
                expected.push_back("サーバーとの通信中...");
            expected.push_back(std::string(failure) + " あと" + std::to_string(left) +
                               "回ﾘﾄﾗｲします。");
        }
        if (row.timeoutAfter)
            expected.push_back("サーバーとの通信中...");
        expected.push_back(failure);
        shown.erase(shown.begin());   // the empty status before the first attempt
        EXPECT_EQ(expected, shown) << row.retryMax;
        EXPECT_EQ(Idle, CurrentState);
        EXPECT_EQ(0, RetriesLeft);
        EXPECT_STREQ("実行", WindowText(RunButton).c_str());
    }
}

TEST_F(SyncMachine, ManualQueryIsNeverRetried)
{
    struct Row { int startResult; int replyFails; int autoClose; } rows[] = {
        {-1, 0, 0}, {0, 1, 0}, {0, 1, 1}, {-1, 0, 1},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.RetryMax = 10;
        Settings.AutoClose = row.autoClose;
        Scripted.startResult = row.startResult;
        Dispatch(SyncButton);
        if (row.replyFails) {
            EXPECT_EQ(Querying, CurrentState);
            ReplyFailed("エラー：受信タイムアウト発生");
        }
        EXPECT_EQ(Idle, CurrentState);
        EXPECT_EQ(0, RetriesLeft);
        EXPECT_EQ(3, StatusHold);
        EXPECT_STREQ(ExchangeRecord.ResultMessage, StatusText);
        RunTicks(300);
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ(1u, starts.size());
        EXPECT_EQ(0, starts[0].automatic) << "the sync button ignores the one-minute rule";
        EXPECT_FALSE(Closed());
    }
}

TEST_F(SyncMachine, StoppingAQueryEndsTheRunWithoutRetryOrClosing)
{
    Settings.AutoClose = 1;
    Settings.ErrorClose = 1;
    Settings.StartupWait = 0;
    BeginStartDelay();
    RunTicks(1);
    ASSERT_EQ(Querying, CurrentState);
    Dispatch(SyncButton);
    EXPECT_EQ(Idle, CurrentState);
    EXPECT_STREQ("処理を中止しました。", StatusText);
    EXPECT_EQ(3, StatusHold);
    EXPECT_EQ(1u, CallsOf("close").size());
    RunTicks(400);
    EXPECT_EQ(1u, CallsOf("start").size());
    EXPECT_FALSE(Closed());
    EXPECT_STREQ("実行", WindowText(RunButton).c_str());
}

TEST_F(SyncMachine, ControlsLockWhileQueryingExceptTheStopButton)
{
    struct Row { int formStyle; const char *runningCaption; } rows[] = {
        {StandardStyle, "中止"}, {MetallicBarStyle, "実行"},
    };
    for (const Row &row : rows) {
        ResetMachine(row.formStyle);
        Dispatch(SyncButton);
        ASSERT_EQ(Querying, CurrentState);
        EXPECT_FALSE(IsWindowEnabled(ServerCombo));
        EXPECT_FALSE(IsWindowEnabled(OptionsButton));
        EXPECT_TRUE(IsWindowEnabled(RunButton));
        EXPECT_EQ(row.formStyle != StandardStyle, !IsWindowEnabled(CloseButton));
        EXPECT_EQ(row.formStyle != StandardStyle, !IsWindowEnabled(MinimizeButton));
        EXPECT_EQ(row.formStyle != StandardStyle, !IsWindowEnabled(ServerSwitchButton));
        EXPECT_STREQ(row.runningCaption, WindowText(RunButton).c_str());
        EXPECT_EQ("中止", ToolTipText());
        ReplyOk("時計を修正しました。");
        EXPECT_TRUE(IsWindowEnabled(ServerCombo));
        EXPECT_TRUE(IsWindowEnabled(OptionsButton));
        EXPECT_TRUE(IsWindowEnabled(CloseButton));
        EXPECT_STREQ("実行", WindowText(RunButton).c_str());
        EXPECT_EQ("時刻合わせ", ToolTipText());
        EXPECT_STREQ("時計を修正しました。", StatusText);
    }
}

// s0 answers every attempt with a kiss of this code.
static const char *KissOfS0;
static int (*ScriptedStart)(const char *serverName, int applyRetryRule);

static int StartWithKiss(const char *serverName, int applyRetryRule)
{
    int result = ScriptedStart(serverName, applyRetryRule);
    if (KissOfS0 != nullptr && strcmp(serverName, "s0") == 0) {
        sockaddr_storage address = {};
        RememberKiss(KissOfS0, serverName, &address, 1);
    }
    return result;
}

TEST_F(SyncMachine, RetriesRotateThroughTheServerList)
{
    struct Row {
        int entries;
        int selected;
        int rotate;
        const char *servers[4];     // null: no further attempt
        const char *kiss = nullptr; // what s0 answers
    } rows[] = {
        {3, 0, 1, {"s0", "s1", "s2", "s0"}},
        {3, 1, 1, {"s1", "s2", "s0", "s1"}},
        {1, 0, 1, {"s0", "s0", "s0", "s0"}},
        {3, 0, 0, {"s0", "s0", "s0", "s0"}},
        {3, -1, 1, {"", "s1", "s2", "s0"}},
        {1, -1, 1, {"", "s0", "s0", "s0"}},
        {3, 0, 0, {"s0", "s1", "s1", "s1"}, "DENY"},
        {3, 0, 1, {"s0", "s1", "s2", "s1"}, "RSTR"},
        {3, 0, 0, {"s0", "s1", "s1", "s1"}, "RATE"},
        {1, 0, 1, {"s0", nullptr}, "DENY"},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        ForgetKisses();
        KissOfS0 = row.kiss;
        ScriptedStart = SyncServices.startExchange;
        SyncServices.startExchange = StartWithKiss;
        FillServers(row.entries, row.selected);
        Settings.RotateServer = row.rotate;
        Settings.RetryMax = 3;
        Scripted.startResult = -1;
        BeginStartDelay();
        RunTicks(100);
        std::vector<CallRecord> starts = CallsOf("start");
        size_t expected = 0;
        while (expected < 4 && row.servers[expected] != nullptr)
            ++expected;
        ASSERT_EQ(expected, starts.size());
        for (size_t i = 0; i < expected; ++i)
            EXPECT_EQ(row.servers[i], starts[i].server) << row.entries << "/" << row.selected;
        EXPECT_EQ(Idle, CurrentState);
    }
    ForgetKisses();
}

TEST_F(SyncMachine, EndOfRunClosesOnlyWhenAllowed)
{
    struct Row { int autoClose; int errorClose; int fails; int closes; } rows[] = {
        {0, 0, 0, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}, {1, 0, 1, 0}, {1, 1, 1, 1}, {1, 1, 0, 1},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.AutoClose = row.autoClose;
        Settings.ErrorClose = row.errorClose;
        Settings.RetryMax = 0;
        Dispatch(SyncButton);
        if (row.fails)
            ReplyFailed("エラー：受信タイムアウト発生");
        else
            ReplyOk("時計を修正しました。");
        EXPECT_EQ(row.closes ? ClosePending : Idle, CurrentState);
        RunTicks(40);
        EXPECT_EQ(row.closes != 0, Closed())
            << row.autoClose << row.errorClose << row.fails;
    }
}

TEST_F(SyncMachine, ClosingWaitsForItsDelayAndForTheLeapNotice)
{
    struct Row {
        int formStyle;
        int leapNotice;      // the reply announced a leap second (30 s notice), no leap wait
        int earliest;        // first tick after the reply at which the close may come
        int latest;
    } rows[] = {
        {StandardStyle, 0, 12, 12},
        {MetallicBarStyle, 0, 24, 24},
        {2, 0, 24, 24},
        {StandardStyle, 1, 4 * 29, 4 * 31},
        {MetallicBarStyle, 1, 4 * 29, 4 * 31},
    };
    for (const Row &row : rows) {
        ResetMachine(row.formStyle);
        Settings.AutoClose = 1;
        Dispatch(SyncButton);
        if (row.leapNotice)
            ReplyLeap(0);
        else
            ReplyOk("時計を修正しました。");
        ASSERT_EQ(ClosePending, CurrentState);
        int noticeAtClose = -1;
        for (int i = 0; i < 200 && !Closed(); ++i) {
            RunTicks(1);
            if (Closed())
                noticeAtClose = LeapNoticeSeconds;
        }
        std::vector<CallRecord> closes = CallsOf("WM_CLOSE");
        ASSERT_EQ(1u, closes.size()) << row.formStyle;
        EXPECT_GE(closes[0].tick, row.earliest) << row.formStyle;
        EXPECT_LE(closes[0].tick, row.latest) << row.formStyle;
        EXPECT_EQ(0, noticeAtClose);
    }
}

// The ways into a waiting state, each followed by the options button.
static void ReachStartDelay(void) { BeginStartDelay(); }
static void ReachIdle(void) { EnterState(Idle); }
static void ReachRetryDelay(void)
{
    Settings.StartupWait = 0;
    Scripted.startResult = -1;
    BeginStartDelay();
    RunTicks(1);
}
static void ReachClosePending(void)
{
    Settings.AutoClose = 1;
    Dispatch(SyncButton);
    ReplyOk("時計を修正しました。");
}
static void ReachLeapWait(void)
{
    Settings.WaitLeap = 1;
    Dispatch(SyncButton);
    ReplyLeap(1);
}
static int StateSeenBySheet;
static void TickInsideSheet(void)
{
    StateSeenBySheet = CurrentState;
    RunTicks(20);
}

TEST_F(SyncMachine, OpeningTheSheetDropsWhateverWasPending)
{
    struct Row { void (*reach)(void); SyncState state; } rows[] = {
        {ReachIdle, Idle},
        {ReachStartDelay, StartDelay},
        {ReachRetryDelay, RetryDelay},
        {ReachClosePending, ClosePending},
        {ReachLeapWait, LeapWait},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        row.reach();
        ASSERT_EQ(row.state, CurrentState);
        size_t startsBefore = CallsOf("start").size();
        SheetScript = TickInsideSheet;
        Dispatch(SettingsButton);
        EXPECT_EQ(SettingsOpen, StateSeenBySheet) << row.state;
        EXPECT_EQ(Idle, CurrentState) << row.state;
        EXPECT_EQ(0, StatusHold);
        EXPECT_EQ(0, LeapNoticeSeconds);
        EXPECT_EQ("vellmarin", WindowText(ClockWindow));
        RunTicks(600);
        EXPECT_EQ(startsBefore, CallsOf("start").size()) << row.state;
        EXPECT_FALSE(Closed()) << row.state;
    }
}

// Scripts run inside the sheet: the server page's test button and how the test ends.
static std::vector<int> StatesInSheet;
static void NoteState(void) { StatesInSheet.push_back(CurrentState); }
static void TestReplies(void)
{
    Dispatch(SyncButton);
    NoteState();
    RunTicks(2);
    ReplyOk("時計を修正しました。");
    NoteState();
}
static void TestTimesOut(void)
{
    Scripted.timeoutAfterTicks = 4;
    Dispatch(SyncButton);
    NoteState();
    RunTicks(5);
    NoteState();
}
static void TestStopped(void)
{
    Dispatch(SyncButton);
    NoteState();
    Dispatch(SyncButton);
    NoteState();
}
static void TestCannotStart(void)
{
    Scripted.startResult = -1;
    Dispatch(SyncButton);
    NoteState();
}
static void SheetClosedDuringTest(void)
{
    Dispatch(SyncButton);
    NoteState();
}
static void TestRefusedByName(void)
{
    sockaddr_storage address = {};
    RememberKiss("DENY", "tested", &address, 1);
    Dispatch(SyncButton);
    NoteState();
    ForgetKisses();
}

TEST_F(SyncMachine, ServerTestRunsInsideTheSheet)
{
    struct Row {
        void (*script)(void);
        std::vector<int> states;
        std::vector<std::string> testControls;
        int cancels;
        const char *status;
        size_t starts = 1;
    } rows[] = {
        {TestReplies, {TestQuerying, SettingsOpen}, {"0", "1"}, 0, "時計を修正しました。"},
        {TestTimesOut, {TestQuerying, SettingsOpen}, {"0", "1"}, 0, "エラー：受信タイムアウト発生"},
        {TestStopped, {TestQuerying, SettingsOpen}, {"0", "1"}, 1, "処理を中止しました。"},
        {TestCannotStart, {SettingsOpen}, {}, 0, "ようこそ"},
        // A sheet forced shut mid-test must not leave the exchange running or the window locked.
        {SheetClosedDuringTest, {TestQuerying}, {"0", "1"}, 1, "処理を中止しました。"},
        {TestRefusedByName, {SettingsOpen}, {}, 0, "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(DENY)", 0},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        SetStatusText("ようこそ");
        StatesInSheet.clear();
        SheetScript = row.script;
        Dispatch(SettingsButton);
        EXPECT_EQ(row.states, StatesInSheet);
        std::vector<std::string> controls;
        for (const CallRecord &call : CallsOf("testctl"))
            controls.push_back(call.server);
        EXPECT_EQ(row.testControls, controls);
        EXPECT_EQ((size_t)row.cancels, CallsOf("cancel").size());
        EXPECT_STREQ(row.status, StatusText);
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ(row.starts, starts.size());
        for (const CallRecord &start : starts) {
            EXPECT_EQ("tested", start.server);
            EXPECT_EQ(0, start.automatic);
        }
        EXPECT_EQ(Idle, CurrentState);
        EXPECT_FALSE(Scripted.inFlight);
        EXPECT_TRUE(IsWindowEnabled(ServerCombo));
        EXPECT_STREQ("実行", WindowText(RunButton).c_str());
    }
}

TEST_F(SyncMachine, LeapWaitShowsItsTitleAndAsksAgainAfterTheLeap)
{
    struct Row {
        int atMidnight;
        int hour, minute, second;   // UTC time of the announcing reply, 31 December
        int requeryTick;            // ticks after the reply
    } rows[] = {
        {1, 0, 0, 0, 240},          // reply during the leap second itself: one minute later
        {0, 23, 58, 30, 480},       // first minute check after the day changed: 00:00:30
        {0, 23, 59, 10, 240},       // 00:00:10
        {0, 23, 0, 0, 240 * 60},    // sixty checks on the same day, then 00:00:00
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.WaitLeap = 1;
        Settings.AutoClose = 1;
        SetFakeUtc(2026, 12, 31, row.hour, row.minute, row.second);
        Dispatch(SyncButton);
        ReplyLeap(row.atMidnight);
        ASSERT_EQ(LeapWait, CurrentState);
        EXPECT_EQ(LeapTitle, WindowText(ClockWindow));
        EXPECT_FALSE(IsIconic(ClockWindow)) << "waits for the notice first";
        int base = TestTicks;
        RunTicksUntil(240 * 70, [] { return CallsOf("start").size() == 2; });
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ(2u, starts.size()) << row.hour;
        EXPECT_EQ(row.requeryTick, starts[1].tick - base) << row.hour;
        EXPECT_EQ(1, starts[1].automatic);
        EXPECT_EQ(Querying, CurrentState);
        EXPECT_EQ("vellmarin", WindowText(ClockWindow));
        EXPECT_TRUE(IsIconic(ClockWindow)) << "AutoClose minimises the waiting window";
        ReplyOk("時計を修正しました。");
        EXPECT_EQ(ClosePending, CurrentState);
    }
}

TEST_F(SyncMachine, LeapWaitAnnouncesItselfOnceTheNoticeEnds)
{
    Settings.WaitLeap = 1;
    Dispatch(SyncButton);
    ReplyLeap(0);
    ASSERT_EQ(LeapWait, CurrentState);
    int ticks = RunTicksUntil(400, [] { return LeapNoticeSeconds == 0; });
    RunTicks(1);
    EXPECT_GE(ticks, 4 * 29);
    EXPECT_STREQ("うるう秒補正まで待機しています", StatusText);
    EXPECT_FALSE(IsIconic(ClockWindow)) << "only AutoClose minimises";
    EXPECT_EQ(0, LeapWaitAnnounce);
}

TEST_F(SyncMachine, EveryOtherStateRestoresThePlainTitle)
{
    for (int state = 0; state < SyncStateCount; ++state) {
        EnterState(LeapWait);
        EnterState((SyncState)state);
        EXPECT_EQ(state == LeapWait ? LeapTitle : "vellmarin", WindowText(ClockWindow)) << state;
    }
}

// A wake or an interval leaves a query, a test and every wait as they were.
TEST_F(SyncMachine, IgnoredEventsChangeNothing)
{
    struct Row { SyncState state; SyncEvent event; } rows[] = {
        {Idle, Tick}, {Idle, ExchangeDone}, {StartDelay, ExchangeDone},
        {RetryDelay, ExchangeDone}, {ClosePending, ExchangeDone}, {SettingsOpen, Tick},
        {SettingsOpen, ExchangeDone}, {SettingsOpen, SettingsButton},
        {Querying, SettingsButton}, {TestQuerying, SettingsButton}, {LeapWait, ExchangeDone},
        {StartDelay, Wake}, {Querying, Wake}, {RetryDelay, Wake}, {SettingsOpen, Wake},
        {TestQuerying, Wake}, {LeapWait, Wake}, {ElevationWait, Wake},
        {StartDelay, Interval}, {Querying, Interval}, {RetryDelay, Interval},
        {ClosePending, Interval}, {SettingsOpen, Interval}, {TestQuerying, Interval},
        {LeapWait, Interval}, {ElevationWait, Interval},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.ResyncOnWake = 1;
        EnterState(row.state);
        StateTicks = 7;
        SetStatusText("unchanged");
        Dispatch(row.event);
        EXPECT_EQ(row.state, CurrentState) << row.state << "/" << row.event;
        EXPECT_EQ(7u, StateTicks) << row.state << "/" << row.event;
        EXPECT_STREQ("unchanged", StatusText);
        EXPECT_TRUE(Calls.empty());
    }
}

// A run with all its retries after a wake (both its notices; StartupWait as at start) and after each
// interval: ticks since a query ended (at once too), never while one runs, whatever the clock does.
TEST_F(SyncMachine, WakeAndIntervalStartARunAfterTheLastQuery)
{
    enum { NoWake, Woken, WakeOff, WokenClosing };
    struct Row { int minutes, queryTicks, fails, hourAfter, wake; std::vector<int> later; } rows[] = {
        {1, 300, 0, 3, NoWake, {241}}, {2, 2, 1, 9, NoWake, {481}}, {2, 0, 0, 1, NoWake, {481}},
        {1, 0, 2, 3, NoWake, {241, 261, 281, 522, 542, 562}}, {0, 0, 0, 3, NoWake, {}},
        {0, 0, 0, 3, Woken, {4}}, {0, 0, 0, 3, WokenClosing, {4}}, {0, 0, 0, 3, WakeOff, {}},
    };
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        Settings.ResyncMinutes = row.minutes;
        Settings.RetryMax = 2;
        Settings.ResyncOnWake = row.wake != WakeOff;
        Settings.AutoClose = row.wake == WokenClosing;
        Scripted.startResult = row.fails == 2 ? -1 : 0;
        Dispatch(SyncButton);
        RunTicks(row.queryTicks);
        if (row.fails < 2)
            (row.fails ? ReplyFailed : ReplyOk)("エラー：受信タイムアウト発生");
        SetFakeUtc(2026, 12, 7, (WORD)row.hourAfter, 0, 0);
        RecentServers[0].address.ss_family = AF_INET;
        for (WPARAM notice : {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND})
            if (row.wake != NoWake)
                SendMessageA(ClockWindow, WM_POWERBROADCAST, notice, 0);
        EXPECT_EQ(row.wake == NoWake ? AF_INET : 0, RecentServers[0].address.ss_family);
        int ended = TestTicks;
        RunTicks(600);
        std::vector<int> later;
        for (const CallRecord &start : CallsOf("start"))
            later.push_back(start.tick - ended);
        EXPECT_EQ(row.later, std::vector<int>(later.begin() + 1, later.end())) << row.minutes << row.wake;
        EXPECT_TRUE(row.later.size() != 1 || RetriesLeft == 2);
    }
}

// A failure text as long as the exchange layer allows still leaves room for the retry count,
// and the cut never splits a double-byte character.
TEST_F(SyncMachine, RetryTextIsCutToTheStatusLine)
{
    struct Row { const char *head; int doubleBytes; } rows[] = {{"", 499}, {"x", 499}, {"xy", 498}};
    for (const Row &row : rows) {
        ResetMachine(StandardStyle);
        std::string message = row.head;
        for (int i = 0; i < row.doubleBytes; ++i)
            message += "あ";
        ASSERT_LT(message.size(), (size_t)ResultMessageSize);
        Scripted.startResult = -1;
        Scripted.startFailure = message.c_str();
        Settings.StartupWait = 0;
        BeginStartDelay();
        RunTicks(1);
        const std::string shown = StatusText;
        const std::string suffix = " あと10回ﾘﾄﾗｲします。";
        ASSERT_LE(shown.size(), 999u);
        ASSERT_GT(shown.size(), suffix.size());
        EXPECT_EQ(suffix, shown.substr(shown.size() - suffix.size()));
        std::string kept = shown.substr(0, shown.size() - suffix.size());
        EXPECT_EQ(0u, message.find(kept)) << "a prefix of the message";
        size_t i = 0;
        while (i < kept.size())
            i += IsDBCSLeadByteEx(932, (BYTE)kept[i]) ? 2 : 1;
        EXPECT_EQ(kept.size(), i) << "ends on a character boundary";
        EXPECT_GT(kept.size(), 990u - suffix.size());
    }
}

// The combo box hands out whole entries with no size limit; the name handed on is bounded.
TEST_F(SyncMachine, SelectedServerNameIsBounded)
{
    struct Row { size_t length; size_t expected; } rows[] = {{0, 0}, {256, 256}, {300, 256}, {5000, 256}};
    for (const Row &row : rows) {
        std::string name(row.length, 'n');
        SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)name.c_str());
        SendMessageA(ServerCombo, CB_SETCURSEL, 0, 0);
        EXPECT_EQ(name.substr(0, row.expected), SelectedServerName()) << row.length;
    }
    SendMessageA(ServerCombo, CB_SETCURSEL, (WPARAM)-1, 0);
    EXPECT_STREQ("", SelectedServerName());
}

// The run button in any waiting state starts a manual query: no one-minute rule, and no retry
// after a failure, whatever was left of the run.
TEST_F(SyncMachine, RunButtonInEveryWaitingStateStartsAManualQuery)
{
    for (SyncState state : {StartDelay, RetryDelay, ClosePending, LeapWait}) {
        ResetMachine(StandardStyle);
        RetriesLeft = 5;
        EnterState(state);
        Dispatch(SyncButton);
        std::vector<CallRecord> starts = CallsOf("start");
        ASSERT_EQ(1u, starts.size()) << state;
        EXPECT_EQ(0, starts[0].automatic) << state;
        EXPECT_EQ(Querying, CurrentState) << state;
        EXPECT_EQ(0, RetriesLeft) << state;
        ReplyFailed("エラー：受信タイムアウト発生");
        EXPECT_EQ(Idle, CurrentState) << state;
        RunTicks(100);
        EXPECT_EQ(1u, CallsOf("start").size()) << state;
    }
}

static size_t WantedStarts;
static bool StartsReached(void) { return CallsOf("start").size() >= WantedStarts; }

// A query from LeapWait belongs to the start-up run: when it fails it has only the retries the
// run left over.
TEST_F(SyncMachine, FailingRequeryFromLeapWaitUsesTheRetriesLeftOver)
{
    Settings.RetryMax = 3;
    Settings.WaitLeap = 1;
    SetFakeUtc(2026, 12, 31, 23, 0, 0);
    BeginStartDelay();
    RunTicksUntil(10, Started);
    ReplyFailed("エラー：受信タイムアウト発生");
    WantedStarts = 2;
    RunTicksUntil(100, StartsReached);
    ReplyLeap(0);
    ASSERT_EQ(LeapWait, CurrentState);
    ASSERT_EQ(2, RetriesLeft);
    for (size_t attempt = 3; attempt <= 5; ++attempt) {
        WantedStarts = attempt;
        RunTicksUntil(240 * 70, StartsReached);
        ASSERT_EQ(attempt, CallsOf("start").size());
        ReplyFailed("エラー：受信タイムアウト発生");
        if (attempt == 3) {
            EXPECT_STREQ("エラー：受信タイムアウト発生 あと2回ﾘﾄﾗｲします。", StatusText);
        }
    }
    EXPECT_EQ(Idle, CurrentState);
    RunTicks(200);
    EXPECT_EQ(5u, CallsOf("start").size());
}
