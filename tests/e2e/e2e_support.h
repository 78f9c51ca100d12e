// Runs the real build/vellmarin.exe from a folder of its own and watches it from outside: its
// window texts, its files and its exit code.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Paths here are UTF-8 (a folder may be named with characters no code page has); window texts
// are code page 932, read in UTF-16 whatever the system's code page is.
struct RunningClock {
    PROCESS_INFORMATION process;
    HWND window;
    std::string folder;     // ends in a backslash
};

std::wstring WidePath(const std::string &utf8);

// A fresh folder under %TEMP% holding a copy of the program and the given INI text.
std::string MakeRunFolder(const char *name, const std::string &ini);
// Starts the copy in folder, with arguments after its name; 0 when running. Does not wait for
// the window.
int LaunchClock(const std::string &folder, RunningClock *clock, const char *arguments = "");
// The program's top-level window, waited for up to timeoutMs; null when none appeared.
// The first top-level window of the process with the given class and title (either may be null),
// waiting up to timeoutMs for it to appear.
HWND FindProcessWindow(DWORD processId, const char *className, const char *title,
                       int visibleOnly, DWORD timeoutMs);
HWND FindClockWindow(DWORD processId, DWORD timeoutMs);
// Waits for the process to end: its exit code, or -1 when it still runs after timeoutMs.
int WaitForExit(RunningClock *clock, DWORD timeoutMs);
// Asks the window to close, then makes sure the process is gone and its handles are released.
void StopClock(RunningClock *clock);

std::string ControlText(HWND window, int id);
std::string WindowTitle(HWND window);
// Polls the control until match() holds or timeoutMs passes; the last text read.
std::string WaitForText(HWND window, int id, bool (*match)(const std::string &), DWORD timeoutMs);
bool Contains(const std::string &text, const char *part);

std::string ReadWholeFile(const std::string &path);
std::vector<std::string> ReadLines(const std::string &path);
int LocalYear(void);
std::string LogPath(const std::string &folder);        // this year's correction log
std::string EventLogPath(const std::string &folder);   // this year's event log
// The INI lines every run needs: a loopback server only, so nothing leaves the machine.
std::string BaseIni(const char *setupLines);
double SecondsSince(LARGE_INTEGER start);
LARGE_INTEGER Now(void);
// The clock error (seconds) that a result message or a log field carries, from its first
// number; NaN when there is none.
double ErrorSeconds(const std::string &text);

// Windows that another process holds (its handles and GDI objects: support/process_counts.h).
unsigned ProcessWindowCount(DWORD processId);
