// Opening time of the settings sheet: from CPL_DBLCLK until the first page is shown, side by side
// with a bare property sheet made from the same five page templates with no logic of its own, with the
// same common controls. The
// applet's sheet fills the work area, so the bare one is given the same outer size in one move (its
// children stay where the template put them): both paint a window of one size, and what the applet
// does to lay itself out stays on its side of the ratio.
//   bench-sheet [RUNS]     (default 15; dialpass.cpl is taken from the program's folder)
// Prints the first (cold) time of each, the medians of the others and their ratio.
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>

#include "base/handle.h"
#include "framework/uiscope.h"
#include "tools/benchclock.h"
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {
const wchar_t kAppletCaption[] = L"Dialpass 1.0";
const wchar_t kBareCaption[] = L"Bare sheet";
const WORD kTemplates[] = {106, 102, 110, 111, 134};
const wchar_t* const kTitles[] = {L"General", L"Card settings", L"Phone settings", L"Update", L"About"};

HMODULE applet;
APPLET_PROC appletProc;

INT_PTR CALLBACK BarePage(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

int CALLBACK BareSheetCallback(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(sheet, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
}

DWORD WINAPI OpenApplet(void*)
{
    appletProc(nullptr, CPL_DBLCLK, 0, 120);
    return 0;
}

// The applet makes its windows with common controls 6 (its manifest, resource 2), themed where a
// theme is on: the bare sheet is made the same way, so that both paint the same controls.
HANDLE AppletActivationContext()
{
    static HANDLE context = CreateModuleActivationContext(applet);
    return context;
}

DWORD WINAPI OpenBare(void*)
{
    ULONG_PTR cookie = 0;
    bool activated = AppletActivationContext() != INVALID_HANDLE_VALUE && ActivateActCtx(AppletActivationContext(), &cookie);
    HPROPSHEETPAGE pages[5];
    for (int i = 0; i < 5; ++i) {
        PROPSHEETPAGEW page{};
        page.dwSize = sizeof(page);
        page.dwFlags = PSP_USETITLE;
        page.hInstance = applet;
        page.pszTemplate = MAKEINTRESOURCEW(kTemplates[i]);
        page.pszTitle = kTitles[i];
        page.pfnDlgProc = BarePage;
        pages[i] = CreatePropertySheetPageW(&page);
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_NOAPPLYNOW | PSH_USECALLBACK;
    header.pfnCallback = BareSheetCallback;
    header.hInstance = applet;
    header.pszCaption = kBareCaption;
    header.nPages = 5;
    header.phpage = pages;
    PropertySheetW(&header);
    if (activated)
        DeactivateActCtx(0, cookie);
    return 0;
}

// Milliseconds.
double Now()
{
    return SecondsNow() * 1000.0;
}

// Milliseconds from starting the thread until the sheet's first page is visible; -1 on timeout.
// The sheet's outer size when shown goes to size.
double TimeOpening(LPTHREAD_START_ROUTINE open, const wchar_t* caption, SIZE& size)
{
    double start = Now();
    UniqueHandle thread(CreateThread(nullptr, 0, open, nullptr, 0, nullptr));
    double shown = -1;
    HWND sheet = nullptr;
    while (Now() - start < 10000) {
        sheet = FindWindowW(L"#32770", caption);
        if (sheet && IsWindowVisible(sheet)) {
            HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 0, 0));
            if (page && IsWindowVisible(page)) {
                // The sheet's thread has handled what was queued before it (its first paint included).
                SendMessageW(sheet, WM_NULL, 0, 0);
                shown = Now() - start;
                RECT r;
                GetWindowRect(sheet, &r);
                size = {r.right - r.left, r.bottom - r.top};
                break;
            }
        }
        SwitchToThread();
    }
    if (sheet)
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    WaitForSingleObject(thread.Get(), 10000);
    return shown;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = argc > 1 ? _wtoi(argv[1]) : 15;
    if (runs < 2)
        runs = 2;
    appletProc = LoadAppletBeside(L"bench-sheet", applet);
    if (!appletProc)
        return 1;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    std::vector<double> applet, bare;
    double appletCold = 0, bareCold = 0;
    SIZE appletSize{}, bareSize{};
    for (int i = 0; i < runs; ++i) {
        // Alternate, the bare sheet first, so neither gets the warmer system.
        double b = TimeOpening(OpenBare, kBareCaption, bareSize);
        double a = TimeOpening(OpenApplet, kAppletCaption, appletSize);
        if (a < 0 || b < 0) {
            fwprintf(stderr, L"bench-sheet: a sheet did not show within 10 s (run %d)\n", i);
            return 1;
        }
        if (getenv("BENCH_VERBOSE"))
            wprintf(L"  run %2d: applet %7.2f ms, bare %7.2f ms\n", i, a, b);
        if (i == 0) {
            bareCold = b;
            appletCold = a;
        } else {
            bare.push_back(b);
            applet.push_back(a);
        }
    }
    double a = Median(applet), b = Median(bare);
    wprintf(L"CPL_DBLCLK to first page shown, %d runs; sheets of %ldx%ld (applet) and %ldx%ld (bare)\n", runs,
            appletSize.cx, appletSize.cy, bareSize.cx, bareSize.cy);
    wprintf(L"  first run:   applet %7.2f ms   bare sheet %7.2f ms   ratio %.2f\n", appletCold, bareCold,
            appletCold / bareCold);
    wprintf(L"  median rest: applet %7.2f ms   bare sheet %7.2f ms   ratio %.2f (goal <= 1.20)\n", a, b, a / b);
    return 0;
}
