// A stand-in clock window for the clock window's tests and the screenshot driver: a plain
// top-level window whose procedure forwards drawing, colours and mouse presses like the program's.
#include "clockwin/clock_host.h"
#include <commctrl.h>
#include <stdio.h>
#include "base/program.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "resource.h"
#include "base/settings.h"

static const char HostClass[] = "VELLMARIN_TEST_HOST";
int HostForwardsMouse = 1;

static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWITEM:
        if (DrawDrawnButton(static_cast<int>(wParam), reinterpret_cast<const DRAWITEMSTRUCT *>(lParam)))
            return TRUE;
        break;
    case WM_ERASEBKGND:
        if (PaintBarBackground(window, reinterpret_cast<HDC>(wParam))) return 1;
        break;
    case WM_CTLCOLORSTATIC: {
        HBRUSH brush = ClockControlColor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        if (brush) return reinterpret_cast<LRESULT>(brush);
        break;
    }
    case WM_LBUTTONDOWN:
        if (!HostForwardsMouse) break;
        BeginDrag(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (!HostForwardsMouse) break;
        DragMove(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (!HostForwardsMouse) break;
        EndDrag();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
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
    ClockWindow = CreateWindowExA(0, HostClass, "vellmarin", style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                                  NULL, NULL, ProgramInstance, NULL);
    return ClockWindow;
}

void DestroyHostClockWindow(void)
{
    TearDownClockLayout();
    if (ClockWindow) {
        DestroyWindow(ClockWindow);
        ClockWindow = NULL;
    }
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
