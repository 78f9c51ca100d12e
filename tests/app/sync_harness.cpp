// The clock window (the program's procedure over stand-in controls) and the scripted services
// behind the synchronisation machine tests; display, layout handles and settings are the program's.
#include "app/sync_harness.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "app/clock_window.h"
#include "base/program.h"
#include "app/clock_tick.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/layout.h"
#include "resource.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

ScriptedExchange Scripted;
std::vector<CallRecord> Calls;
int TestTicks;
void (*SheetScript)(void);

static uint64_t FakeUtc;   // FILETIME units

static void Record(const char *what, const std::string &server, int automatic)
{
    Calls.push_back(CallRecord{what, server, automatic, TestTicks});
}

static void SetMessage(const char *text)
{
    snprintf(ExchangeRecord.ResultMessage, sizeof ExchangeRecord.ResultMessage, "%s", text);
}

// What the exchange layer does on a start, as far as the machine can see it.
static int FakeStartExchange(const char *serverName, int applyRetryRule)
{
    Record("start", serverName, applyRetryRule);
    SetMessage("");
    ExchangeRecord.ExchangeFailed = 0;
    LeapNoticeSeconds = 0;
    LeapAnnounced = 0;
    if (Scripted.startResult != 0 || serverName[0] == '\0') {
        SetMessage(serverName[0] ? Scripted.startFailure : "エラー:サーバーを設定してください。");
        ExchangeRecord.ExchangeFailed = 1;
        return -1;
    }
    Scripted.inFlight = 1;
    Scripted.ticksInFlight = 0;
    return 0;
}

static int FakeSendRequest(void)
{
    return 0;
}

static int FakeExchangeTick(void)
{
    if (!Scripted.inFlight || Scripted.timeoutAfterTicks == 0)
        return 0;
    if (++Scripted.ticksInFlight <= Scripted.timeoutAfterTicks)
        return 0;
    Scripted.inFlight = 0;
    SetMessage("エラー：受信タイムアウト発生");
    ExchangeRecord.ExchangeFailed = 1;
    return 1;
}

static void FakeCloseExchange(void)
{
    Record("close", "", 0);
    Scripted.inFlight = 0;
}

static void FakeCancelExchange(void)
{
    Record("cancel", "", 0);
    Scripted.inFlight = 0;
    SetMessage("処理を中止しました。");
}

static void FakeRunPropertySheet(void)
{
    Record("sheet", "", CurrentState);
    if (SheetScript)
        SheetScript();
}

static const char *FakeTestServerName(void)
{
    return "tested";
}

static void FakeSetTestControlsEnabled(int enable)
{
    Record("testctl", enable ? "1" : "0", 0);
}

static void WINAPI FakeReadUtc(LPSYSTEMTIME time)
{
    *time = FileTime64ToSystemTime(FakeUtc);
}

// The program's own window procedure. The machine's tests keep one window for all their cases,
// so a close request is only noted here; the closing steps have tests of their own.
static LRESULT CALLBACK TestClockProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        Record("WM_CLOSE", "", 0);
        return 0;
    }
    return ClockWindowProc(window, message, wParam, lParam);
}

static HWND TestWindow;

static HWND Child(const char *className, const char *text, DWORD style, int id)
{
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 24,
                           TestWindow, (HMENU)(INT_PTR)id, ProgramInstance, NULL);
}

void CreateTestClockWindow(void)
{
    if (TestWindow)
        return;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    ProgramInstance = GetModuleHandleA(NULL);
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = TestClockProc;
    windowClass.hInstance = ProgramInstance;
    windowClass.lpszClassName = "SyncMachineTestClock";
    RegisterClassA(&windowClass);
    TestWindow = CreateWindowExA(0, "SyncMachineTestClock", "vellmarin", WS_OVERLAPPEDWINDOW, 0, 0,
                                 320, 120, NULL, NULL, ProgramInstance, NULL);
    ClockWindow = TestWindow;
    // The tests tick the machine themselves, and read every control in both looks: the layout's
    // slots get plain controls of every kind instead of one look's.
    KillTimer(TestWindow, 1);
    TearDownClockLayout();
    TimeField = Child("STATIC", "", 0, IDC_TIME_FIELD);
    StatusField = Child("STATIC", "", 0, IDC_STATUS_FIELD);
    DisplayField = Child("STATIC", "", 0, IDC_DISPLAY_FIELD);
    OptionsButton = Child("BUTTON", "設定", 0, IDC_OPTIONS_BUTTON);
    RunButton = Child("BUTTON", "実行", 0, IDC_RUN_BUTTON);
    CloseButton = Child("BUTTON", "r", 0, IDC_CLOSE_BUTTON);
    ServerSwitchButton = Child("BUTTON", "1", 0, IDC_SWITCH_BUTTON);
    MinimizeButton = Child("BUTTON", "r", 0, IDC_MINIMIZE_BUTTON);
    ServerCombo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST,
                                  0, 0, 176, 120, TestWindow, (HMENU)IDC_SERVER_COMBO,
                                  ProgramInstance, NULL);
    ToolTipWindow = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, TestWindow, NULL,
                                    ProgramInstance, NULL);
    TOOLINFOA tool;
    ZeroMemory(&tool, sizeof tool);
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = RunButton;
    tool.uId = IDC_RUN_BUTTON;
    GetClientRect(RunButton, &tool.rect);
    tool.hinst = ProgramInstance;
    tool.lpszText = (LPSTR) "時刻合わせ";
    SendMessageA(ToolTipWindow, TTM_ADDTOOLA, 0, (LPARAM)&tool);
}

