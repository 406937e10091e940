#include "pages/dlgprogress.h"

#include "resources/resource.h"

namespace {

const UINT_PTR kWatchTimer = 1;
const UINT kWatchPeriodMs = 200;
const DWORD kWatchWaitMs = 50;

}  // namespace

CDlgDoUpdate::CDlgDoUpdate(PROCESS_INFORMATION& process) : CDialog(IDD_DO_UPDATE), process(process) {}

INT_PTR CDlgDoUpdate::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    SetTimer(window, kWatchTimer, kWatchPeriodMs, nullptr);
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgDoUpdate::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The UI thread never waits longer than one short wait per tick.
    if (message == WM_TIMER && wParam == kWatchTimer &&
        WaitForSingleObject(process.hProcess, kWatchWaitMs) != WAIT_TIMEOUT) {
        KillTimer(window, kWatchTimer);
        DWORD code = 0;
        EndDialog(window, GetExitCodeProcess(process.hProcess, &code) ? INT_PTR(int(code)) : kNoExitCode);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

LRESULT CDlgDoUpdate::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDCANCEL) {
        KillTimer(window, kWatchTimer);
        TerminateProcess(process.hProcess, 0);
        EndDialog(window, kCancelled);
    }
    return CDialog::OnCommand(wParam, lParam);
}
