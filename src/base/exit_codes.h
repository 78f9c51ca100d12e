// Exit codes of the one-shot command-line forms (/sync, /register-task, /unregister-task): what an
// elevated instance tells the instance that started it, and what scripts may test.
#pragma once

enum CommandExitCode {
    ExitClockSet = 0,           // /sync: the clock was set; the task commands: done
    ExitBelowMinAdjust = 1,     // /sync: the error was below MinAdjust, nothing to set
    ExitExchangeFailed = 2,     // /sync: look-up, time-out, refused reply, or a large step that
                                // no second server of the INI's list confirmed
    ExitClockNotSet = 3,        // /sync: the clock setting failed
    ExitTaskRefused = 4,        // the Task Scheduler refused (its HRESULT is reported)
    ExitNotInProgramFiles = 5,  // the exe is not where a logon task may point at it
    ExitBadCommandLine = 87     // ERROR_INVALID_PARAMETER
};
