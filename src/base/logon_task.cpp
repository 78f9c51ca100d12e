// The logon task that starts this program elevated when the user logs on, through the Task
// Scheduler.
#include "base/logon_task.h"

#include "base/exit_codes.h"

int RunLogonTaskCommand(int registering)
{
    (void)registering;
    return ExitTaskRefused;
}
