// Code page 932 to UTF-16 and back at the one boundary with Windows, so the program shows and
// keeps the same texts under any system code page (1252, 936, 65001 as well as 932).
#include "base/wide_text.h"

#include <stdlib.h>
#include <string.h>

int IsLeadByte932(unsigned char c)
{
    return IsDBCSLeadByteEx(TextCodePage, c) ? 1 : 0;
}

size_t WholeCharacterLength(const char *text, size_t limit)
{
    size_t used = 0;
    while (used < limit && text[used] != '\0') {
        size_t step = 1;
        if (IsLeadByte932((unsigned char)text[used])) {
            if (used + 1 >= limit)
                break;                      // its trail byte would not fit
            if (text[used + 1] != '\0')
                step = 2;
        }
        used += step;
    }
    return used;
}

void CopyWholeCharacters(char *out, size_t size, const char *text)
{
    if (size == 0)
        return;
    size_t length = WholeCharacterLength(text ? text : "", size - 1);
    if (text)
        memmove(out, text, length);
    out[length] = '\0';
}

// Bytes of text up to its end, leaving out a lead byte that has no trail.
static int WholeBytes(const char *text)
{
    size_t used = WholeCharacterLength(text, strlen(text));
    return used > 0x7FFFFFFF ? 0x7FFFFFFF : (int)used;
}

const WCHAR *TextToWide(const char *text, WCHAR *out, size_t count)
{
    if (count == 0)
        return out;
    out[0] = L'\0';
    if (text == NULL || text[0] == '\0')
        return out;
    int bytes = WholeBytes(text);
    int needed = MultiByteToWideChar(TextCodePage, 0, text, bytes, NULL, 0);
    if (needed <= 0)
        return out;
    int room = count - 1 > 0x7FFFFFFF ? 0x7FFFFFFF : (int)(count - 1);
    if (needed <= room) {
        out[MultiByteToWideChar(TextCodePage, 0, text, bytes, out, room)] = L'\0';
        return out;
    }
    // Too long: convert whole, keep what fits. A character of 932 is one UTF-16 unit, so no
    // unit is ever half of a character.
    WCHAR *whole = (WCHAR *)malloc((size_t)needed * sizeof(WCHAR));
    if (whole == NULL)
        return out;
    MultiByteToWideChar(TextCodePage, 0, text, bytes, whole, needed);
    memcpy(out, whole, (size_t)room * sizeof(WCHAR));
    out[room] = L'\0';
    free(whole);
    return out;
}

static int NarrowLength(const WCHAR *text)
{
    BOOL lossy = FALSE;
    return WideCharToMultiByte(TextCodePage, WC_NO_BEST_FIT_CHARS, text, -1, NULL, 0, "?", &lossy);
}

const char *WideToText(const WCHAR *text, char *out, size_t size)
{
    if (size == 0)
        return out;
    out[0] = '\0';
    if (text == NULL || text[0] == L'\0')
        return out;
    int needed = NarrowLength(text);          // with the terminator
    if (needed <= 0)
        return out;
    char *whole = (size_t)needed <= size ? out : (char *)malloc((size_t)needed);
    if (whole == NULL)
        return out;
    BOOL lossy = FALSE;
    WideCharToMultiByte(TextCodePage, WC_NO_BEST_FIT_CHARS, text, -1, whole, needed, "?", &lossy);
    whole[needed - 1] = '\0';
    if (whole == out)
        return out;
    CopyWholeCharacters(out, size, whole);
    free(whole);
    return out;
}

WCHAR *NewWideText(const char *text)
{
    const char *source = text ? text : "";
    size_t count = strlen(source) + 1;          // never more units than bytes
    WCHAR *wide = (WCHAR *)malloc(count * sizeof(WCHAR));
    if (wide)
        TextToWide(source, wide, count);
    return wide;
}

char *NewText(const WCHAR *text)
{
    const WCHAR *source = text ? text : L"";
    int needed = NarrowLength(source);
    size_t size = needed > 0 ? (size_t)needed : 1;
    char *narrow = (char *)malloc(size);
    if (narrow)
        WideToText(source, narrow, size);
    return narrow;
}

BOOL SetWindowText932(HWND window, const char *text)
{
    WCHAR *wide = NewWideText(text);
    BOOL done = wide ? SetWindowTextW(window, wide) : FALSE;
    free(wide);
    return done;
}

int GetWindowText932(HWND window, char *out, size_t size)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    int length = GetWindowTextLengthW(window);
    WCHAR *wide = (WCHAR *)calloc((size_t)(length > 0 ? length : 0) + 1, sizeof(WCHAR));
    if (wide == NULL)
        return 0;
    GetWindowTextW(window, wide, length + 1);
    WideToText(wide, out, size);
    free(wide);
    return (int)strlen(out);
}

LRESULT SendText932(HWND window, UINT message, WPARAM wParam, const char *text)
{
    WCHAR *wide = NewWideText(text);
    if (wide == NULL)
        return -1;
    LRESULT result = SendMessageW(window, message, wParam, (LPARAM)wide);
    free(wide);
    return result;
}

int WINAPI MessageBox932(HWND owner, const char *text, const char *caption, UINT style)
{
    WCHAR *wideText = NewWideText(text), *wideCaption = NewWideText(caption);
    int answer = 0;
    if (wideText && wideCaption)
        answer = MessageBoxW(owner, wideText, wideCaption, style);
    free(wideText);
    free(wideCaption);
    return answer;
}
