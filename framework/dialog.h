// Dialogs from templates in the module's resources, and the two dialog procedures that bind a
// window to its object and turn messages into virtual calls. No window is subclassed.
#pragma once
#include <windows.h>
#include "framework/wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(DWORD templateId = 0) : templateId(templateId) {}
    ~CDialog() override = default;

    // Tracks activation of dialogs (activeDialogWindow, activeWindow), then returns 0.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Slot 9: WM_INITDIALOG once the window is bound. Returns 1 (let the platform set the focus).
    virtual INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam);

    // Runs the template modally, owned by parent's window (none for null), placed at rectangle when
    // given. Returns the EndDialog code, or -1 when the dialog could not be created.
    INT_PTR DoModal(CWnd* parent, const RECT* rectangle = nullptr, HWND insertAfter = nullptr, UINT flags = 0);
    // Creates the template modeless as a child or owned window of parent; stores and returns the
    // window, null on failure.
    HWND Create(CWnd* parent, const RECT* rectangle = nullptr, HWND insertAfter = nullptr, UINT flags = 0);

    // RT_DIALOG id in moduleInstance; 0 for an object without a template of its own.
    DWORD templateId;
};

// The WM_INITDIALOG parameter that DoModal and Create hand to DialogProc.
struct CreateParams {
    CDialog* object;
    const RECT* rectangle;  // left, top, right, bottom; null: no placement
    HWND insertAfter;
    UINT positionFlags;
};

// One tab of a property sheet: the page record's lParam points at it, and PageProc binds its page.
struct SheetPage {
    WORD icon;
    CDialog* page;
};

// Procedure of every window made by DoModal or Create.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Procedure of every property-sheet page; OnNotify's answer becomes the message result.
INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
