// Definitions of the program-wide handles and texts declared in program.h, and the combo's entry
// read as code page 932.
#include "base/program.h"

#include <stdlib.h>
#include <string.h>

#include "base/wide_text.h"
#include "vellmarin_version.h"

HINSTANCE ProgramInstance = NULL;
HWND ClockWindow = NULL;
const char VersionText[] = "vellmarin v" VM_VERSION_TEXT;

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
