// The logon task that starts this program elevated when the user logs on: registering and
// deleting it through the Task Scheduler, and whether it exists for this exe.
#pragma once
#include <windows.h>

// The work of `/register-task` (registering 1) and `/unregister-task` (0), run elevated:
// returns the process's exit code (ExitClockSet when done, ExitTaskRefused, ExitNotInProgramFiles).
int RunLogonTaskCommand(int registering);
