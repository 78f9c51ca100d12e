// Elevation on demand for one correction: the decision, the elevated `/sync` instance started
// through "runas", its end polled by the clock's ticks, and its result in the usual texts.
#include "app/elevation_wait.h"

#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/command_line.h"
#include "base/command_result.h"
#include "base/elevation.h"
#include "base/exit_codes.h"
#include "base/wide_text.h"
#include "base/settings.h"
#include "logs/correction_log.h"
#include "sntp/exchange_record.h"
#include "sntp/reply.h"

enum { ParametersSize = ServerNameMax + 16, OutcomeSize = 400 };

int ElevationAsked = 0;

static HANDLE ElevatedProcess = NULL;
static uint32_t WaitSerial = 0;
// What this instance measured itself: reported when the elevated one brings no measurement.
static char OwnErrorText[ClockErrorTextSize];
static int64_t OwnOffset = 0;

int ShouldAskElevation(DWORD error, int elevated, int elevateSetting, int alreadyAsked)
{
    return error == ERROR_PRIVILEGE_NOT_HELD && !elevated && elevateSetting && !alreadyAsked;
}

int ElevationWanted(DWORD error)
{
    if (error != ERROR_PRIVILEGE_NOT_HELD)
        return 0;
    const char *server = ExchangeRecord.serverName;
    return ShouldAskElevation(error, QueryProcessElevated(), Settings.Elevate, ElevationAsked) &&
           server && IsSyncServerForm(server);
}

static void ReleaseElevatedProcess(void)
{
    if (ElevatedProcess) {
        CloseHandle(ElevatedProcess);
        ElevatedProcess = NULL;
    }
    CloseCommandResult();
}

static void LogCorrection(void)
{
    if (Settings.SaveLog)
        AppendCorrectionLog(ClockErrorText);
}

// Declined, or impossible: why it was impossible is Windows' own text. Without a result block of
// its own nobody was asked, so the setting simply failed.
static void ReportNotStarted(DWORD error, int blockFailed)
{
    CloseCommandResult();
    char reason[256] = "";
    if (error != ERROR_CANCELLED)
        WindowsErrorText(error, reason, sizeof reason);
    const char *format = blockFailed ? "時計を変更できませんでした。誤差は %s 秒です。%s%s"
                                     : "管理者の許可がないため時計を変更できませんでした。誤差は %s 秒です。%s%s";
    char message[OutcomeSize];
    snprintf(message, sizeof message, format, ClockErrorText, reason[0] ? " " : "", reason);
    SetResultMessage(message);
}

// ShellExecuteEx returns only when the user has answered the prompt, however long it stands: it
// runs on a thread of its own, so the clock keeps ticking meanwhile. The thread hands its work to
// the window with WM_ELEVATION_STARTED; a work item the window cannot take is released here.
struct PromptWork {
    HWND owner;
    uint32_t serial;
    char parameters[ParametersSize];
    HANDLE process;
    DWORD error;
};

static DWORD WINAPI PromptThread(LPVOID argument)
{
    PromptWork *work = (PromptWork *)argument;
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    work->process = StartElevatedSelf(work->owner, work->parameters, &work->error);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (!PostMessageW(work->owner, WM_ELEVATION_STARTED, (WPARAM)work->serial, (LPARAM)work)) {
        if (work->process)
            CloseHandle(work->process);
        free(work);
    }
    return 0;
}

static int PromptPending = 0;       // the thread of the current wait has not answered yet
static int NotStarted = 0;          // it answered: declined or impossible, for the next tick
static DWORD NotStartedError = 0;

int StartElevatedSync(HWND owner)
{
    ElevationAsked = 1;
    snprintf(OwnErrorText, sizeof OwnErrorText, "%s", ClockErrorText);
    OwnOffset = ClockOffset;
    ReleaseElevatedProcess();
    PromptPending = NotStarted = 0;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    // Without a result block of its own the wait would learn no more than an exit code, or what
    // another process put there: no prompt then.
    PromptWork *work = NULL;
    int blockFailed = OpenCommandResult() != 0;
    if (blockFailed)
        error = GetLastError();
    else
        work = (PromptWork *)calloc(1, sizeof *work);
    if (work) {
        work->owner = owner;
        work->serial = ++WaitSerial;
        snprintf(work->parameters, sizeof work->parameters, "/sync \"%s\"",
                 ExchangeRecord.serverName);
        HANDLE thread = CreateThread(NULL, 0, PromptThread, work, 0, NULL);
        if (thread) {
            CloseHandle(thread);
            PromptPending = 1;
            return 0;
        }
        error = GetLastError();
        free(work);
    }
    ReportNotStarted(error, blockFailed);
    LogCorrection();
    return -1;
}

