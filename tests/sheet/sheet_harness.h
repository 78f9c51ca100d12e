// Drives the real modal property sheet from inside its own message loop: the program's own clock
// window, a temporary INI file, and a script that runs once the sheet is up.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

// Writes `iniText` (may be empty) to a fresh temporary INI file, loads the settings from it,
// starts the network and builds the clock window with its layout.
void SetUpClock(const char *iniText);
void TearDownClock(void);

// Opens the sheet through the state machine (the options button) and runs `script` once the
// sheet is shown. Whatever the script leaves open is cancelled afterwards.
void RunSheet(const std::function<void(HWND sheet)> &script);

HWND ShowPage(HWND sheet, int index);       // switches tabs, returns the page
void Click(HWND page, int id);              // BM_CLICK on a control of the page
void SelectListEntry(HWND page, int id, int index);  // a drop-down list choice, with notification
void TypeText(HWND page, int id, const char *text);  // WM_CHAR for each byte
void SetText(HWND page, int id, const char *text);
std::string Text(HWND page, int id);
int Checked(HWND page, int id);
// Every page's every control lies inside its page (failures reported through GoogleTest).
void ExpectControlsInsidePages(HWND sheet);
void PressOk(HWND sheet);
void PressCancel(HWND sheet);
// Dispatches messages until `done` is true or `timeoutMs` passed; true when done.
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs);

std::string IniString(const char *section, const char *key);
int IniInt(const char *section, const char *key, int fallback);
std::string ComboEntries(HWND combo);       // entries joined by '|'
std::string ListEntries(HWND list);
