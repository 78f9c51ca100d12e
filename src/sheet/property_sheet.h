// The modal property sheet that edits all options: snapshot, OK and Cancel.
#pragma once
#include <windows.h>

extern HWND PropertySheetWindow;    // the sheet while it is shown, else null

void RunPropertySheet(void);
