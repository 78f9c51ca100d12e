// The synchronisation state machine: start-up delay, queries, retries with rotation, server tests,
// leap-second waits, the queries after a wake and at an interval, and closing itself, as one table
// of handlers indexed by state and event.
#include "app/sync_machine.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/elevation_wait.h"
#include "app/opinion_walk.h"
#include "base/program.h"
#include "base/wide_text.h"
#include "resource.h"
#include "clockwin/display.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "base/settings.h"
#include "sheet/property_sheet.h"
#include "sheet/server_page.h"
#include "sntp/exchange.h"
#include "sntp/kiss_memory.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"

SyncState CurrentState = Idle;
uint32_t StateTicks = 0;
int32_t RetriesLeft = 0;
int LeapWaitAnnounce = 0;

SyncServicesRecord SyncServices = {
    StartExchange,    SendPreparedRequest, ExchangeTick,           CloseExchange,
    CancelExchange,   RunPropertySheet,    TestServerName,         SetTestControlsEnabled,
    GetSystemTime,
};

static char SelectedName[ServerNameMax + 1];
// The exchange keeps a pointer to its server name for as long as it runs, so the name gets a
// buffer of its own that nothing else rewrites meanwhile.
static char QueryServerName[ServerNameMax + 1];
// The query's exchange whose failed correction was handed over to an elevated instance; 0 none.
static uint32_t ElevationOfferedFor = 0;
// The one-minute rule of the attempt under way, for the servers asked for a second opinion.
static int AttemptAppliesRule;
// Ticks since a query last ran (held at 0 while one runs): the interval counts on the tick, so a
// step of the clock neither brings it forward nor holds it back.
static uint32_t TicksSinceQuery = 0;

static const char MainTitle[] = "vellmarin";
static const char LeapWaitTitle[] = "vellmarin - うるう秒補正待ち";
static const char RunToolText[] = "時刻合わせ";
static const char StopToolText[] = "中止";

enum { TicksPerSecond = 1000 / 250, CloseTicksStandard = 12, CloseTicksBar = 24 };

static void CopyBounded(char *out, size_t size, const char *text)
{
    snprintf(out, size, "%s", text ? text : "");
}

// "<message> あと<n>回ﾘﾄﾗｲします。" cut to the status line's size; the message gives way so the
// retry count stays readable.
static void ComposeRetryText(char *out, size_t size, const char *message, int count)
{
    char suffix[64];
    snprintf(suffix, sizeof suffix, " あと%d回ﾘﾄﾗｲします。", count);
    size_t suffixLength = strlen(suffix);
    size_t room = size - 1 > suffixLength ? size - 1 - suffixLength : 0;
    size_t kept = WholeCharacterLength(message, room);
    memcpy(out, message, kept);
    snprintf(out + kept, size - kept, "%s", suffix);
}

void EnterState(SyncState state)
{
    StateTicks = 0;
    CurrentState = state;
    if (ClockWindow)
        SetWindowText932(ClockWindow, state == LeapWait ? LeapWaitTitle : MainTitle);
}

// A new automatic run: all its retries, from the server the user selected.
static void BeginRun(void)
{
    RetriesLeft = Settings.RetryMax;
    TakeKissMovesOn();
}

void BeginStartDelay(void)
{
    BeginRun();
    EnterState(StartDelay);
}

static int ServerCount(void)
{
    LRESULT count = ServerCombo ? SendMessageW(ServerCombo, CB_GETCOUNT, 0, 0) : 0;
    return count == CB_ERR || count < 0 ? 0 : (int)count;
}

// The list's entry at index, in the buffer SelectedServerName also uses.
static const char *ServerNameAt(LRESULT index)
{
    SelectedName[0] = '\0';
    if (!ServerCombo || index == CB_ERR || index < 0)
        return SelectedName;
    // Fetched whole, then cut to what a list entry may be.
    char *whole = CopyComboEntry(ServerCombo, (WPARAM)index);
    if (!whole)
        return SelectedName;
    CopyBounded(SelectedName, sizeof SelectedName, whole);
    free(whole);
    return SelectedName;
}

