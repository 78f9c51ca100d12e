// The logon task that starts this program elevated when the user logs on: registering and
// deleting it through the Task Scheduler, and whether this user's exists for this exe.
#pragma once
#include <windows.h>

// The exe the task points at: empty means this program's own exe (looked up when needed). Tests
// put another path in.
extern WCHAR TaskExePath[MAX_PATH];

// The work of `/register-task` (registering 1) and `/unregister-task` (0), run elevated:
// returns the process's exit code (ExitClockSet when done, ExitTaskRefused, ExitNotInProgramFiles)
// and writes it, with the Task Scheduler's HRESULT, to the waiting instance's result block.
int RunLogonTaskCommand(int registering);

// 1 when `path` names a file inside `folder` or one of its subfolders, compared without case
// (ASCII letters only); no "." or ".." steps, no empty steps, no characters a file name cannot
// hold.
int PathInsideFolder(const WCHAR *path, const WCHAR *folder);
// 1 when the exe lies under a Program Files folder, where standard users cannot replace it.
int ExeMayBeTaskTarget(void);

// 1 when this process's user is an administrator, elevated or not. Only such a user gains the
// right to set the clock from a task at the highest run level; a standard user's elevated
// instance would run as the administrator who typed the password, and register the task for
// that other account. Tests replace it.
extern int (*QueryUserIsAdministrator)(void);
int UserIsAdministrator(void);

// 1 when this user's task exists, running as this user and starting the exe (or the one task
// 0.22 registered for everyone, when it does so); 0 when none does or the Task Scheduler cannot
// be asked.
int LogonTaskExists(void);
// The name of this user's task: "vellmarin" and the user's SID. 0, or -1 when it cannot be read.
int LogonTaskName(WCHAR *name, size_t count);
// 1 when a task's XML text has a principal that is `user` (DOMAIN\user) or `sid` (its text),
// without case, and, unless exe is null, its first action starts exe (quoted or not).
int TaskXmlIsUsers(const WCHAR *xml, const WCHAR *user, const WCHAR *sid, const WCHAR *exe);
// The task's text for `exe` and the user of this process: at the user's logon,
// the exe from its own folder at the highest run level. 0, or -1 when it does not fit `count`.
int LogonTaskXml(const WCHAR *exe, WCHAR *xml, size_t count);
// Registers (replacing one of that name) or deletes this user's task for the exe; a missing task
// counts as deleted. Either deletes the task 0.22 left when it runs as this user. S_OK or the Task
// Scheduler's (or COM's) error.
HRESULT RegisterLogonTask(void);
HRESULT DeleteLogonTask(void);
