// Whether this process runs elevated, and starting this program's own exe elevated for one
// narrow task; elevated starts load DLLs from the system folder only.
#pragma once
#include <windows.h>

// 1 when this process's token is elevated (or UAC does not filter it), 0 when it is a filtered
// or standard user's token. Tests replace it: under Wine every process reports itself elevated.
extern int (*QueryProcessElevated)(void);
// One class of information of this process's token into out: 1 read, 0 not (GetLastError says
// why, as GetTokenInformation left it).
int ReadOwnToken(TOKEN_INFORMATION_CLASS which, void *out, DWORD size);
int TokenIsElevated(void);

// The exe StartElevatedSelf starts: null for this process's own; tests point it at the product.
extern const char *ElevatedExePath;
// Starts this exe with `parameters` through the "runas" verb, the prompt owned by `owner`.
// Returns the new process's handle, which the caller closes, or NULL with *error set
// (ERROR_CANCELLED when the user declined the prompt).
HANDLE StartElevatedSelf(HWND owner, const char *parameters, DWORD *error);

// DLLs are loaded from the system folder only, never from the exe's folder or the current one,
// so a DLL planted beside the exe in a folder the user can write is never loaded elevated.
// Called first thing by every start that may run elevated.
void RestrictDllSearch(void);

// The Windows error text of `error`, one line, code page 932, cut to size; "" when unknown.
void WindowsErrorText(DWORD error, char *out, size_t size);
