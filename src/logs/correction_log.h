// The yearly CSV correction log, plus the local date-time text and the write-failure box that
// the event log shares.
#pragma once
#include <windows.h>
#include <stddef.h>

void AppendCorrectionLog(const char *errorText);
char *FormatLocalDateTime(const SYSTEMTIME *time, char *out, size_t size);  // "yyyy/MM/dd HH:mm:ss"
void ShowLogWriteError(const char *message);     // the last error's (or the runtime's) reason
// The warning box of a failed write: the message and Windows' text of the error code.
void ShowWriteError(const char *message, DWORD code);
// The program's folder and this year's name of a log, namePattern with its year filled in.
void LogFilePath(WCHAR *path, size_t count, const WCHAR *namePattern, int year);

// Replaceable by tests: the local time the logs stamp and name their files with, and the box that
// reports a failed write (default MessageBox932).
extern void (WINAPI *LogLocalTimeSource)(LPSYSTEMTIME time);
extern int (WINAPI *LogErrorBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