const char *SelectedServerName(void)
{
    return ServerNameAt(ServerCombo ? SendMessageW(ServerCombo, CB_GETCURSEL, 0, 0) : CB_ERR);
}

static int AllServersRefused(void)
{
    int count = ServerCount();
    for (int i = 0; i < count; ++i) {
        if (!ServerRefused(ServerNameAt(i)))
            return 0;
    }
    return count > 0;
}

// The selected server, or the next one of the list no kiss refused in this start, selected. Null
// when every one was refused: the result message then says so.
static const char *ServerNotRefused(void)
{
    const char *code = ServerRefused(SelectedServerName());
    if (code == NULL)
        return SelectedName;
    char message[KissMessageSize];
    KissRefusalText(code, message, sizeof message);
    for (int tried = 1; tried < ServerCount(); ++tried) {
        SelectNextServer();
        if (ServerRefused(SelectedServerName()) == NULL)
            return SelectedName;
    }
    SetResultMessage(message);
    ExchangeRecord.ExchangeFailed = 1;
    return NULL;
}

void SelectNextServer(void)
{
    if (!ServerCombo)
        return;
    LRESULT index = SendMessageW(ServerCombo, CB_GETCURSEL, 0, 0);
    LRESULT count = SendMessageW(ServerCombo, CB_GETCOUNT, 0, 0);
    if (index == CB_ERR || index < 0)
        index = 0;
    index += 1;
    if (count == CB_ERR || index >= count)
        index = 0;
    SendMessageW(ServerCombo, CB_SETCURSEL, (WPARAM)index, 0);
}

void UpdateToolTipText(const char *text)
{
    if (!ToolTipWindow || !RunButton)
        return;
    SendMessageW(ToolTipWindow, TTM_ACTIVATE, FALSE, 0);
    WCHAR wide[64];
    TTTOOLINFOW tool = ToolDescription(RunButton, TextToWide(text, wide, 64), IDC_RUN_BUTTON);
    SendMessageW(ToolTipWindow, TTM_UPDATETIPTEXTW, 0, (LPARAM)&tool);
    SendMessageW(ToolTipWindow, TTM_ACTIVATE, TRUE, 0);
}

void SetControlsEnabled(int enable)
{
    BOOL on = enable ? TRUE : FALSE;
    if (ServerCombo)
        EnableWindow(ServerCombo, on);
    if (OptionsButton)
        EnableWindow(OptionsButton, on);
    if (Settings.FormStyle == StandardStyle) {
        if (RunButton)
            SetWindowText932(RunButton, enable ? "実行" : "中止");
    } else {
        if (CloseButton)
            EnableWindow(CloseButton, on);
        if (ServerSwitchButton)
            EnableWindow(ServerSwitchButton, on);
        if (MinimizeButton)
            EnableWindow(MinimizeButton, on);
        if (RunButton)
            SetDrawnButtonGlyph(RunButton, enable ? GlyphRun : GlyphStop);
    }
    UpdateToolTipText(enable ? RunToolText : StopToolText);
}

void ShowControlsForState(void)
{
    if (CurrentState == Querying || CurrentState == TestQuerying || CurrentState == ElevationWait)
        SetControlsEnabled(0);
}

// The clock window's controls, and for a server test the server page's too.
static void EnableQueryControls(int enable, SyncState state)
{
    SetControlsEnabled(enable);
    if (state == TestQuerying)
        SyncServices.setTestControlsEnabled(enable);
}

void ShowQueryStatus(void)
{
    char address[AddressTextSize], text[StatusTextSize];
    AskedAddressText(address, sizeof address);
    snprintf(text, sizeof text, "%s%s%s",
             StepCheckPending() ? "別のサーバーで確認中..." : "サーバーとの通信中...",
             address[0] ? " " : "", address);
    SetStatusText(text);
}

