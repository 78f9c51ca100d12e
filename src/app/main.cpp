// Entry point of the clock program (filled by the application shell).
#include <windows.h>
#include "app/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    ProgramInstance = instance;
    return 0;
}
