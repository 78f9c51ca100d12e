// Whether this process runs elevated, starting the program's own exe through the "runas" verb,
// and restricting where an elevated start loads DLLs from.
#include "base/elevation.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include "base/wide_text.h"

int (*QueryProcessElevated)(void) = TokenIsElevated;
const char *ElevatedExePath = NULL;

int ReadOwnToken(TOKEN_INFORMATION_CLASS which, void *out, DWORD size)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    DWORD used = 0;
    BOOL known = GetTokenInformation(token, which, out, size, &used);
    DWORD error = GetLastError();
    CloseHandle(token);
    SetLastError(error);
    return known != 0;
}

int TokenIsElevated(void)
{
    TOKEN_ELEVATION elevation = {};
    int known = ReadOwnToken(TokenElevation, &elevation, sizeof elevation);
    // Before Vista there is no such class and no filtered token: the user has what he has.
    if (!known)
        return GetLastError() == ERROR_INVALID_PARAMETER ? 1 : 0;
    return elevation.TokenIsElevated != 0;
}

HANDLE StartElevatedSelf(HWND owner, const char *parameters, DWORD *error)
{
    // The wide path: a folder whose name has characters outside code page 932 would come back
    // from the ANSI call with question marks, and the start would fail.
    wchar_t path[MAX_PATH];
    DWORD length = ElevatedExePath
                       ? (DWORD)MultiByteToWideChar(CP_ACP, 0, ElevatedExePath, -1, path, MAX_PATH)
                       : GetModuleFileNameW(NULL, path, MAX_PATH);
    if (ElevatedExePath && length > 0)
        length -= 1;                        // the count included the terminator
    wchar_t wideParameters[1024];
    if (length == 0 || length >= MAX_PATH ||
        MultiByteToWideChar(CP_ACP, 0, parameters, -1, wideParameters, 1024) == 0) {
        *error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return NULL;
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = path;
    info.lpParameters = wideParameters;
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || info.hProcess == NULL) {
        DWORD failure = GetLastError();
        *error = failure != 0 ? failure : ERROR_ACCESS_DENIED;
        return NULL;
    }
    *error = 0;
    return info.hProcess;
}

void RestrictDllSearch(void)
{
    typedef BOOL(WINAPI * SetDefaultDirectoriesFunction)(DWORD flags);
    const DWORD SearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    SetDefaultDirectoriesFunction setDefault = NULL;
    if (kernel)
        setDefault = (SetDefaultDirectoriesFunction)(void (*)(void))GetProcAddress(
            kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(SearchSystem32))
        return;
    // Older systems without that update: at least the current folder leaves the search order.
    SetDllDirectoryW(L"");
}

void WindowsErrorText(DWORD error, char *out, size_t size)
{
    if (size == 0)
        return;
    out[0] = '\0';
    // Windows' own text, in code page 932 whatever the system's is: what 932 lacks shows as '?'.
    WCHAR wide[256];
    DWORD units = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 NULL, error, 0, wide, 256, NULL);
    if (units == 0)
        return;
    wide[units < 256 ? units : 255] = L'\0';
    char text[512];
    size_t length = strlen(WideToText(wide, text, sizeof text));
    // One line: the system's text ends in CR LF, and some have more than one line.
    for (char *p = text; *p; ++p) {
        if (*p == '\r' || *p == '\n')
            *p = ' ';
    }
    while (length > 0 && text[length - 1] == ' ')
        text[--length] = '\0';
    CopyWholeCharacters(out, size, text);
}
