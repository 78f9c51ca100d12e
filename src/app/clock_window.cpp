// The clock window's procedure with its message and command tables, its window class and the
// first showing; the program and the tests drive this one procedure.
#include "app/clock_window.h"
#include "app/elevation_wait.h"
#include "app/clock_tick.h"

#include "base/program.h"
#include "app/sync_machine.h"
#include "clockwin/display.h"
#include "clockwin/drawn_buttons.h"
#include "clockwin/layout.h"
#include "clockwin/placement.h"
#include "clockwin/scaling.h"
#include "logs/correction_log.h"
#include "resource.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

// A lookup has found the address the query asks: the status names it, painted before the request
// goes out as the rest of the announcement was.
static void NameLookedUpAddress(void)
{
    ShowQueryStatus();
    if (ClockWindow)
        RedrawWindow(ClockWindow, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The start-up placement may move the window onto a monitor of another scaling: it is laid out
// again there (through WM_DPICHANGED, or here where that did not come), and the size that gives
// is placed once more.
static void PlaceAtStart(HWND window)
{
    RECT before, after;
    GetWindowRect(window, &before);
    if (!PlaceClockWindow())
        return;
    int dpi = WindowDpi(window);
    if (dpi != LayoutDpi())
        RelayoutClockForDpi(dpi);
    GetWindowRect(window, &after);
    if (after.right - after.left != before.right - before.left ||
        after.bottom - after.top != before.bottom - before.top)
        PlaceClockWindow();
}

// Creation steps: the layout, the first display, the timer and the machine's first state,
// then the start-up placement that the closing steps compare against.
static LRESULT OnCreate(HWND window)
{
    ClockWindow = window;
    AnnounceLookedUpAddress = NameLookedUpAddress;
    BuildClockLayout();
    ShowDateTime();
    ArmClockTimer(window);
    HandOverFailedCorrection = OfferElevation;
    BeginStartDelay();
    if (Settings.FormStyle == StandardStyle)
        SetStatusText("ようこそ vellmarin へ。");
    PlaceAtStart(window);
    GetWindowRect(window, &CreationRect);
    ApplyTopmost(Settings.Topmost);
    return 0;
}

static LRESULT OnClose(HWND window)
{
    if (Settings.Position == 1) {
        RECT now;
        if (GetWindowRect(window, &now) &&
            (now.top != CreationRect.top || now.left != CreationRect.left)) {
            DWORD error = SaveWindowPosition(window);
            if (error != 0)
                ShowWriteError(SettingsNotSavedText, error);
        }
    }
    DestroyWindow(window);
    return 0;
}

static LRESULT OnDestroy(void)
{
    // A lookup still running is let go now, so its worker never posts to the window it had.
    CloseExchange();
    TearDownClockLayout();
    PostQuitMessage(0);
    return 0;
}

// The window moved to a monitor of another scaling, or the scaling changed: it takes the
// rectangle Windows suggests (so it stays on that monitor), and the layout is built again there
// at the new DPI, keeping as a change of look does the server list, the selection, the status and
// the state machine; the layout's own size then only mends the rounding.
static LRESULT OnDpiChanged(HWND window, WPARAM wParam, const RECT *suggested)
{
    if (suggested)
        SetWindowPos(window, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    RelayoutClockForDpi(HIWORD(wParam));
    ShowControlsForState();
    RedrawWindow(window, NULL, NULL, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    return 0;
}

static void OnServerSwitch(void)
{
    EnterState(Idle);
    SelectNextServer();
    SetStatusText(SelectedServerName());
    StatusHold = 3;
}

static void OnServerListOpening(void)
{
    EnterState(Idle);
    SetStatusText(ExchangeRecord.ResultMessage);
}

// Returns 1 when the command was handled, 0 for default processing.
static int OnCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_OPTIONS_BUTTON: Dispatch(SettingsButton); return 1;
    case IDC_RUN_BUTTON: Dispatch(SyncButton); return 1;
    case IDC_CLOSE_BUTTON: SendMessageW(window, WM_CLOSE, 0, 0); return 1;
    case IDC_SWITCH_BUTTON: OnServerSwitch(); return 1;
    case IDC_MINIMIZE_BUTTON: ShowWindow(window, SW_MINIMIZE); return 1;
    case IDC_SERVER_COMBO:
        if (HIWORD(wParam) != CBN_DROPDOWN)
            return 0;
        OnServerListOpening();
        return 1;
    }
    return 0;
}

LRESULT CALLBACK ClockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_CLOSE: return OnClose(window);
    case WM_DESTROY: return OnDestroy();
    case WM_ERASEBKGND:
        if (PaintBarBackground(window, (HDC)wParam))
            return 1;
        break;
    case WM_DRAWITEM: return DrawDrawnButton((int)wParam, (const DRAWITEMSTRUCT *)lParam) ? 1 : 0;
    case WM_COMMAND:
        if (OnCommand(window, wParam))
            return 0;
        break;
    case WM_TIMER: ClockTimerFired(window); return 0;
    case WM_DPICHANGED: return OnDpiChanged(window, wParam, (const RECT *)lParam);
    case WM_CTLCOLORSTATIC: {
        HBRUSH brush = ClockControlColor((HWND)lParam, (HDC)wParam);
        if (brush)
            return (LRESULT)brush;
        break;
    }
    case WM_MOUSEMOVE: DragMove(window, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_LBUTTONDOWN: BeginDrag(window, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_LBUTTONUP: EndDrag(); return 0;
    case WM_HOST_RESOLVED:
        if (DispatchExchangeResult(OnHostResolved(wParam, lParam)))
            return 0;
        break;
    case WM_REPLY_RECEIVED:
        if (DispatchExchangeResult(OnReplyReceived(wParam, lParam)))
            return 0;
        break;
    case WM_ELEVATION_STARTED: OnElevationStarted(wParam, lParam); return 0;
    case WM_POWERBROADCAST:
        // The first of the resume notifications, sent after every wake; the later
        // PBT_APMRESUMESUSPEND (a user is there) must not start a second query.
        if (wParam == PBT_APMRESUMEAUTOMATIC)
            SystemResumed();
        break;
    case WM_NCDESTROY:
        // Nothing may address the window after this, however late a message arrives.
        if (ClockWindow == window)
            ClockWindow = NULL;
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RegisterClockClass(const WCHAR *className)
{
    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ClockWindowProc;
    windowClass.hInstance = ProgramInstance;
    windowClass.hIcon = LoadIconW(ProgramInstance, MAKEINTRESOURCEW(IDI_CLOCK));
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) ? 0 : -1;
}

void ShowClockWindow(void)
{
    if (!ClockWindow)
        return;
    ShowWindow(ClockWindow, Settings.Position == 7 ? SW_MINIMIZE : SW_SHOW);
    UpdateWindow(ClockWindow);
}
