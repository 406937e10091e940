// Runs one of the applet's dialogs modally on a UI thread of its own, owned by a hidden window of that
// thread, as the applet does; the test plays the user from its own thread through messages.
#pragma once
#include <windows.h>

#include <string>

#include "data/stores.h"
#include "framework/dialog.h"
#include "support/sheetdriver.h"

class ModalDialog {
public:
    // Starts DoModal and waits for the dialog's window, which may still hide behind a message box of its set-up.
    ModalDialog(CDialog& dialog, const wchar_t* title);
    ~ModalDialog();  // ends every dialog and box of its thread still open (code -2) and waits
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    HWND Window() const { return window; }
    HWND Item(int id) const { return GetDlgItem(window, id); }
    // Click returns at once; PostClick is for a click that opens a window or ends the dialog.
    void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    void PostClick(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
    void SoftKey(int id) const { PostMessageW(window, WM_COMMAND, WPARAM(id), 0); }  // a menu bar's key
    bool Ended(DWORD timeout = kWindowTimeout);  // DoModal returned, with result
    // A visible dialog of this dialog's thread with this title (a nested dialog, a message box).
    HWND Find(const wchar_t* title, DWORD timeout = kWindowTimeout) const;

    INT_PTR result = -3;

private:
    static DWORD WINAPI Run(void* self);

    CDialog& dialog;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HWND host = nullptr;
    HWND window = nullptr;
};

// The text of the applet's message box on the dialog's thread, answered with OK; empty when none came.
std::wstring AnswerMessage(const ModalDialog& dialog, DWORD timeout = kWindowTimeout);

inline std::wstring Selected(HWND box)  // a combo box's selected entry, or "(none)"
{
    return SendMessageW(box, CB_GETCURSEL, 0, 0) < 0 ? L"(none)" : WindowText(box);
}

// A card profile with account 12345 and PIN 9876, this card provider and home (country code and id).
ProfileRecord TestProfile(const wchar_t* name, uint32_t provider, uint32_t homeCode, uint32_t homeId);
// Adds profiles of these names (card provider 1, home Germany) to the profiles file at path; false when not saved.
bool StoreTestProfiles(const std::wstring& path, std::initializer_list<const wchar_t*> names);

// The simulated cellular line reports op as its network operator ("MCC MNC"); null: no network.
void SetSimulatedOperator(const wchar_t* op);
