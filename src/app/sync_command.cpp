// The `/sync <server>` instance: an exchange driven by a message-only window that is never shown,
// the clock set by the usual reply evaluation, the outcome as an exit code and a result block.
#include "app/sync_command.h"


#include "base/command_result.h"
#include "base/exit_codes.h"
#include "base/program.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"

enum { SyncTimerId = 1, TickMs = 250 };
static const char SyncClassName[] = "vellmarin sync";

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
    return DefWindowProcA(window, message, wParam, lParam);
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
            while (!ExchangeEnded && GetMessageA(&message, NULL, 0, 0) > 0)
                DispatchMessageA(&message);
            KillTimer(ClockWindow, SyncTimerId);
        }
        if (!ExchangeRecord.ExchangeFailed || !NameHasAddressesLeft(server))
            return ExchangeEnded && !ExchangeRecord.ExchangeFailed ? 0 : -1;
    }
}

// A large step is set only when the starting instance measured the same within a second: it left
// its offset in the result block before this instance started. Started by hand there is none, and
// a step above ConfirmStep is refused, as a list of one server refuses it.
static void PrepareStepCheck(void)
{
    int64_t starter = 0;
    if (!ReadStarterOffset(&starter) || !StepNeedsSecondOpinion(starter)) {
        StartStepCheck(1);
        return;
    }
    StartStepCheck(2);
    struct sockaddr_storage none;
    ZeroMemory(&none, sizeof none);
    WeighStep(starter, &none, "");
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
    // Only the exchange's own settings count: this instance writes no log, announces nothing and
    // asks no other server.
    Settings.SaveLog = 0;
    Settings.SaveEventLog = 0;
    Settings.DispLeap = 0;
    Settings.Elevate = 0;
    NetworkErrorBox = NoBox;

    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = SyncWindowProc;
    windowClass.hInstance = ProgramInstance;
    windowClass.lpszClassName = SyncClassName;
    RegisterClassA(&windowClass);
    ClockWindow = CreateWindowExA(0, SyncClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  ProgramInstance, NULL);

    CommandResult result;
    ZeroMemory(&result, sizeof result);
    result.exitCode = ExitExchangeFailed;
    if (ClockWindow) {
        StartNetwork();
        PrepareStepCheck();
        if (RunExchange(server) == 0) {
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
