// The command line's forms, checked whole: an elevated instance acts only on a line that is
// exactly one of ours, so nothing else can be slipped through it.
#include "app/command_line.h"

#include <shellapi.h>
#include <string.h>
#include <wchar.h>

#include "sntp/server_address.h"

static int IsHostNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_';
}

int IsSyncServerForm(const char *name)
{
    size_t length = strnlen(name, ServerNameMax + 1);
    if (length == 0 || length > ServerNameMax)
        return 0;
    // Every byte is one a host name or an address literal has: the system's reading of IPv4
    // text is lenient (" " reads as 0.0.0.0), so nothing else may reach it.
    for (size_t i = 0; i < length; ++i) {
        if (!IsHostNameCharacter(name[i]) && !strchr(":[]%", name[i]))
            return 0;
    }
    struct sockaddr_storage address;
    if (ParseAddressLiteral(name, &address) == 0)
        return 1;
    // A host name never starts with a sign that a switch or an option could be read from.
    if (name[0] == '-' || name[0] == '.')
        return 0;
    for (size_t i = 0; i < length; ++i) {
        if (!IsHostNameCharacter(name[i]))
            return 0;
    }
    return 1;
}

// The server argument, refused when it is longer than a list entry may be or has a character
// outside ASCII (whatever the system's code page would make of it).
static int ServerArgument(const wchar_t *argument, char (&out)[ServerNameMax + 1])
{
    size_t length = wcslen(argument);
    if (length > ServerNameMax)
        return -1;
    for (size_t i = 0; i <= length; ++i) {
        if (argument[i] >= 0x80)
            return -1;
        out[i] = (char)argument[i];
    }
    return IsSyncServerForm(out) ? 0 : -1;
}

static CommandKind Classify(int count, wchar_t **arguments, char (&server)[ServerNameMax + 1])
{
    if (count < 2)
        return NormalStart;
    const wchar_t *word = arguments[1];
    if (_wcsnicmp(word, L"/sync", 5) == 0) {
        if (word[5] != L'\0' || count != 3 || ServerArgument(arguments[2], server) != 0)
            return BadCommand;
        return SyncCommand;
    }
    CommandKind task = _wcsicmp(word, L"/register-task") == 0     ? RegisterTaskCommand
                       : _wcsicmp(word, L"/unregister-task") == 0 ? UnregisterTaskCommand
                                                                   : NormalStart;
    if (task != NormalStart && count != 2)
        return BadCommand;
    return task;
}

void ParseCommandLine(const wchar_t *line, ParsedCommand *command)
{
    command->kind = NormalStart;
    command->server[0] = '\0';
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(line, &count);
    if (!arguments) {
        // Only when memory runs out: nothing can be known of the line, so nothing is done.
        command->kind = BadCommand;
        return;
    }
    char server[ServerNameMax + 1] = "";
    command->kind = Classify(count, arguments, server);
    if (command->kind == SyncCommand)
        memcpy(command->server, server, sizeof server);
    LocalFree(arguments);
}
