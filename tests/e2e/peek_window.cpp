// Reads the running clock window from outside, as a user would see it: title, time and status
// lines. "wait N" waits up to N seconds for a finished status; "close" asks the window to close.
#include <windows.h>
#include <stdio.h>
#include <string.h>

static HWND FindClock(void)
{
    return FindWindowW(L"VELLMARIN", NULL);
}

static void ReadText(HWND window, char *out, int size)
{
    // Read in UTF-16 and printed in code page 932, whatever the system's code page.
    out[0] = '\0';
    WCHAR wide[1000];
    if (window && GetWindowTextW(window, wide, 1000) > 0 &&
        WideCharToMultiByte(932, 0, wide, -1, out, size, NULL, NULL) == 0)
        out[0] = '\0';
}

static void ReadField(HWND clock, int id, char *out, int size)
{
    ReadText(GetDlgItem(clock, id), out, size);
}

// A status that reports an outcome, not the greeting or a query still running.
static int StatusFinished(const char *status)
{
    return status[0] != '\0' && strstr(status, "ようこそ") == NULL &&
           strstr(status, "サーバーとの通信中") == NULL;
}

int main(int argc, char **argv)
{
    const char *command = argc > 1 ? argv[1] : "show";
    double seconds = argc > 2 ? atof(argv[2]) : 0;
    DWORD deadline = GetTickCount() + (DWORD)(seconds * 1000);
    HWND clock = FindClock();
    while (!clock && GetTickCount() < deadline) {
        Sleep(50);
        clock = FindClock();
    }
    if (!clock) {
        printf("no clock window\n");
        return 1;
    }
    if (strcmp(command, "close") == 0) {
        PostMessageW(clock, WM_CLOSE, 0, 0);
        return 0;
    }
    char status[1000];
    ReadField(clock, 2101, status, sizeof status);
    while (strcmp(command, "wait") == 0 && !StatusFinished(status) && GetTickCount() < deadline) {
        Sleep(20);
        ReadField(clock, 2101, status, sizeof status);
    }
    char title[200], time[200], display[1000];
    ReadText(clock, title, sizeof title);
    ReadField(clock, 2100, time, sizeof time);
    ReadField(clock, 2102, display, sizeof display);
    printf("title\t%s\ntime\t%s\nstatus\t%s\ndisplay\t%s\n", title, time, status, display);
    fflush(stdout);
    return StatusFinished(status) || strcmp(command, "show") == 0 ? 0 : 2;
}
