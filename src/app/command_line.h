// The command line's few forms: a normal start, one correction for an instance that waits for it
// (/sync <server>), and the logon task's registration; everything else malformed is refused.
#pragma once
#include <windows.h>

#include "base/settings.h"

enum CommandKind {
    NormalStart = 0,        // no arguments, or arguments that are none of ours: start as usual
    SyncCommand = 1,        // /sync <server>
    RegisterTaskCommand = 2,
    UnregisterTaskCommand = 3,
    BadCommand = 4          // one of our words, otherwise malformed: exit code 87, nothing done
};

struct ParsedCommand {
    CommandKind kind;
    char server[ServerNameMax + 1];     // SyncCommand: the server, code page 932
};

// Splits the whole command line (program name first, as GetCommandLineW gives it) by Windows'
// own rules and checks it against the accepted forms.
void ParseCommandLine(const wchar_t *line, ParsedCommand *command);
// 1 when name is a server the /sync form accepts: at most 256 bytes, an IPv4 or IPv6 address
// (also bracketed, with a zone index) or a host name of letters, digits, '-', '.' and '_'.
int IsSyncServerForm(const char *name);
