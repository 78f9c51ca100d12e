// The logon task box of the options page: registering or deleting the task needs an
// administrator, so an elevated instance of this exe does it while the sheet waits, responsive.
#include "sheet/logon_task_box.h"

#include <stdio.h>

#include "base/wide_text.h"
#include "base/command_result.h"
#include "base/elevation.h"
#include "base/exit_codes.h"
#include "base/logon_task.h"
#include "resource.h"

HANDLE (*SheetStartElevated)(HWND owner, const char *parameters, DWORD *error) = StartElevatedSelf;

enum { LongestWaitMs = 120000, NoteSize = 256 };

static const char PlaceNote[] = "Program Files に置くと登録できます。";
static const char AdministratorNote[] = "管理者のアカウントでのみ登録できます。";

static int TaskShown = 0;       // what the box showed when the page opened or after a change

static void SetNote(HWND page, const char *text)
{
    SetWindowText932(GetDlgItem(page, IDC_LOGON_TASK_NOTE), text);
}

// The box as the Task Scheduler has it; the reason why no task may be registered, or null.
static const char *ShowTaskState(HWND page)
{
    TaskShown = LogonTaskExists();
    CheckDlgButton(page, IDC_LOGON_TASK, TaskShown ? BST_CHECKED : BST_UNCHECKED);
    const char *refusal = NULL;
    if (!QueryUserIsAdministrator())
        refusal = AdministratorNote;
    else if (!ExeMayBeTaskTarget())
        refusal = PlaceNote;
    // A task that is there may always be deleted; a new one only points at an exe that
    // standard users cannot replace.
    EnableWindow(GetDlgItem(page, IDC_LOGON_TASK), !refusal || TaskShown);
    return refusal;
}

void ShowLogonTaskBox(HWND page)
{
    const char *refusal = ShowTaskState(page);
    SetNote(page, refusal ? refusal : "");
}

// Waits for the elevated instance while this thread's messages are dispatched, so the sheet
// paints and the clock keeps ticking; 1 when it ended.
static int WaitDispatching(HANDLE process)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - start;
        if (waited >= LongestWaitMs)
            return 0;
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, LongestWaitMs - waited,
                                                QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return 1;
        if (woken != WAIT_OBJECT_0 + 1)
            return 0;
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage((int)message.wParam);
                return 0;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// What the elevated instance reported, in the note's words; 1 when the change was made.
static int DescribeResult(const CommandResult *result, int registering, char *note, size_t size)
{
    const char *verb = registering ? "登録" : "削除";
    switch (result ? result->exitCode : -1) {
    case ExitClockSet:
        snprintf(note, size, "タスクを%sしました。", verb);
        return 1;
    case ExitTaskRefused: {
        char text[CommandMessageSize];
        snprintf(text, sizeof text, "%s", result->message);
        if (!text[0])
            WindowsErrorText(result->windowsError, text, sizeof text);
        snprintf(note, size, "タスクスケジューラが%sを拒否しました（0x%08lX %s）。", verb,
                 (unsigned long)result->windowsError, text);
        return 0;
    }
    case ExitNotInProgramFiles:
        snprintf(note, size, "この場所からは登録できません。%s", PlaceNote);
        return 0;
    default:
        snprintf(note, size, "タスクを%sできませんでした。", verb);
        return 0;
    }
}

// Starts the elevated instance and waits for its result block; 1 when the change was made.
static int ChangeTask(HWND page, int registering, char *note, size_t size)
{
    HWND sheet = GetParent(page);
    const char *verb = registering ? "登録" : "削除";
    // Only a block of its own can report; one someone else made first is not asked to.
    if (OpenCommandResult() != 0) {
        char text[CommandMessageSize];
        WindowsErrorText(GetLastError(), text, sizeof text);
        snprintf(note, size, "タスクを%sできませんでした。 %s", verb, text);
        return 0;
    }
    DWORD error = 0;
    HANDLE process = SheetStartElevated(sheet, registering ? "/register-task" : "/unregister-task",
                                        &error);
    if (!process) {
        CloseCommandResult();
        if (error == ERROR_CANCELLED) {
            snprintf(note, size, "管理者の許可がないためタスクを%sできませんでした。", verb);
        } else {
            char text[CommandMessageSize];
            WindowsErrorText(error, text, sizeof text);
            snprintf(note, size, "管理者として起動できませんでした（%lu %s）。",
                     (unsigned long)error, text);
        }
        return 0;
    }
    SetNote(page, registering ? "タスクを登録しています…" : "タスクを削除しています…");
    // Nothing on the sheet may end it while the instance works; the clock window still ticks.
    EnableWindow(sheet, FALSE);
    int ended = WaitDispatching(process);
    EnableWindow(sheet, TRUE);
    CommandResult result;
    DWORD code = 0;
    int exited = ended && GetExitCodeProcess(process, &code);
    // Only a block written by this instance, and saying what its exit code says, reports.
    int reported = ended && ReadCommandResult(&result, GetProcessId(process)) &&
                   (!exited || (DWORD)result.exitCode == code);
    if (exited && !reported && (code == ExitClockSet || code == ExitNotInProgramFiles)) {
        ZeroMemory(&result, sizeof result);
        result.exitCode = (int32_t)code;
        reported = 1;
    }
    CloseHandle(process);
    CloseCommandResult();
    return DescribeResult(reported ? &result : NULL, registering, note, size);
}

int ApplyLogonTaskBox(HWND page)
{
    int wanted = IsDlgButtonChecked(page, IDC_LOGON_TASK) == BST_CHECKED;
    if (wanted == TaskShown)
        return 1;
    char note[NoteSize];
    int done = ChangeTask(page, wanted, note, sizeof note);
    ShowTaskState(page);
    SetNote(page, note);
    return done;
}
