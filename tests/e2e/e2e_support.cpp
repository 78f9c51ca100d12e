// Runs the real program from a temporary folder and reads it from outside.
#include "e2e/e2e_support.h"
#include "base/wide_text.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Paths are kept in UTF-8 here, so a folder named with characters no code page has (the test
// of such a folder) is handled like any other; Windows is spoken to in UTF-16.
std::wstring WidePath(const std::string &utf8)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    std::wstring wide(units > 0 ? units : 1, L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], units);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

static std::string Utf8Path(const WCHAR *wide)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    std::string utf8(bytes > 0 ? bytes : 1, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], bytes, NULL, NULL);
    utf8.resize(strlen(utf8.c_str()));
    return utf8;
}

static std::string ProgramPath(void)
{
    // The test sits in <build>\tests\e2e\, the program in <build>\.
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    std::string own = Utf8Path(path);
    for (int up = 0; up < 3; ++up)
        own = own.substr(0, own.find_last_of('\\'));
    return own + "\\vellmarin.exe";
}

static void RemoveFolderFiles(const std::string &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(WidePath(folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = Utf8Path(found.cFileName);
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(WidePath(folder + name).c_str());
        else
            DeleteFileW(WidePath(folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::string MakeRunFolder(const char *name, const std::string &ini)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string folder = Utf8Path(temp) + "vm-e2e-" + name + "-" +
                         std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryW(WidePath(folder).c_str(), NULL);
    RemoveFolderFiles(folder);
    CopyFileW(WidePath(ProgramPath()).c_str(), WidePath(folder + "vellmarin.exe").c_str(), FALSE);
    FILE *file = _wfopen(WidePath(folder + "vellmarin.ini").c_str(), L"wb");
    if (file) {
        fwrite(ini.data(), 1, ini.size(), file);
        fclose(file);
    }
    return folder;
}

int LaunchClock(const std::string &folder, RunningClock *clock, const char *arguments)
{
    ZeroMemory(clock, sizeof clock->process);
    clock->window = NULL;
    clock->folder = folder;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::string exe = folder + "vellmarin.exe";
    std::wstring commandLine = WidePath("\"" + exe + "\"" + (arguments[0] ? " " : "") + arguments);
    if (!CreateProcessW(WidePath(exe).c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                        WidePath(folder).c_str(), &startup, &clock->process))
        return -1;
    return 0;
}

struct WindowSearch {
    DWORD processId;
    const char *className;  // null: any class
    const char *title;      // null: any title
    int visibleOnly;
    HWND found;
};

static BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM context)
{
    WindowSearch *search = (WindowSearch *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || (search->visibleOnly && !IsWindowVisible(window)))
        return TRUE;
    WCHAR wide[64] = L"";
    char text[128] = "";
    if (search->className && (!GetClassNameW(window, wide, 64) ||
                              strcmp(WideToText(wide, text, sizeof text), search->className) != 0))
        return TRUE;
    if (search->title && strcmp(WindowTitle(window).c_str(), search->title) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const char *className, const char *title,
                       int visibleOnly, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        WindowSearch search = {processId, className, title, visibleOnly, NULL};
        EnumWindows(MatchProcessWindow, (LPARAM)&search);
        if (search.found)
            return search.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

// The window is shown only once its controls exist: a window found earlier, while it is still
// being created, has no controls to read yet.
HWND FindClockWindow(DWORD processId, DWORD timeoutMs)
{
    return FindProcessWindow(processId, "VELLMARIN", NULL, 1, timeoutMs);
}

int WaitForExit(RunningClock *clock, DWORD timeoutMs)
{
    if (!clock->process.hProcess)
        return -1;
    if (WaitForSingleObject(clock->process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(clock->process.hProcess, &code);
    return (int)code;
}

void StopClock(RunningClock *clock)
{
    if (!clock->process.hProcess)
        return;
    if (WaitForSingleObject(clock->process.hProcess, 0) != WAIT_OBJECT_0) {
        HWND window = FindProcessWindow(clock->process.dwProcessId, "VELLMARIN", NULL, 0, 0);
        if (window)
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(clock->process.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(clock->process.hProcess, 99);
        WaitForSingleObject(clock->process.hProcess, 5000);
    }
    CloseHandle(clock->process.hThread);
    CloseHandle(clock->process.hProcess);
    ZeroMemory(&clock->process, sizeof clock->process);
}

// Texts are read in UTF-16, as a user sees them, and compared in the program's code page 932.
static std::string TextOf(HWND window)
{
    WCHAR wide[1024] = L"";
    char text[2048] = "";
    if (window)
        SendMessageW(window, WM_GETTEXT, 1024, (LPARAM)wide);
    return WideToText(wide, text, sizeof text);
}

std::string ControlText(HWND window, int id)
{
    return TextOf(GetDlgItem(window, id));
}

std::string WindowTitle(HWND window)
{
    return TextOf(window);
}

std::string WaitForText(HWND window, int id, bool (*match)(const std::string &), DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    std::string text;
    for (;;) {
        text = ControlText(window, id);
        if (match(text) || GetTickCount() - start >= timeoutMs)
            return text;
        Sleep(10);
    }
}

bool Contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

std::string ReadWholeFile(const std::string &path)
{
    std::string content;
    FILE *file = _wfopen(WidePath(path).c_str(), L"rb");
    if (!file)
        return content;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    fclose(file);
    return content;
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::string content = ReadWholeFile(path);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));   // an unterminated last line
            break;
        }
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

int LocalYear(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wYear;
}

std::string LogPath(const std::string &folder)
{
    char name[64];
    snprintf(name, sizeof name, "vellmarin-log-%04d.csv", LocalYear());
    return folder + name;
}

std::string EventLogPath(const std::string &folder)
{
    char name[64];
    snprintf(name, sizeof name, "vellmarin-eventlog-%04d.txt", LocalYear());
    return folder + name;
}

std::string BaseIni(const char *setupLines)
{
    return std::string("[SETUP]\r\n") + setupLines + "[SERVER]\r\nServer0=127.0.0.1\r\n";
}

LARGE_INTEGER Now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double SecondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

double ErrorSeconds(const std::string &text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool digit = c >= '0' && c <= '9';
        bool signedDigit = c == '-' && i + 1 < text.size() && text[i + 1] >= '0' &&
                           text[i + 1] <= '9';
        if (digit || signedDigit)
            return strtod(text.c_str() + i, NULL);
    }
    return NAN;
}

struct WindowCount {
    DWORD processId;
    unsigned count;
};

static BOOL CALLBACK CountChild(HWND, LPARAM context)
{
    ((WindowCount *)context)->count += 1;
    return TRUE;
}

static BOOL CALLBACK CountTopLevel(HWND window, LPARAM context)
{
    WindowCount *counting = (WindowCount *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == counting->processId) {
        counting->count += 1;
        EnumChildWindows(window, CountChild, context);
    }
    return TRUE;
}

unsigned ProcessWindowCount(DWORD processId)
{
    WindowCount counting = {processId, 0};
    EnumWindows(CountTopLevel, (LPARAM)&counting);
    return counting.count;
}
