// The record of all persisted options and its INI file beside the executable, and the server
// list that lives in a combo box but is stored in the same file.
#pragma once
#include <windows.h>
#include <stdint.h>

struct FontSettings {
    char Name[64];          // face name, code page 932, at most 63 characters
    int32_t Size;           // points
    int32_t Bold;           // 0 or 1
    uint8_t Italic;         // 0 or 1
    uint8_t Underline;      // 0 or 1
    uint8_t StrikeOut;      // 0 or 1
    uint8_t Charset;        // Windows character set number
    COLORREF Color;         // text colour 0x00BBGGRR
    COLORREF BkColor;       // background colour
};

struct SettingsRecord {
    int32_t StartupWait;    // seconds, 0..99
    int32_t RetryWait;      // seconds, 5..99
    int32_t RetryMax;       // 0..99
    int32_t MinAdjust;      // milliseconds, 0..9999
    int32_t AutoClose;
    int32_t ErrorClose;
    int32_t SaveLog;
    int32_t SaveEventLog;
    int32_t DispLeap;
    int32_t FormStyle;      // 0 standard window, otherwise metallic bar
    FontSettings Font;
    COLORREF CustomColors[16];
    int32_t Position;       // 0..7, see the placement table
    int32_t Left;
    int32_t Top;
    int32_t RotateServer;
    int32_t Hour24;
    int32_t Topmost;
    int32_t WaitLeap;
    int32_t Elevate;        // 1 ask for elevation when the clock cannot be set, 0 never
    int32_t ConfirmStep;    // seconds; a larger correction needs a second server's agreement, 0 off
    int32_t ResyncOnWake;   // 1 a query after every wake from sleep, 0 none
    int32_t ResyncMinutes;  // 1..1440 minutes from one query's end to the next while open, 0 off
};

enum { ServerListMax = 32, ServerNameMax = 256 };
typedef char ServerName[ServerNameMax + 1];

extern SettingsRecord Settings;
extern WCHAR ProgramDirectory[MAX_PATH];    // ends in a backslash
extern WCHAR IniPath[MAX_PATH + 16];

void ComputeProgramPaths(void);             // ProgramDirectory, then IniPath
void LoadSettings(void);
// The warning a failed save shows (with Windows' text of the error, in the write-failure box).
extern const char SettingsNotSavedText[];
// The saves return 0, or the Windows error of the first write that failed (the rest are still
// tried): the settings in memory stay as they are either way.
DWORD SaveSettings(void);
DWORD SaveWindowPosition(HWND window);
// The INI's server list in its order, up to the first missing key: at most min(max, 32) names.
int ReadServerList(ServerName *names, int max);
int LoadServerList(HWND combo);             // returns the number of entries appended (0..32)
DWORD SaveServerList(HWND combo);
