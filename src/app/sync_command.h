// The elevated one-shot instance of `/sync <server>`: one exchange (and, for a large step, its own
// second opinion from the INI's list beside it), the clock set as the program sets it, the result
// handed back to the instance that waits for it, and an exit code.
#pragma once

// Returns the process's exit code (base/exit_codes.h). Shows nothing, writes no file.
int RunSyncCommand(const char *server);