void FillServers(int count, int selected)
{
    SendMessageA(ServerCombo, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char name[8];
        snprintf(name, sizeof name, "s%d", i);
        SendMessageA(ServerCombo, CB_ADDSTRING, 0, (LPARAM)name);
    }
    SendMessageA(ServerCombo, CB_SETCURSEL, (WPARAM)selected, 0);
}

void SetFakeUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    FakeUtc = CalendarToFileTime(year, month, day, hour, minute, second, 0);
}

void ResetMachine(int formStyle)
{
    ClockWindow = TestWindow;
    if (IsIconic(TestWindow))
        ShowWindow(TestWindow, SW_RESTORE);
    ZeroMemory(&Settings, sizeof Settings);
    Settings.StartupWait = 1;
    Settings.RetryWait = 5;
    Settings.RetryMax = 10;
    Settings.FormStyle = formStyle;
    Settings.Hour24 = 1;
    Settings.DispLeap = 1;
    SyncServices.startExchange = FakeStartExchange;
    SyncServices.sendRequest = FakeSendRequest;
    SyncServices.exchangeTick = FakeExchangeTick;
    SyncServices.closeExchange = FakeCloseExchange;
    SyncServices.cancelExchange = FakeCancelExchange;
    SyncServices.runPropertySheet = FakeRunPropertySheet;
    SyncServices.testServerName = FakeTestServerName;
    SyncServices.setTestControlsEnabled = FakeSetTestControlsEnabled;
    SyncServices.readUtcTime = FakeReadUtc;
    Scripted = ScriptedExchange{0, "エラー：送信失敗", 0, 0, 0};
    SheetScript = nullptr;
    SetMessage(VersionText);
    ExchangeRecord.ExchangeFailed = 0;
    LeapAnnounced = LeapAtMidnight = LeapNoticeSeconds = LeapRecheckTicks = 0;
    ZeroMemory(&LeapDate, sizeof LeapDate);
    StatusHold = 0;
    SetStatusText("");
    FillServers(3, 0);
    SetControlsEnabled(1);
    SetFakeUtc(2026, 12, 7, 3, 0, 0);
    EnterState(Idle);
    Calls.clear();
    TestTicks = 0;
}

void RunTicks(int count)
{
    for (int i = 0; i < count; ++i) {
        ++TestTicks;
        FakeUtc += 250 * 10000ULL;
        ClockTimerFired(NULL);
    }
}

int RunTicksUntil(int limit, bool (*done)(void))
{
    for (int i = 0; i < limit; ++i) {
        RunTicks(1);
        if (done())
            return i + 1;
    }
    return limit;
}

static void Reply(int failed, const char *message)
{
    Scripted.inFlight = 0;
    ExchangeRecord.ExchangeFailed = failed;
    SetMessage(message);
    Dispatch(ExchangeDone);
}

void ReplyOk(const char *message)
{
    Reply(0, message);
}

void ReplyFailed(const char *message)
{
    Reply(1, message);
}

// What a reply announcing a leap second leaves behind for the machine and the display.
void ReplyLeap(int atMidnight)
{
    LeapAnnounced = 1;
    LeapAtMidnight = atMidnight;
    FakeReadUtc(&LeapDate);
    LeapNoticeSeconds = 30;
    LeapRecheckTicks = 240;
    Reply(0, "時計を修正しました。");
}

std::vector<CallRecord> CallsOf(const char *what)
{
    std::vector<CallRecord> found;
    for (const CallRecord &call : Calls)
        if (call.what == what)
            found.push_back(call);
    return found;
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void PumpMessages(void)
{
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