// A query for a second opinion belongs to the step check under way; any other begins one afresh.
static int BeginQuery(const char *serverName, int applyRetryRule, SyncState state, int forOpinion)
{
    CopyBounded(QueryServerName, sizeof QueryServerName, serverName);
    TicksSinceQuery = 0;        // one that ends at once ends now
    if (!forOpinion)
        StartStepCheck(state == TestQuerying ? 1 : ServerCount());
    if (SyncServices.startExchange(QueryServerName, applyRetryRule) != 0)
        return -1;
    StatusHold = -1;
    ShowQueryStatus();
    EnableQueryControls(0, state);
    EnterState(state);
    // The repaints these changes cause are done now, not while the reply waits.
    if (ClockWindow)
        RedrawWindow(ClockWindow, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (SyncServices.sendRequest() == 0)
        return 0;
    // The announcement is taken back, so every path that started the query shows why it ended.
    SetStatusText(ExchangeRecord.ResultMessage);
    EnableQueryControls(1, state);
    return -1;
}

int StartQuery(const char *serverName, int applyRetryRule, SyncState state)
{
    return BeginQuery(serverName, applyRetryRule, state, 0);
}

void ShowResult(void)
{
    StatusHold = 3;
    SetStatusText(ExchangeRecord.ResultMessage);
    SetControlsEnabled(1);
}

void FinishRun(void)
{
    StatusHold = 3;
    ShowStatusText();
    if (LeapAnnounced && Settings.WaitLeap) {
        LeapWaitAnnounce = 1;
        EnterState(LeapWait);
    } else if (Settings.AutoClose && (!ExchangeRecord.ExchangeFailed || Settings.ErrorClose)) {
        EnterState(ClosePending);
    } else {
        EnterState(Idle);
    }
}

void AfterFailure(void)
{
    ShowResult();
    if (RetriesLeft <= 0 || AllServersRefused()) {
        FinishRun();
        return;
    }
    char text[StatusTextSize];
    ComposeRetryText(text, sizeof text, ExchangeRecord.ResultMessage, RetriesLeft);
    StatusHold = -1;
    SetStatusText(text);
    RetriesLeft -= 1;
    EnterState(RetryDelay);
}

void AutomaticAttempt(void)
{
    AttemptAppliesRule = 1;
    const char *server = ServerNotRefused();
    if (server == NULL) {
        ShowResult();
        FinishRun();
        return;
    }
    if (StartQuery(server, 1, Querying) != 0)
        AfterFailure();
}

// The second opinion's walk sees the server list and asks through these.
static int SelectedIndex(void)
{
    LRESULT index = ServerCombo ? SendMessageW(ServerCombo, CB_GETCURSEL, 0, 0) : CB_ERR;
    return index == CB_ERR || index < 0 ? -1 : (int)index;
}

static const char *NameAtIndex(int index)
{
    return ServerNameAt(index);
}

static int AskForOpinion(const char *server)
{
    return BeginQuery(server, AttemptAppliesRule, Querying, 1);
}

static const OpinionListRecord OpinionList = {ServerCount, SelectedIndex, NameAtIndex, AskForOpinion};

// The step under way has no verdict yet: the next server is asked, or the refused step ends the
// attempt as failed.
static void AskNextOrRefuse(int failed)
{
    if (!AskNextOpinion(&OpinionList, QueryServerName, failed))
        AfterFailure();
}

// Handlers of the table.

static void ManualStart(void)
{
    RetriesLeft = 0;
    TakeKissMovesOn();
    AttemptAppliesRule = 0;
    const char *server = ServerNotRefused();
    if (server != NULL && StartQuery(server, 0, Querying) == 0)
        return;
    StatusHold = 3;
    SetStatusText(ExchangeRecord.ResultMessage);
    EnterState(Idle);
}

static void TestDone(void);

// The server page's test button is the sync button while the sheet is open.
static void PressSyncButton(void)
{
    Dispatch(SyncButton);
}

static void OpenSettings(void)
{
    LeapNoticeSeconds = 0;
    StatusHold = 0;
    ShowDateTime();
    EnterState(SettingsOpen);
    ServerTestRequested = PressSyncButton;
    SyncServices.runPropertySheet();
    // The sheet can only close during a test if something forced it shut; the test must not
    // outlive it with the clock window's controls still locked.
    if (CurrentState == TestQuerying) {
        SyncServices.cancelExchange();
        TestDone();
    }
    ShowDateTime();
    EnterState(Idle);
}

static void StartDelayTick(void)
{
    StateTicks += 1;
    if ((int64_t)StateTicks >= (int64_t)Settings.StartupWait * TicksPerSecond)
        AutomaticAttempt();
}

static void QueryTick(void)
{
    if (SyncServices.exchangeTick() == 0)
        return;
    if (!StepCheckPending())
        AfterFailure();
    else if (!AskSameOpinionNextAddress(&OpinionList, QueryServerName))
        AskNextOrRefuse(1);
}

static void BeginElevationWait(void);

static void QueryDone(void)
{
    if (StepCheckPending()) {
        if (!(ExchangeRecord.ExchangeFailed && AskSameOpinionNextAddress(&OpinionList, QueryServerName)))
            AskNextOrRefuse(ExchangeRecord.ExchangeFailed);
        return;
    }
    if (ExchangeRecord.ExchangeFailed) {
        AfterFailure();
        return;
    }
    if (CorrectionFailed && ElevationOfferedFor == ExchangeRecord.serial) {
        BeginElevationWait();
        return;
    }
    ShowResult();
    FinishRun();
}

static void AbortQuery(void)
{
    SyncServices.closeExchange();
    ShowResult();
    StatusHold = 3;
    SetStatusText("処理を中止しました。");
    EnterState(Idle);
}

static void RetryDelayTick(void)
{
    StateTicks += 1;
    if ((int64_t)StateTicks >= (int64_t)Settings.RetryWait * TicksPerSecond) {
        // After a kiss the next attempt goes to the next server, rotation or not; with rotation,
        // once the selected name's addresses are used up.
        int addressesLeft = NameHasAddressesLeft(SelectedServerName());
        if (TakeKissMovesOn() || (Settings.RotateServer && !addressesLeft))
            SelectNextServer();
        AutomaticAttempt();
    }
}

static void CloseTick(void)
{
    StateTicks += 1;
    uint32_t due = Settings.FormStyle != StandardStyle ? CloseTicksBar : CloseTicksStandard;
    if (StateTicks >= due && LeapNoticeSeconds == 0 && ClockWindow)
        SendMessageW(ClockWindow, WM_CLOSE, 0, 0);
}

static void TestStart(void)
{
    const char *server = SyncServices.testServerName();
    // A server a kiss refused by name in this start is not asked, whatever address it has now.
    if (const char *code = ServerRefused(server)) {
        char message[KissMessageSize];
        KissRefusalText(code, message, sizeof message);
        ClearTestOutput();
        AppendTestLine("サーバー：%s", server);
        SetResultMessage(message);
        ExchangeRecord.ExchangeFailed = 1;
        StatusHold = 3;
        SetStatusText(message);
        EnterState(SettingsOpen);
        return;
    }
    if (StartQuery(server, 0, TestQuerying) == 0)
        return;
    StatusHold = 3;
    ShowStatusText();
    EnterState(SettingsOpen);
}

static void TestDone(void)
{
    ShowResult();
    SyncServices.setTestControlsEnabled(1);
    EnterState(SettingsOpen);
}

static void TestTick(void)
{
    if (SyncServices.exchangeTick() != 0)
        TestDone();
}

static void TestAbort(void)
{
    SyncServices.cancelExchange();
    TestDone();
}

static void LeapWaitTick(void)
{
    if (LeapWaitAnnounce && LeapNoticeSeconds == 0) {
        LeapWaitAnnounce = 0;
        SetStatusText("うるう秒補正まで待機しています");
        if (Settings.AutoClose && ClockWindow)
            ShowWindow(ClockWindow, SW_MINIMIZE);
    }
    if (LeapAtMidnight && LeapRecheckTicks == 0) {
        LeapAtMidnight = 0;
        AutomaticAttempt();
        return;
    }
    StateTicks += 1;
    if (StateTicks >= OneMinuteTicks) {
        StateTicks = 0;
        SYSTEMTIME now;
        SyncServices.readUtcTime(&now);
        if (now.wDay != LeapDate.wDay)
            AutomaticAttempt();
    }
}

int OfferElevation(DWORD error)
{
    ElevationOfferedFor = 0;
    if (CurrentState != Querying || !ElevationWanted(error))
        return 0;
    ElevationOfferedFor = ExchangeRecord.serial;
    return 1;
}

// The prompt is Windows' own; the controls stay held as during a query while the elevated
// instance runs. Declined or impossible, the run ends as after a failed correction.
static void BeginElevationWait(void)
{
    ElevationOfferedFor = 0;
    int started = StartElevatedSync(ClockWindow);
    // The prompt or a log's warning box may pump messages: the run may have been stopped meanwhile.
    if (CurrentState != Querying) {
        if (started == 0)
            AbandonElevatedSync();
        return;
    }
    if (started == 0) {
        EnterState(ElevationWait);
        return;
    }
    ShowResult();
    FinishRun();
}

static void ElevationWaitTick(void)
{
    if (CollectElevatedSync() != 1)
        return;
    ShowResult();
    FinishRun();
}

static void AbandonElevationWait(void)
{
    AbandonElevatedSync();
    SetControlsEnabled(1);
    StatusHold = 3;
    SetStatusText("処理を中止しました。");
    EnterState(Idle);
}

// After a wake the network needs a moment, as at start: the same wait, then a new run.
static void WakeStart(void)
{
    if (Settings.ResyncOnWake)
        BeginStartDelay();
}

// The window left open asks again once the interval has passed since the last query ended.
static void IntervalStart(void)
{
    BeginRun();
    AutomaticAttempt();
}

typedef void SyncHandler(void);

// What each event does in each state; null means the event is ignored there. A wake or an
// interval never disturbs a query, a test or a wait under way.
static SyncHandler *const SyncTable[SyncStateCount][SyncEventCount] = {
    //                  Tick            ExchangeDone  SyncButton   SettingsButton  Wake       Interval
    /* Idle         */ {nullptr,        nullptr,      ManualStart, OpenSettings,   WakeStart, IntervalStart},
    /* StartDelay   */ {StartDelayTick, nullptr,      ManualStart, OpenSettings,   nullptr,   nullptr},
    /* Querying     */ {QueryTick,      QueryDone,    AbortQuery,  nullptr,        nullptr,   nullptr},
    /* RetryDelay   */ {RetryDelayTick, nullptr,      ManualStart, OpenSettings,   nullptr,   nullptr},
    /* ClosePending */ {CloseTick,      nullptr,      ManualStart, OpenSettings,   WakeStart, nullptr},
    /* SettingsOpen */ {nullptr,        nullptr,      TestStart,   nullptr,        nullptr,   nullptr},
    /* TestQuerying */ {TestTick,       TestDone,     TestAbort,   nullptr,        nullptr,   nullptr},
    /* LeapWait     */ {LeapWaitTick,   nullptr,      ManualStart, OpenSettings,   nullptr,   nullptr},
    /* ElevationWait*/ {ElevationWaitTick, nullptr,   AbandonElevationWait, nullptr, nullptr, nullptr},
};

void Dispatch(SyncEvent event)
{
    if ((unsigned)CurrentState >= SyncStateCount || (unsigned)event >= SyncEventCount)
        return;
    SyncHandler *handler = SyncTable[CurrentState][event];
    if (handler)
        handler();
}

void MachineTick(void)
{
    int running = CurrentState == Querying || CurrentState == TestQuerying || CurrentState == ElevationWait;
    if (running)
        TicksSinceQuery = 0;
    else if (TicksSinceQuery < UINT32_MAX)
        TicksSinceQuery += 1;
    Dispatch(Tick);
    // The query ended somewhere in the tick before the count began: one tick more makes the whole
    // interval. Due until a query runs: one that fell while the sheet was open comes when it closes.
    if (Settings.ResyncMinutes > 0 && TicksSinceQuery > (uint32_t)Settings.ResyncMinutes * OneMinuteTicks)
        Dispatch(Interval);
}

void SystemResumed(void)
{
    // The one-minute rule counts ticks, which stopped while the computer slept: every server in
    // the record was asked before the sleep, however few ticks ago.
    ZeroMemory(RecentServers, sizeof RecentServers);
    Dispatch(Wake);
}

int DispatchExchangeResult(int result)
{
    if (result == 1)
        Dispatch(ExchangeDone);
    return result == 0 || result == 1;
}
