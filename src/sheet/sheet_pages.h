// What the property sheet and its four pages share: the applied flag, the page procedures and
// the replaceable common dialogs (tests answer them instead of a user).
#pragma once
#include <windows.h>
#include <commdlg.h>

extern int SheetApplied;            // set by a page's apply when the sheet is accepted

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CommPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Tells the sheet that a page's controls changed.
void ReportPageChange(HWND page);
// Finishes a PSN_APPLY notification: the page accepts the sheet's OK.
INT_PTR AcceptApply(HWND page);

// The common dialogs the pages open; the real ones unless a test puts its own answer in.
extern BOOL (WINAPI *SheetChooseFont)(LPCHOOSEFONTW choice);
extern BOOL (WINAPI *SheetChooseColor)(LPCHOOSECOLORW choice);
extern int (WINAPI *SheetMessageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// True while a server test has locked the sheet (its OK, Cancel and tabs are disabled).
extern int SheetLocked;
