// The modal property sheet that edits all options: its pages, the settings snapshot and what
// OK and Cancel do with it, and the about page.
#include <windows.h>
#include "settings/sheet/property_sheet.h"

HWND PropertySheetWindow = NULL;

void RunPropertySheet(void)
{
}
