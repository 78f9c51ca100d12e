// The one record of persisted options and its INI file beside the executable, and the server
// list, which lives in the clock window's server selector but is stored in the same file.
#include "base/settings.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/ini_file.h"
#include "base/program.h"
#include "base/wide_text.h"

SettingsRecord Settings;
WCHAR ProgramDirectory[MAX_PATH];
WCHAR IniPath[MAX_PATH + 16];

const char SettingsNotSavedText[] = "設定を保存できませんでした。";

static const WCHAR IniFileName[] = L"vellmarin.ini";
static const char DefaultFontName[] = "ＭＳ Ｐゴシック";

void ComputeProgramPaths(void)
{
    // The wide name: a folder named with characters the system's code page lacks is found too.
    WCHAR modulePath[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, modulePath, MAX_PATH);
    if (length >= MAX_PATH)
        length = MAX_PATH - 1;
    modulePath[length] = L'\0';

    // Drive and directory: everything up to the last separator, or the drive alone ("C:x.exe").
    size_t keep = 0;
    for (size_t i = 0; i < length; ++i) {
        WCHAR c = modulePath[i];
        if (c == L'\\' || c == L'/' || (c == L':' && i == 1))
            keep = i + 1;
    }
    if (keep >= MAX_PATH)
        keep = MAX_PATH - 1;
    memcpy(ProgramDirectory, modulePath, keep * sizeof(WCHAR));
    ProgramDirectory[keep] = L'\0';
    _snwprintf(IniPath, MAX_PATH + 16, L"%ls%ls", ProgramDirectory, IniFileName);
    IniPath[MAX_PATH + 15] = L'\0';
}

// The file's text while the settings are read from it or written into it.
static IniText Ini;

// Reads a signed decimal number. A missing key, or text that does not start with a number,
// gives the default; values beyond 32 bits saturate instead of wrapping into small numbers.
static int32_t ReadInteger(const char *section, const char *key, int32_t fallback)
{
    char text[64];
    IniValue(&Ini, section, key, text, sizeof text);
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return fallback;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= (long long)INT_MAX + 1)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int32_t)value;
}

static int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

void LoadSettings(void)
{
    // A file that cannot be read gives the defaults, as a missing one does.
    LoadIniText(IniPath, &Ini);
    SettingsRecord &s = Settings;
    s.MinAdjust = Clamp(ReadInteger("SETUP", "MinAdjust", 100), 0, 9999);
    s.AutoClose = ReadInteger("SETUP", "AutoClose", 1);
    s.ErrorClose = ReadInteger("SETUP", "ErrorClose", 0);
    s.SaveLog = ReadInteger("SETUP", "SaveLog", 0);
    s.SaveEventLog = ReadInteger("SETUP", "SaveEventLog", 0);
    s.DispLeap = ReadInteger("SETUP", "DispLeap", 0);
    s.FormStyle = ReadInteger("SETUP", "FormStyle", 0);
    s.StartupWait = Clamp(ReadInteger("SETUP", "StartupWait", 1), 0, 99);
    s.RetryMax = Clamp(ReadInteger("SETUP", "RetryMax", 10), 0, 99);
    s.RetryWait = Clamp(ReadInteger("SETUP", "RetryWait", 5), 5, 99);
    s.RotateServer = ReadInteger("SETUP", "RotateServer", 1);
    s.Hour24 = ReadInteger("SETUP", "Hour24", 1);
    s.Topmost = ReadInteger("SETUP", "Topmost", 0);
    s.WaitLeap = ReadInteger("SETUP", "WaitLeap", 0);
    s.Elevate = ReadInteger("SETUP", "Elevate", 1);
    s.ConfirmStep = Clamp(ReadInteger("SETUP", "ConfirmStep", 1000), 0, 99999999);
    s.ResyncOnWake = ReadInteger("SETUP", "ResyncOnWake", 1);
    s.ResyncMinutes = Clamp(ReadInteger("SETUP", "ResyncMinutes", 0), 0, 1440);
    s.Position = ReadInteger("WINDOW", "Position", 0);
    s.Top = ReadInteger("WINDOW", "Top", 0);
    s.Left = ReadInteger("WINDOW", "Left", 0);

    // Read more than fits so that a long name is cut at a character boundary, not mid-character.
    char name[1024];
    if (!IniValue(&Ini, "FONT", "Name", name, sizeof name))
        CopyWholeCharacters(name, sizeof name, DefaultFontName);
    CopyWholeCharacters(s.Font.Name, sizeof s.Font.Name, name);
    s.Font.Size = ReadInteger("FONT", "Size", 20);
    int32_t style = ReadInteger("FONT", "Style", 0);
    s.Font.Bold = (style & 1) ? 1 : 0;
    s.Font.Italic = (style & 2) ? 1 : 0;
    s.Font.Underline = (style & 4) ? 1 : 0;
    s.Font.StrikeOut = (style & 8) ? 1 : 0;
    s.Font.Charset = (uint8_t)(ReadInteger("FONT", "Charset", 0) & 0xFF);
    s.Font.Color = (COLORREF)ReadInteger("FONT", "Color", 0);
    s.Font.BkColor = (COLORREF)ReadInteger("FONT", "BkColor", 65280);
    for (int i = 0; i < 16; ++i) {
        char key[32];
        snprintf(key, sizeof key, "CustomColor%d", i);
        s.CustomColors[i] = (COLORREF)ReadInteger("FONT", key, 0);
    }
    FreeIniText(&Ini);
}

