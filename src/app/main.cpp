// Entry point of the clock program: the command line's one-shot forms, the single-instance guard,
// start-up, the message loop and shutdown.
#include <windows.h>

#include "app/clock_window.h"
#include "app/command_line.h"
#include "app/sync_command.h"
#include "base/elevation.h"
#include "base/exit_codes.h"
#include "base/logon_task.h"
#include "base/program.h"
#include "resource.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

static const WCHAR InstanceMutexName[] = L"vellmarin IS ALREADY RUNNING!";
enum { NameBufferSize = 100 };

static HANDLE InstanceMutex = NULL;

static void ReleaseInstanceMutex(void)
{
    if (InstanceMutex) {
        ReleaseMutex(InstanceMutex);
        CloseHandle(InstanceMutex);
        InstanceMutex = NULL;
    }
}

static int RunMessageLoop(void)
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, NULL, 0, 0)) != 0) {
        if (got == -1)
            break;
        if (IsDialogMessageW(message.hwnd, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got == -1 ? 0 : (int)message.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Before anything else loads a DLL: any start may be elevated (a start by the logon task too).
    RestrictDllSearch();
    ProgramInstance = instance;

    // The one-shot forms take no single-instance guard: the instance that started them holds it.
    ParsedCommand command;
    ParseCommandLine(GetCommandLineW(), &command);
    switch (command.kind) {
    case BadCommand: return ExitBadCommandLine;
    case SyncCommand: return RunSyncCommand(command.server);
    case RegisterTaskCommand: return RunLogonTaskCommand(1);
    case UnregisterTaskCommand: return RunLogonTaskCommand(0);
    case NormalStart: break;
    }

    SetLastError(0);
    InstanceMutex = CreateMutexW(NULL, TRUE, InstanceMutexName);
    if (!InstanceMutex || GetLastError() != 0) {
        // Another instance holds the mutex: leave silently, ours was never owned.
        if (InstanceMutex)
            CloseHandle(InstanceMutex);
        InstanceMutex = NULL;
        return 0;
    }

    ComputeProgramPaths();
    LoadSettings();
    SetResultMessage(VersionText);
    TickCounter = 0;
    ZeroMemory(RecentServers, sizeof RecentServers);
    LeapNoticeSeconds = 0;
    StartNetwork();

    WCHAR title[NameBufferSize] = L"";
    WCHAR className[NameBufferSize] = L"";
    LoadStringW(instance, IDS_TITLE, title, NameBufferSize);
    LoadStringW(instance, IDS_CLASS, className, NameBufferSize);
    int exitCode = 0;
    if (RegisterClockClass(className) == 0) {
        CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        0, 0, NULL, NULL, instance, NULL);
    }
    if (ClockWindow) {
        ShowClockWindow();
        exitCode = RunMessageLoop();
    }

    StopNetwork();
    ReleaseInstanceMutex();
    return exitCode;
}
