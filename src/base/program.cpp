// Definitions of the program-wide handles and texts declared in program.h, and the bounded copy
// of code page 932 texts.
#include "base/program.h"

#include <stdlib.h>
#include <string.h>

#include "base/wide_text.h"
#include "vellmarin_version.h"

HINSTANCE ProgramInstance = NULL;
HWND ClockWindow = NULL;
const char VersionText[] = "vellmarin v" VM_VERSION_TEXT;

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

char *CopyComboEntry(HWND combo, WPARAM index)
{
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0)
        return NULL;
    WCHAR *wide = (WCHAR *)calloc((size_t)length + 1, sizeof(WCHAR));
    if (wide == NULL)
        return NULL;
    LRESULT got = SendMessageW(combo, CB_GETLBTEXT, index, (LPARAM)wide);
    char *text = got < 0 || got > length ? NULL : NewText(wide);
    free(wide);
    return text;
}
