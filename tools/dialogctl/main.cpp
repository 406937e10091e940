// Opens one of the applet's dialogs as the pages would, so a script can take a picture of it.
//   dialogctl open card|waitfor|digits|profile   runs the dialog until it is closed ("waitfor" and
//                                                "digits" open over the sequence editor)
//   dialogctl wait TITLE [SECONDS]               waits until a dialog titled TITLE is shown and drawn
//   dialogctl close                              cancels the open dialogs, innermost first
// The database is the installed one ("InstallDir"); the profile dialog detects the home location
// through the simulated network. Exit code 0 on success, 1 when a window does not come or go in
// time, 2 for usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "base/handle.h"
#include "base/module.h"
#include "data/datafile.h"
#include "data/records.h"
#include "data/stores.h"
#include "pages/dlgcard.h"
#include "pages/dlgprofile.h"
#include "resources/resource.h"

namespace {

// Titles of the dialogs, innermost first.
const wchar_t* const kTitles[] = {L"Wait for", L"Specify digits", L"Dialog", L"Dialpass profile"};

HWND FindShown(const wchar_t* title)
{
    HWND window = FindWindowW(L"#32770", title);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND WaitShown(const wchar_t* title, DWORD timeout)
{
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (HWND window = FindShown(title))
            return window;
        if (GetTickCount() - start >= timeout)
            return nullptr;
    }
}

// Plays the user on the editor from a second thread: opens "Wait for" (a 10-second wait) or
// "Specify digits" (digits typed) over it.
DWORD WINAPI OpenOverEditor(void* parameter)
{
    bool wait = parameter != nullptr;
    HWND editor = WaitShown(L"Dialog", 10000);
    if (!editor)
        return 1;
    PostMessageW(GetDlgItem(editor, wait ? IDC_CARD_ADD_WAIT : IDC_CARD_ADD_DIGITS), BM_CLICK, 0, 0);
    HWND dialog = WaitShown(wait ? L"Wait for" : L"Specify digits", 10000);
    if (!dialog)
        return 1;
    if (wait) {
        SendMessageW(GetDlgItem(dialog, IDC_WAIT_TIME), BM_CLICK, 0, 0);
        HWND spin = GetDlgItem(dialog, IDC_WAIT_SPIN);
        for (int i = 0; i < 4; ++i) {
            SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));
            SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
        }
    } else {
        SetDlgItemTextW(dialog, IDC_DIGITS, L"*31#");
    }
    return 0;
}

int OpenEditor(const wchar_t* over)
{
    // A few steps of each kind, and the access numbers of the first card provider for Germany.
    static const BYTE steps[] = {1, 0, 5, 5, 2, 0, 3, 0, 6, 2, '0', '0', 4, 0};
    CDlgCard card;
    memcpy(card.sequence, steps, sizeof(steps));
    card.sequenceLength = sizeof(steps);
    card.countryCode = 49;
    try {
        LoadProviderTable();
        if (ProviderRecord* provider = providerTable.Next(true))
            LoadAccessNumberTable(provider->shortName);
        card.accessNumbers = &accessNumberTable;
    } catch (const CTableException& error) {
        ShowTableError(nullptr, error);
    }
    UniqueHandle player;
    if (over)
        player.Reset(CreateThread(nullptr, 0, OpenOverEditor,
                                  reinterpret_cast<void*>(UINT_PTR(wcscmp(over, L"waitfor") == 0)), 0, nullptr));
    card.DoModal(nullptr);
    if (player)
        WaitForSingleObject(player.Get(), 10000);
    return 0;
}

int OpenProfile()
{
    ProfileRecord record{};
    lstrcpynW(record.name, L"Travel card", 32);
    lstrcpynW(record.account, L"20071311", 16);
    lstrcpynW(record.pin, L"4711", 16);
    record.provider = 4;  // homeId 0: the home location is detected
    CDlgProfileName profile(&record);
    profile.DoModal(nullptr);
    return 0;
}

int Close()
{
    for (const wchar_t* title : kTitles) {
        HWND window = FindShown(title);
        if (!window)
            continue;
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        for (DWORD start = GetTickCount(); IsWindow(window); Sleep(50))
            if (GetTickCount() - start >= 5000)
                return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    if (argc >= 3 && !wcscmp(argv[1], L"open")) {
        if (!wcscmp(argv[2], L"card") || !wcscmp(argv[2], L"waitfor") || !wcscmp(argv[2], L"digits"))
            return OpenEditor(wcscmp(argv[2], L"card") ? argv[2] : nullptr);
        if (!wcscmp(argv[2], L"profile"))
            return OpenProfile();
        return 2;
    }
    if (argc >= 3 && !wcscmp(argv[1], L"wait")) {
        DWORD seconds = argc > 3 ? DWORD(_wtoi(argv[3])) : 20;
        HWND window = WaitShown(argv[2], seconds * 1000);
        if (!window)
            return 1;
        // Drawn before a picture is taken of it.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    if (argc >= 2 && !wcscmp(argv[1], L"close"))
        return Close();
    fwprintf(stderr, L"usage: dialogctl open card|waitfor|digits|profile | wait TITLE [SECONDS] | close\n");
    return 2;
}
