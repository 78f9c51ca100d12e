// Definitions of the program-wide handles and texts declared in program.h.
#include "app/program.h"

HINSTANCE ProgramInstance = NULL;
HWND ClockWindow = NULL;
const char VersionText[] = "vellmarin v0.21";
