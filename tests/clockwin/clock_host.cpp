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
#include "base/wide_text.h"

static const WCHAR HostClass[] = L"VELLMARIN_TEST_HOST";
int HostForwardsMouse = 1;

// The program's own procedure; only the pointer's real mouse messages can be held back.
static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int mouse = message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE || message == WM_LBUTTONUP;
    if (mouse && !HostForwardsMouse)
        return DefWindowProcW(window, message, wParam, lParam);
    return ClockWindowProc(window, message, wParam, lParam);
}

HWND CreateHostClockWindow(DWORD style)
{
    ProgramInstance = GetModuleHandleA(NULL);
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = HostProc;
        windowClass.hInstance = ProgramInstance;
        windowClass.hIcon = LoadIconW(ProgramInstance, MAKEINTRESOURCEW(IDI_CLOCK));
        windowClass.hCursor = LoadCursorW(NULL, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = HostClass;
        RegisterClassW(&windowClass);
        registered = true;
    }
    // The creation steps run as in the program; the timer and the machine are then stopped, so
    // nothing but the test changes what the window shows.
    CreateWindowExW(0, HostClass, L"vellmarin", style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, NULL, NULL,
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
    PeekMessageW(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void UseScratchIni(const char *name)
{
    WCHAR folder[MAX_PATH], wideName[64];
    GetTempPathW(MAX_PATH, folder);
    _snwprintf(IniPath, MAX_PATH + 16, L"%lsvm-clockwin-%ls.ini", folder, TextToWide(name, wideName, 64));
    IniPath[MAX_PATH + 15] = L'\0';
    DeleteFileW(IniPath);
}

void PumpMessages(void)
{
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
