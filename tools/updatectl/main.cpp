// Drives the Update page of the sheet that another process shows, for the update demonstration.
//   updatectl check             shows the Update page and taps "Check for updates"
//   updatectl wait TITLE [S]    waits (30 s, or S) until a dialog or message box titled TITLE shows
//   updatectl answer TITLE ID   taps button ID of that window and waits until it is gone
// Exit code 0 on success, 1 when the window is not there (or does not go) in time, 2 for usage.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cwchar>

#include "resources/resource.h"

namespace {

const wchar_t kSheetCaption[] = L"Dialpass 1.0";
const int kUpdatePage = 3;

HWND WaitForDialog(const wchar_t* title, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(L"#32770", title);
        if (window && IsWindowVisible(window))
            return window;
        if (GetTickCount() - start >= timeout)
            return nullptr;
        Sleep(50);
    }
}

int Check()
{
    HWND sheet = WaitForDialog(kSheetCaption, 30000);
    if (!sheet || !SendMessageW(sheet, PSM_SETCURSEL, kUpdatePage, 0))
        return 1;
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, kUpdatePage, 0));
    HWND button = page ? GetDlgItem(page, IDC_CHECK_UPDATES) : nullptr;
    if (!button)
        return 1;
    // Posted: the tap runs the updater and its dialogs, which a sent message would wait for.
    PostMessageW(button, BM_CLICK, 0, 0);
    return 0;
}

int Answer(const wchar_t* title, int id)
{
    HWND window = WaitForDialog(title, 30000);
    HWND button = window ? GetDlgItem(window, id) : nullptr;
    if (!button)
        return 1;
    PostMessageW(button, BM_CLICK, 0, 0);
    for (int i = 0; i < 200 && IsWindow(window); ++i)
        Sleep(50);
    return IsWindow(window) ? 1 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && !wcscmp(argv[1], L"check"))
        return Check();
    if ((argc == 3 || argc == 4) && !wcscmp(argv[1], L"wait"))
        return WaitForDialog(argv[2], argc == 4 ? DWORD(_wtoi(argv[3])) * 1000 : 30000) ? 0 : 1;
    if (argc == 4 && !wcscmp(argv[1], L"answer"))
        return Answer(argv[2], _wtoi(argv[3]));
    fwprintf(stderr, L"usage: updatectl check | wait TITLE [SECONDS] | answer TITLE ID\n");
    return 2;
}
