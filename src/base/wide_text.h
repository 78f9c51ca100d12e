// The one boundary between the program's texts, kept in code page 932 whatever the system's code
// page is, and Windows, which is spoken to in UTF-16: one conversion each way, and the few calls
// that carry a text across built on them.
#pragma once
#include <windows.h>
#include <stddef.h>

enum { TextCodePage = 932 };

// 1 when c starts a double-byte character of code page 932 (never the system's code page).
int IsLeadByte932(unsigned char c);
// Length of the longest start of text that fits in limit bytes without splitting a double-byte
// character; never reads text at or past limit, so the text need not be terminated there.
size_t WholeCharacterLength(const char *text, size_t limit);
// Copies at most size - 1 bytes of text (whole characters only) and terminates; out may be text.
void CopyWholeCharacters(char *out, size_t size, const char *text);

// Code page 932 to UTF-16: at most count - 1 units, whole characters only, terminated. A lead
// byte without its trail at the end is left out. Returns out.
const WCHAR *TextToWide(const char *text, WCHAR *out, size_t count);
// UTF-16 to code page 932: at most size - 1 bytes, whole characters only, terminated. A
// character code page 932 lacks becomes '?', never a look-alike. Returns out.
const char *WideToText(const WCHAR *text, char *out, size_t size);
// The whole text converted into a buffer of its own, which the caller frees; null without memory.
WCHAR *NewWideText(const char *text);
char *NewText(const WCHAR *text);

// The calls that carry a text across, in UTF-16 underneath.
BOOL SetWindowText932(HWND window, const char *text);
// The window's text, whole characters cut to size. Returns its length in bytes.
int GetWindowText932(HWND window, char *out, size_t size);
// A message whose lParam is a text (WM_SETTEXT, CB_ADDSTRING, EM_REPLACESEL ...).
LRESULT SendText932(HWND window, UINT message, WPARAM wParam, const char *text);
int WINAPI MessageBox932(HWND owner, const char *text, const char *caption, UINT style);
