#include "framework/dialog.h"

#include <prsht.h>

#include "base/module.h"
#include "framework/activation.h"
#include "platform/fit.h"
#include "framework/uiscope.h"

namespace {

// WM_COMMAND's wParam for the done button of a full-screen dialog; modal dialogs take it as IDOK.
const WPARAM kDoneCommand = 0x10000001;

// One window-to-object cache per procedure: most messages in a row are for the same window.
struct BindingCache {
    HWND window = nullptr;
    CDialog* object = nullptr;

    CDialog* Find(HWND hwnd)
    {
        if (hwnd != window) {
            window = hwnd;
            object = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        }
        return object;
    }

    void Bind(HWND hwnd, CDialog* dialog)
    {
        window = hwnd;
        object = dialog;
        dialog->window = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    }

    void Unbind(HWND hwnd, CDialog* dialog)
    {
        dialog->window = nullptr;
        window = nullptr;
        object = nullptr;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    }
};

BindingCache dialogCache;
BindingCache pageCache;

// Steps shared by both procedures once the object is bound; isPage selects the page differences.
INT_PTR Route(BindingCache& cache, CDialog* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
              bool isPage)
{
    if (FitMessage(window, message, wParam, lParam))
        return 1;
    LRESULT handled = object->WindowProc(message, wParam, lParam);
    if (handled)
        return handled;
    switch (message) {
    case WM_DESTROY:
        cache.Unbind(window, object);
        return 1;
    case WM_NOTIFY: {
        LRESULT answer = object->OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
        if (isPage)
            SetWindowLongPtrW(window, DWLP_MSGRESULT, answer);
        return 1;
    }
    case WM_COMMAND:
        if (!isPage && wParam == kDoneCommand && !lParam)
            wParam = IDOK;
        object->OnCommand(wParam, lParam);
        return 1;
    case WM_TIMER:
        object->OnTimer(wParam);
        return 1;
    case WM_INITMENUPOPUP:
        object->OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
        return 1;
    default:
        return 0;
    }
}

const DLGTEMPLATE* FindTemplate(DWORD id)
{
    HRSRC resource = FindResourceW(moduleInstance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    HGLOBAL loaded = resource ? LoadResource(moduleInstance, resource) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

} // namespace

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_ACTIVATE) {
        if (!wParam) {
            activeDialogWindow = nullptr;
        } else {
            activeDialogWindow = window;
            activeWindow = window;
        }
    }
    return 0;
}

INT_PTR CDialog::OnInitDialog(WPARAM, LPARAM)
{
    return 1;
}

INT_PTR CDialog::DoModal(CWnd* owner, const RECT* rectangle, HWND insertAfter, UINT flags)
{
    parent = owner;
    const DLGTEMPLATE* dialogTemplate = FindTemplate(templateId);
    if (!dialogTemplate)
        return -1;  // what the platform answers for a dialog it cannot create
    CreateParams params{this, rectangle, insertAfter, flags};
    CUiScope scope;
    return DialogBoxIndirectParamW(moduleInstance, dialogTemplate, owner ? owner->window : nullptr, DialogProc,
                                   reinterpret_cast<LPARAM>(&params));
}

HWND CDialog::Create(CWnd* owner, const RECT* rectangle, HWND insertAfter, UINT flags)
{
    parent = owner;
    const DLGTEMPLATE* dialogTemplate = FindTemplate(templateId);
    CreateParams params{this, rectangle, insertAfter, flags};
    CUiScope scope;
    // The window field is set at WM_INITDIALOG already; this also covers a failed creation.
    window = dialogTemplate ? CreateDialogIndirectParamW(moduleInstance, dialogTemplate,
                                                          owner ? owner->window : nullptr, DialogProc,
                                                          reinterpret_cast<LPARAM>(&params))
                            : nullptr;
    return window;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* object = dialogCache.Find(window);
    if (object)
        return Route(dialogCache, object, window, message, wParam, lParam, false);
    if (message != WM_INITDIALOG || !lParam)
        return 0;
    const CreateParams* params = reinterpret_cast<const CreateParams*>(lParam);
    object = params->object;
    dialogCache.Bind(window, object);
    if (const RECT* r = params->rectangle)
        SetWindowPos(window, params->insertAfter, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     params->positionFlags);
    INT_PTR result = object->OnInitDialog(wParam, lParam);
    // A full-screen dialog was fitted when set up; its captions are filled in by now.
    if (IsFitted(window))
        FitControls(window, 0);
    return result;
}

INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* object = pageCache.Find(window);
    if (object)
        return Route(pageCache, object, window, message, wParam, lParam, true);
    if (message != WM_INITDIALOG || !lParam)
        return 0;
    const SheetPage* entry = reinterpret_cast<const SheetPage*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    if (!entry || !entry->page)
        return 0;
    object = entry->page;
    pageCache.Bind(window, object);
    // Still the template's size here; the page is fitted to what the sheet gives it once set up.
    RECT design;
    GetClientRect(window, &design);
    INT_PTR result = object->OnInitDialog(wParam, lParam);
    FitControls(window, design.right);
    return result;
}
