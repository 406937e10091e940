#include "pages/update.h"

#include "base/module.h"
#include "resources/resource.h"

CFrmUpdate::CFrmUpdate() : CFormWnd(IDD_UPDATE, 0, 0) {}

LRESULT CFrmUpdate::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HeaderCtlColor(message, wParam, lParam);
}

INT_PTR CFrmUpdate::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    Attach(moduleInstance, window);
    InitHeader(IDR_HEADER, IDC_UPDATE_TITLE, 0);
    return CDialog::OnInitDialog(wParam, lParam);
}
