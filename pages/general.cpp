#include "pages/general.h"

#include "base/module.h"
#include "resources/resource.h"

CFrmGeneral::CFrmGeneral() : CFormWnd(IDD_GENERAL, 0, 0) {}

LRESULT CFrmGeneral::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HeaderCtlColor(message, wParam, lParam);
}

INT_PTR CFrmGeneral::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    Attach(moduleInstance, window);
    InitHeader(IDR_HEADER, IDC_GENERAL_TITLE, 0);
    return CDialog::OnInitDialog(wParam, lParam);
}
