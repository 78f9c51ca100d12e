// What an elevated one-shot instance (/sync, /register-task, /unregister-task) hands back to the
// instance that started it: a small named block of shared memory, so no writable folder is needed.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { CommandMessageSize = 128 };

struct CommandResult {
    int32_t exitCode;           // as the process's exit code (base/exit_codes.h)
    uint32_t windowsError;      // the Windows error or HRESULT of what failed, 0 when none
    int64_t offset;             // /sync: the measured offset, server minus local, 100 ns units
    int32_t offsetKnown;        // 1 when the exchange got as far as an offset
    uint32_t writerProcess;     // the process id of the instance that wrote it
    char message[CommandMessageSize];   // the instance's result message, code page 932
};

// The starting instance: creates the block, emptied, before it starts the elevated one. 0, or -1
// with the Windows error left for GetLastError (ERROR_ALREADY_EXISTS: another process made it).
int OpenCommandResult(void);
// What the elevated instance with process id `writer` wrote: 1 a whole result, 0 none (it ended
// before writing one, or the block holds what another process wrote, such as a /sync instance
// whose wait was given up and that ended later). A writer of 0 (its id unknown) is not checked.
int ReadCommandResult(CommandResult *result, DWORD writer);
void CloseCommandResult(void);
// The elevated instance: writes its result when an instance waits for one (the block exists).
void WriteCommandResult(const CommandResult *result);

