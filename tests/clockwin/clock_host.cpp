// The clock window for the clock window's tests and the screenshot driver: the program's own
// window procedure and creation steps, with the timer stopped.
#include "clockwin/clock_host.h"
#include <commctrl.h>
#include <stdio.h>
#include "app/clock_window.h"
#include "app/sync_machine.h"
#include "base/program.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "resource.h"
#include "base/settings.h"

static const char HostClass[] = "VELLMARIN_TEST_HOST";
int HostForwardsMouse = 1;

// The program's own procedure; only the pointer's real mouse messages can be held back.
static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int mouse = message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE || message == WM_LBUTTONUP;
    if (mouse && !HostForwardsMouse)
        return DefWindowProcA(window, message, wParam, lParam);
    return ClockWindowProc(window, message, wParam, lParam);
}

HWND CreateHostClockWindow(DWORD style)
{
    ProgramInstance = GetModuleHandleA(NULL);
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = HostProc;
        windowClass.hInstance = ProgramInstance;
        windowClass.hIcon = LoadIconA(ProgramInstance, MAKEINTRESOURCEA(IDI_CLOCK));
        windowClass.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = HostClass;
        RegisterClassA(&windowClass);
        registered = true;
    }
    // The creation steps run as in the program; the timer and the machine are then stopped, so
    // nothing but the test changes what the window shows.
    CreateWindowExA(0, HostClass, "vellmarin", style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, NULL, NULL,
                    ProgramInstance, NULL);
    if (ClockWindow) {
        KillTimer(ClockWindow, 1);
        EnterState(Idle);
    }
    return ClockWindow;
}

void DestroyHostClockWindow(void)
{
    TearDownClockLayout();
    if (ClockWindow) {
        DestroyWindow(ClockWindow);
        ClockWindow = NULL;
    }
    // The window's destruction asked the message loop to end; a test has none to end.
    MSG quit;
    PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void UseScratchIni(const char *name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    snprintf(IniPath, sizeof IniPath, "%svm-clockwin-%s.ini", folder, name);
    DeleteFileA(IniPath);
}

void PumpMessages(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
