#include "pages/provider.h"

#include "base/module.h"
#include "resources/resource.h"

CFrmProvider::CFrmProvider() : CFormWnd(IDD_PROVIDER, 0, 0) {}

LRESULT CFrmProvider::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HeaderCtlColor(message, wParam, lParam);
}

INT_PTR CFrmProvider::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    Attach(moduleInstance, window);
    InitHeader(IDR_HEADER, IDC_PROVIDER_TITLE, 0);
    initialised = true;
    return CDialog::OnInitDialog(wParam, lParam);
}
