// The options page's logon task box: whether the task exists for this exe, and a change of it
// carried out by an elevated instance of this exe when the sheet's changes are applied.
#pragma once
#include <windows.h>

// Starts this exe elevated with `parameters`; the real one unless a test answers instead.
extern HANDLE (*SheetStartElevated)(HWND owner, const char *parameters, DWORD *error);

// Shows the task's state, and why the box is disabled where the exe may not be the task's target.
void ShowLogonTaskBox(HWND page);
// At the sheet's OK: carries out a change of the box, one elevation prompt for it, and shows the
// outcome beside the box. 1 when the sheet may go on applying, 0 when the change did not happen
// and the sheet stays open on the page to show why.
int ApplyLogonTaskBox(HWND page);