int OnElevationStarted(WPARAM serial, LPARAM item)
{
    PromptWork *work = (PromptWork *)item;
    HANDLE process = work->process;
    DWORD error = work->error;
    free(work);
    if ((uint32_t)serial != WaitSerial || !PromptPending) {
        // Abandoned meanwhile: whatever the elevated instance does is never shown.
        if (process)
            CloseHandle(process);
        return -1;
    }
    PromptPending = 0;
    if (process) {
        ElevatedProcess = process;
    } else {
        NotStarted = 1;
        NotStartedError = error;
    }
    return 0;
}

// The result message, the display's offset and the flags from the elevated instance's outcome.
static void ReportOutcome(DWORD exitCode, const CommandResult *result)
{
    char message[OutcomeSize];
    char reason[256] = "";
    const char *format = "時計を変更できませんでした。誤差は %s 秒です。%s%s";
    if (result->offsetKnown) {
        ClockOffset = result->offset;
        BuildClockErrorText(result->offset);
    }
    CorrectionFailed = 1;
    switch (exitCode) {
    case ExitClockSet:
        format = "%s 秒の誤差を補正しました。%s%s";
        CorrectionFailed = 0;
        break;
    case ExitBelowMinAdjust:
        format = "時計の誤差は %s 秒です。%s%s";
        CorrectionFailed = 0;
        break;
    case ExitClockNotSet:
        WindowsErrorText(result->windowsError, reason, sizeof reason);
        break;
    case ExitExchangeFailed:
        // The elevated instance's own exchange failed: its message says how.
        CopyWholeCharacters(reason, sizeof reason, result->message);
        ExchangeRecord.ExchangeFailed = 1;
        break;
    }
    snprintf(message, sizeof message, format, ClockErrorText, reason[0] ? " " : "", reason);
    SetResultMessage(message);
}

int CollectElevatedSync(void)
{
    if (NotStarted) {
        NotStarted = 0;
        ReportNotStarted(NotStartedError, 0);
        uint32_t serial = ++WaitSerial;
        LogCorrection();
        return serial == WaitSerial ? 1 : -2;
    }
    if (!ElevatedProcess || WaitForSingleObject(ElevatedProcess, 0) == WAIT_TIMEOUT)
        return 0;
    DWORD exitCode = ExitExchangeFailed;
    if (!GetExitCodeProcess(ElevatedProcess, &exitCode))
        exitCode = ExitExchangeFailed;
    CommandResult result;
    snprintf(ClockErrorText, sizeof ClockErrorText, "%s", OwnErrorText);
    ClockOffset = OwnOffset;
    // A block that does not match the exit code (or none: the instance ended early) brings
    // nothing but the exit code; the measurement is then this instance's own.
    if (!ReadCommandResult(&result, GetProcessId(ElevatedProcess)) ||
        (DWORD)result.exitCode != exitCode) {
        ZeroMemory(&result, sizeof result);
        // Without the block only 0 and 1 say enough; any other end is a failed setting.
        if (exitCode != ExitClockSet && exitCode != ExitBelowMinAdjust)
            exitCode = ExitBadCommandLine;
    }
    ReleaseElevatedProcess();
    ReportOutcome(exitCode, &result);
    // A log's warning box runs a message loop: the user may abandon the wait meanwhile.
    uint32_t serial = ++WaitSerial;
    LogCorrection();
    return serial == WaitSerial ? 1 : -2;
}

void AbandonElevatedSync(void)
{
    WaitSerial += 1;
    PromptPending = NotStarted = 0;
    ReleaseElevatedProcess();
}
