// The `/sync <server>` instance: an exchange driven by a message-only window that is never shown,
// the clock set by the usual reply evaluation, the outcome as an exit code and a result block.
#include "app/sync_command.h"

#include <string.h>

#include "base/command_result.h"
#include "base/exit_codes.h"
#include "base/program.h"
#include "base/wide_text.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"

enum { SyncTimerId = 1, TickMs = 250 };
static const WCHAR SyncClassName[] = L"vellmarin sync";

static int ExchangeEnded = 0;

static void OnExchangeResult(int result)
{
    if (result == 1)
        ExchangeEnded = 1;
}

static LRESULT CALLBACK SyncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        TickCounter += 1;
        OnExchangeResult(ExchangeTick());
        return 0;
    case WM_HOST_RESOLVED: OnExchangeResult(OnHostResolved(wParam, lParam)); return 0;
    case WM_REPLY_RECEIVED: OnExchangeResult(OnReplyReceived(wParam, lParam)); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A failed network start-up is reported in the result, never in a box.
static int WINAPI NoBox(HWND, LPCSTR, LPCSTR, UINT)
{
    return IDOK;
}

// One exchange with the server; a time-out or failed send on one of a name's addresses goes on
// to its next one, as the starting instance's retries do (which may be what reached it), so a
// broken IPv6 path does not fail the correction the user just allowed. No retry beyond that.
static int RunExchange(const char *server)
{
    for (int reuse = 0;; reuse = 1) {
        ExchangeEnded = 0;
        // The one-minute table is empty here: the rule only lets the name's addresses be reused.
        if (StartExchange(server, reuse) == 0 && SendPreparedRequest() == 0) {
            SetTimer(ClockWindow, SyncTimerId, TickMs, NULL);
            MSG message;
            while (!ExchangeEnded && GetMessageW(&message, NULL, 0, 0) > 0)
                DispatchMessageW(&message);
            KillTimer(ClockWindow, SyncTimerId);
        }
        if (!ExchangeRecord.ExchangeFailed || !NameHasAddressesLeft(server))
            return ExchangeEnded && !ExchangeRecord.ExchangeFailed ? 0 : -1;
    }
}

// The servers this instance may ask for a second opinion: the INI's list beside the exe after
// the command line's server (the whole list when it is not listed), in turn. Nothing the starting
// instance measured or holds counts: a standard user's copy of it may have any limit and any list.
static ServerName OpinionServers[ServerListMax];
static int OpinionCount;

static int ListOpinionServers(const char *server)
{
    static ServerName listed[ServerListMax];
    int count = ReadServerList(listed, ServerListMax);
    int after = -1;
    for (int i = 0; i < count && after < 0; ++i) {
        if (strcmp(listed[i], server) == 0)
            after = i;
    }
    OpinionCount = 0;
    for (int k = 1; k <= count; ++k) {
        int index = (after + k) % count;
        if (index != after)
            memcpy(OpinionServers[OpinionCount++], listed[index], sizeof(ServerName));
    }
    return OpinionCount;
}

// A step above ConfirmStep is set only when a second server agrees, under the window's rule: the
// command line's server is the first of at most four, and the list's next ones are asked in turn
// until the rule decides (one that fails counts as asked). 0 when the last reply was evaluated
// and let through, -1 when the step was refused or an exchange failed (ResultMessage says which).
static int AskOpinions(int exchanged)
{
    while (StepCheckPending()) {
        int next = StepServersAsked() - 1;
        const char *server = next >= 0 && next < OpinionCount ? OpinionServers[next] : NULL;
        if (server && RunExchange(server) == 0) {
            exchanged = 0;
            continue;
        }
        // Its reply was weighed and refused the step: the refusal is already recorded.
        if (!StepCheckPending())
            return -1;
        if (!server || StepCheckFailed(server) != StepAskNext) {
            RefuseLargeStep();
            ExchangeRecord.ExchangeFailed = 1;
            return -1;
        }
    }
    return exchanged;
}

// The exit code of an evaluated reply: the setting's outcome, or nothing to set below MinAdjust.
static int EvaluatedOutcome(void)
{
    if (CorrectionFailed)
        return ExitClockNotSet;
    return OffsetReachesMinAdjust(ClockOffset) ? ExitClockSet : ExitBelowMinAdjust;
}

int RunSyncCommand(const char *server)
{
    ComputeProgramPaths();
    LoadSettings();
    // Only the exchange's own settings count (and ConfirmStep with the list, for a large step):
    // this instance writes no log, announces nothing and asks for no elevation.
    Settings.SaveLog = 0;
    Settings.SaveEventLog = 0;
    Settings.DispLeap = 0;
    Settings.Elevate = 0;
    NetworkErrorBox = NoBox;

    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = SyncWindowProc;
    windowClass.hInstance = ProgramInstance;
    windowClass.lpszClassName = SyncClassName;
    RegisterClassW(&windowClass);
    ClockWindow = CreateWindowExW(0, SyncClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  ProgramInstance, NULL);

    CommandResult result;
    ZeroMemory(&result, sizeof result);
    result.exitCode = ExitExchangeFailed;
    if (ClockWindow) {
        StartNetwork();
        StartStepCheck(ListOpinionServers(server) + 1);
        if (AskOpinions(RunExchange(server)) == 0) {
            result.exitCode = EvaluatedOutcome();
            result.offset = ClockOffset;
            result.offsetKnown = 1;
            result.windowsError = CorrectionFailed ? CorrectionError : 0;
        }
        StopNetwork();
        CopyWholeCharacters(result.message, sizeof result.message, ExchangeRecord.ResultMessage);
        DestroyWindow(ClockWindow);
        ClockWindow = NULL;
    } else {
        result.windowsError = GetLastError();
    }
    WriteCommandResult(&result);
    return result.exitCode;
}
