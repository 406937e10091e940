// A window reached through an object: messages arrive as virtual calls (see dialog.h for the routing).
#pragma once
#include <windows.h>
#include "base/object.h"

class CWnd : public CObject {
public:
    CWnd() = default;
    ~CWnd() override = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Slot 1: reserved hook; nothing calls it. Returns 0.
    virtual LRESULT Hook(WPARAM wParam, LPARAM lParam);
    // Slot 2: WM_TIMER with the timer id.
    virtual void OnTimer(UINT_PTR id);
    // Slot 3: WM_NOTIFY. Returns the answer (a page's message result); 0 here.
    virtual LRESULT OnNotify(WPARAM wParam, NMHDR* header);
    // Slot 4: WM_COMMAND. Returns 0 here.
    virtual LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    // Slot 5: WM_INITMENUPOPUP with the menu and the item index.
    virtual void OnInitMenuPopup(HMENU menu, UINT index);
    // Slot 6: sees every message first. Nonzero is returned to the platform at once.
    // Here: tracks activation, then the default window procedure's result.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Slot 7: destroys the window. Returns DestroyWindow's result.
    virtual BOOL Destroy();
    // Slot 8: ShowWindow with command. Returns whether the window was visible before.
    virtual BOOL Show(int command);

    // The bound window; null until the window exists and again after WM_DESTROY.
    HWND window = nullptr;
    // The owner given when the window was created.
    CWnd* parent = nullptr;
};