static void WriteInteger(const char *section, const char *key, int32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", (int)value);
    SetIniValue(&Ini, section, key, text);
}

// The Windows error of a failed read or write, never 0.
static DWORD LastFailure(void)
{
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
}

// A change is made to the file's text as it is now and written back whole, so a file that
// cannot be read is never overwritten. 0, or the Windows error.
static DWORD BeginSave(void)
{
    return LoadIniText(IniPath, &Ini) == 0 ? 0 : LastFailure();
}

static DWORD EndSave(void)
{
    DWORD error = SaveIniText(IniPath, &Ini) == 0 ? 0 : LastFailure();
    FreeIniText(&Ini);
    return error;
}

DWORD SaveSettings(void)
{
    DWORD error = BeginSave();
    if (error != 0)
        return error;
    const SettingsRecord &s = Settings;
    WriteInteger("SETUP", "MinAdjust", s.MinAdjust);
    WriteInteger("SETUP", "AutoClose", s.AutoClose);
    WriteInteger("SETUP", "ErrorClose", s.ErrorClose);
    WriteInteger("SETUP", "SaveLog", s.SaveLog);
    WriteInteger("SETUP", "SaveEventLog", s.SaveEventLog);
    WriteInteger("SETUP", "DispLeap", s.DispLeap);
    WriteInteger("SETUP", "FormStyle", s.FormStyle);
    WriteInteger("SETUP", "StartupWait", s.StartupWait);
    WriteInteger("SETUP", "RetryMax", s.RetryMax);
    WriteInteger("SETUP", "RetryWait", s.RetryWait);
    WriteInteger("SETUP", "RotateServer", s.RotateServer);
    WriteInteger("SETUP", "Hour24", s.Hour24);
    WriteInteger("SETUP", "Topmost", s.Topmost);
    WriteInteger("SETUP", "WaitLeap", s.WaitLeap);
    WriteInteger("SETUP", "Elevate", s.Elevate);
    WriteInteger("SETUP", "ConfirmStep", s.ConfirmStep);
    WriteInteger("SETUP", "ResyncOnWake", s.ResyncOnWake);
    WriteInteger("SETUP", "ResyncMinutes", s.ResyncMinutes);
    WriteInteger("WINDOW", "Position", s.Position);
    WriteInteger("WINDOW", "Top", s.Top);
    WriteInteger("WINDOW", "Left", s.Left);

    // The property sheet writes the name directly; store it terminated even if it lost its NUL.
    char whole[sizeof s.Font.Name + 1];
    memcpy(whole, s.Font.Name, sizeof s.Font.Name);
    whole[sizeof s.Font.Name] = '\0';
    char name[sizeof s.Font.Name];
    CopyWholeCharacters(name, sizeof name, whole);
    SetIniValue(&Ini, "FONT", "Name", name);
    WriteInteger("FONT", "Charset", s.Font.Charset);
    WriteInteger("FONT", "Size", s.Font.Size);
    WriteInteger("FONT", "Color", (int32_t)s.Font.Color);
    int32_t style = (s.Font.Bold ? 1 : 0) | (s.Font.Italic ? 2 : 0) |
                    (s.Font.Underline ? 4 : 0) | (s.Font.StrikeOut ? 8 : 0);
    WriteInteger("FONT", "Style", style);
    WriteInteger("FONT", "BkColor", (int32_t)s.Font.BkColor);
    for (int i = 0; i < 16; ++i) {
        char key[32];
        snprintf(key, sizeof key, "CustomColor%d", i);
        WriteInteger("FONT", key, (int32_t)s.CustomColors[i]);
    }
    return EndSave();
}

DWORD SaveWindowPosition(HWND window)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return 0;
    // A minimised window reports large negative coordinates; those are never stored.
    if (rect.top < 0 || rect.left < 0)
        return 0;
    DWORD error = BeginSave();
    if (error != 0)
        return error;
    WriteInteger("WINDOW", "Top", rect.top);
    WriteInteger("WINDOW", "Left", rect.left);
    return EndSave();
}

int ReadServerList(ServerName *names, int max)
{
    int count = 0;
    LoadIniText(IniPath, &Ini);
    while (count < max && count < ServerListMax) {
        char key[32];
        snprintf(key, sizeof key, "Server%d", count);
        IniValue(&Ini, "SERVER", key, names[count], sizeof names[count]);
        if (names[count][0] == '\0')
            break;
        ++count;
    }
    FreeIniText(&Ini);
    return count;
}

int LoadServerList(HWND combo)
{
    static ServerName names[ServerListMax];
    int count = ReadServerList(names, ServerListMax);
    int appended = 0;
    for (int i = 0; i < count; ++i) {
        LRESULT added = SendText932(combo, CB_ADDSTRING, 0, names[i]);
        if (added != CB_ERR && added != CB_ERRSPACE)
            ++appended;
    }
    return appended;
}

DWORD SaveServerList(HWND combo)
{
    DWORD error = BeginSave();
    if (error != 0)
        return error;
    // The section is emptied first, so no ServerN of a longer old list survives.
    ClearIniSection(&Ini, "SERVER");
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    int written = 0;
    for (LRESULT i = 0; i < count; ++i) {
        char *name = CopyComboEntry(combo, (WPARAM)i);
        // An empty entry would end the list on loading and hide those after it.
        if (name != NULL && name[0] != '\0') {
            char key[32];
            snprintf(key, sizeof key, "Server%d", written++);
            SetIniValue(&Ini, "SERVER", key, name);
        }
        free(name);
    }
    return EndSave();
}
