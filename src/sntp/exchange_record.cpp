// The record of the SNTP exchange under way and what it writes: the result message and the
// lines of the server page's test output box.
#include "sntp/exchange_record.h"
#include <stdarg.h>
#include <stdio.h>
#include "base/wide_text.h"

ExchangeRecordData ExchangeRecord = {nullptr, 0, ExchangeIdle, 0, 0, nullptr, INVALID_SOCKET,
                                     nullptr, {}, 0, 0, 0, {0}, 0, {0}, 0};
HWND TestOutputBox;
UtcClockReader ReadUtcClock = ReadFinestUtcClock;

enum { TestLineSize = 1000 };

static UtcClockReader FinestClock;      // ReadFinestUtcClock's choice, made at its first call

UtcClockReader FinestUtcClock(HMODULE kernel)
{
    UtcClockReader precise = NULL;
    if (kernel != NULL)
        precise = (UtcClockReader)(void (*)(void))GetProcAddress(kernel,
                                                                 "GetSystemTimePreciseAsFileTime");
    return precise != NULL ? precise : GetSystemTimeAsFileTime;
}

void WINAPI ReadFinestUtcClock(LPFILETIME utc)
{
    if (FinestClock == NULL)
        FinestClock = FinestUtcClock(GetModuleHandleW(L"kernel32.dll"));
    FinestClock(utc);
}

uint64_t ReadUtcNow(void)
{
    FILETIME now;
    ReadUtcClock(&now);
    return ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

void SetResultMessage(const char *text)
{
    snprintf(ExchangeRecord.ResultMessage, sizeof ExchangeRecord.ResultMessage, "%s", text);
    AppendTestLine("%s", text);
}

void AppendTestLine(const char *format, ...)
{
    if (TestOutputBox == NULL)
        return;
    char line[TestLineSize];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    if (length < 0)
        length = 0;
    if (length > (int)sizeof line - 3)
        length = (int)sizeof line - 3;
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = '\0';
    int end = GetWindowTextLengthW(TestOutputBox);
    SendMessageW(TestOutputBox, EM_SETSEL, (WPARAM)end, (LPARAM)end);
    SendText932(TestOutputBox, EM_REPLACESEL, FALSE, line);
}

void ClearTestOutput(void)
{
    if (TestOutputBox != NULL)
        SetWindowTextW(TestOutputBox, L"");
}
