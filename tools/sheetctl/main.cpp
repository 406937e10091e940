// Steps the settings sheet that another process shows, so a script can take a picture of each page.
//   sheetctl wait [SECONDS]   waits until the sheet is up
//   sheetctl window TITLE [SECONDS]          waits until a top-level window titled TITLE is up
//   sheetctl show INDEX       shows page INDEX and waits until it is drawn
//   sheetctl close            closes the sheet with Cancel and waits until it is gone
//   sheetctl click PAGE ID    taps control ID of page PAGE (a dialog it opens is then waited for)
//   sheetctl dialog TITLE [SECONDS]          waits until a dialog titled TITLE is up
//   sheetctl set TITLE ID TEXT               puts TEXT into control ID of that dialog
//   sheetctl press TITLE ID                  taps control ID of that dialog and waits until it is done
//   sheetctl end TITLE COMMAND               ends that dialog with COMMAND (1 OK, 2 Cancel)
//   sheetctl answer                          answers the applet's message boxes that are up with OK
//   sheetctl ok                              presses the sheet's OK without waiting for anything
//   sheetctl hold FILE                       opens FILE without sharing, prints "held" and keeps it
//                                            open until it is ended (another program's lock)
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

HWND FindDialog(const wchar_t* title, DWORD timeout)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        HWND dialog = FindWindowW(L"#32770", title);
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        if (GetTickCount() - start >= timeout)
            return nullptr;
    }
}

// Message boxes of the applet: captioned with the product's name.
void Answer()
{
    while (HWND box = FindDialog(L"Kestrova Dialpass", 0)) {
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        for (DWORD start = GetTickCount(); IsWindow(box) && GetTickCount() - start < 5000;)
            Sleep(20);
    }
}

int Show(HWND sheet, int index)
{
    // Posted: a page may hold up the sheet with a message box while it is set up.
    if (!PostMessageW(sheet, PSM_SETCURSEL, WPARAM(index), 0))
        return 1;
    DWORD start = GetTickCount();
    for (;;) {
        Answer();
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
int DialogCommand(int argc, wchar_t** argv)
{
    DWORD seconds = !wcscmp(argv[1], L"dialog") && argc > 3 ? DWORD(_wtoi(argv[3])) : 5;
    HWND dialog = FindDialog(argv[2], seconds * 1000);
    if (!dialog) {
        fwprintf(stderr, L"sheetctl: no dialog titled \"%ls\"\n", argv[2]);
        return 1;
    }
    if (!wcscmp(argv[1], L"dialog"))
        return 0;
    int id = _wtoi(argv[3]);
    if (!wcscmp(argv[1], L"set") && argc > 4) {
        SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (!wcscmp(argv[1], L"press")) {
        SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        return 0;
    }
    if (!wcscmp(argv[1], L"end")) {
        PostMessageW(dialog, WM_COMMAND, WPARAM(id), 0);
        for (DWORD start = GetTickCount(); IsWindow(dialog); Sleep(20))
            if (GetTickCount() - start >= 5000)
                return 1;
        return 0;
    }
    return 2;
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
    if (!wcscmp(argv[1], L"window") && argc > 2) {
        DWORD seconds = argc > 3 ? DWORD(_wtoi(argv[3])) : 20;
        for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
            HWND window = FindWindowW(nullptr, argv[2]);
            if (window && IsWindowVisible(window))
                return 0;
        }
        fwprintf(stderr, L"sheetctl: no window titled \"%ls\"\n", argv[2]);
        return 1;
    }
    if (!wcscmp(argv[1], L"answer")) {
        Answer();
        return 0;
    }
    if (!wcscmp(argv[1], L"hold") && argc > 2) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        printf("held\n");
        fflush(stdout);
        Sleep(INFINITE);
    }
    if ((!wcscmp(argv[1], L"dialog") && argc > 2) || (!wcscmp(argv[1], L"set") && argc > 4) ||
        (!wcscmp(argv[1], L"press") && argc > 3) || (!wcscmp(argv[1], L"end") && argc > 3))
        return DialogCommand(argc, argv);
    HWND sheet = FindSheet(5000);
    if (!sheet) {
        fwprintf(stderr, L"sheetctl: no sheet titled \"%ls\"\n", kCaption);
        return 1;
    }
    if (!wcscmp(argv[1], L"show") && argc > 2)
        return Show(sheet, _wtoi(argv[2]));
    if (!wcscmp(argv[1], L"click") && argc > 3) {
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(_wtoi(argv[2])), 0));
        return page && PostMessageW(GetDlgItem(page, _wtoi(argv[3])), BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (!wcscmp(argv[1], L"ok"))
        return PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0) ? 0 : 1;
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
