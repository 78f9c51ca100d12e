// The record of the SNTP exchange under way and what it writes: the result message and the
// lines of the server page's test output box.
#include "sntp/exchange_record.h"
#include <stdarg.h>
#include <stdio.h>

ExchangeRecordData ExchangeRecord = {nullptr, 0, ExchangeIdle, 0, 0, 0, {0}, INVALID_SOCKET, 0,
                                     {}, 0, {0}, {}, {0}, 0};
HWND TestOutputBox;
void (WINAPI *ReadUtcClock)(LPSYSTEMTIME utc) = GetSystemTime;

enum { TestLineSize = 1000 };

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
    int end = GetWindowTextLengthA(TestOutputBox);
    SendMessageA(TestOutputBox, EM_SETSEL, (WPARAM)end, (LPARAM)end);
    SendMessageA(TestOutputBox, EM_REPLACESEL, FALSE, (LPARAM)line);
}

void ClearTestOutput(void)
{
    if (TestOutputBox != NULL)
        SetWindowTextA(TestOutputBox, "");
}
