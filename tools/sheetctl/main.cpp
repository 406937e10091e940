// Steps the settings sheet that another process shows, so a script can take a picture of each page.
//   sheetctl wait [SECONDS]   waits until the sheet is up
//   sheetctl show INDEX       shows page INDEX and waits until it is drawn
//   sheetctl close            closes the sheet with Cancel and waits until it is gone
// Exit code 0 on success, 1 when the sheet is not there (or does not do it) in time, 2 for usage.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cwchar>

namespace {
const wchar_t kCaption[] = L"Dialpass 1.0";

HWND FindSheet(DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND sheet = FindWindowW(L"#32770", kCaption);
        if (sheet && IsWindowVisible(sheet))
            return sheet;
        if (GetTickCount() - start >= timeout)
            return nullptr;
        Sleep(50);
    }
}

int Show(HWND sheet, int index)
{
    if (!SendMessageW(sheet, PSM_SETCURSEL, WPARAM(index), 0))
        return 1;
    DWORD start = GetTickCount();
    for (;;) {
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(index), 0));
        if (page && IsWindowVisible(page)) {
            // Painted before a picture is taken of it.
            RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            return 0;
        }
        if (GetTickCount() - start >= 5000)
            return 1;
        Sleep(20);
    }
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    if (!wcscmp(argv[1], L"wait")) {
        DWORD seconds = argc > 2 ? DWORD(_wtoi(argv[2])) : 20;
        return FindSheet(seconds * 1000) ? 0 : 1;
    }
    HWND sheet = FindSheet(5000);
    if (!sheet) {
        fwprintf(stderr, L"sheetctl: no sheet titled \"%ls\"\n", kCaption);
        return 1;
    }
    if (!wcscmp(argv[1], L"show") && argc > 2)
        return Show(sheet, _wtoi(argv[2]));
    if (!wcscmp(argv[1], L"close")) {
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        DWORD start = GetTickCount();
        while (IsWindow(sheet)) {
            if (GetTickCount() - start >= 5000)
                return 1;
            Sleep(50);
        }
        return 0;
    }
    return 2;
}
