// The yearly CSV correction log beside the executable, and the local date-time text and the
// write-failure box that the event log and the settings' saves share.
#include "logs/correction_log.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "base/program.h"
#include "base/wide_text.h"
#include "base/settings.h"
#include "ntp/ntp_time.h"

void (WINAPI *LogLocalTimeSource)(LPSYSTEMTIME time) = GetLocalTime;
int (WINAPI *LogErrorBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style) = MessageBox932;

static const char WriteFailedText[] = "ログファイルへの書き込み失敗";

char *FormatLocalDateTime(const SYSTEMTIME *time, char *out, size_t size)
{
    return FormatDateAndTime(time, out, size);
}

void ShowWriteError(const char *message, DWORD code)
{
    WCHAR *systemText = NULL;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                       FORMAT_MESSAGE_ALLOCATE_BUFFER,
                   NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPWSTR)&systemText, 0,
                   NULL);
    char reason[800];
    WideToText(systemText, reason, sizeof reason);
    char text[1000];
    snprintf(text, sizeof text, "%s\n\n%s", message, reason);
    // A cut can leave a lead byte alone at the end; drop it.
    text[WholeCharacterLength(text, strlen(text))] = '\0';
    LogErrorBox(ClockWindow, text, "vellmarin エラー", MB_OK | MB_ICONWARNING);
    if (systemText != NULL)
        LocalFree(systemText);
}

void ShowLogWriteError(const char *message)
{
    // Taken first: the failed open, write or close left it, and the calls below may change it.
    DWORD code = GetLastError();
    if (code == ERROR_SUCCESS) {
        // The runtime can fail a flush without a system error code; its text would then read
        // "completed successfully". Name the runtime's own reason instead.
        int reason = errno;
        code = reason == ENOSPC   ? ERROR_DISK_FULL
               : reason == EACCES ? ERROR_ACCESS_DENIED
               : reason == ENOENT ? ERROR_PATH_NOT_FOUND
                                  : ERROR_WRITE_FAULT;
    }
    ShowWriteError(message, code);
}

void LogFilePath(WCHAR *path, size_t count, const WCHAR *namePattern, int year)
{
    WCHAR name[64];
    _snwprintf(name, 64, namePattern, year);
    name[63] = L'\0';
    _snwprintf(path, count, L"%ls%ls", ProgramDirectory, name);
    path[count - 1] = L'\0';
}

void AppendCorrectionLog(const char *errorText)
{
    // One reading gives both the file's year and the entry's stamp, so they always agree.
    SYSTEMTIME now;
    LogLocalTimeSource(&now);
    WCHAR path[MAX_PATH + 64];
    LogFilePath(path, MAX_PATH + 64, L"vellmarin-log-%04d.csv", now.wYear);

    int isNew = GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
    FILE *file = _wfopen(path, L"at");
    if (file == NULL) {
        ShowLogWriteError(WriteFailedText);
        return;
    }
    if (isNew && fputs("\"時刻\",\"誤差(秒)\"\n", file) == EOF)
        ShowLogWriteError(WriteFailedText);
    char stamp[100];
    FormatLocalDateTime(&now, stamp, sizeof stamp);
    if (fprintf(file, "%s,%s\n", stamp, errorText != NULL ? errorText : "") < 0)
        ShowLogWriteError(WriteFailedText);
    // Buffered data reaches the disk here, so a full disk shows up only as a failed close.
    if (fclose(file) != 0)
        ShowLogWriteError(WriteFailedText);
}
