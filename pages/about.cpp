#include "pages/about.h"

#include "app/app.h"
#include "base/module.h"
#include "resources/resource.h"

const wchar_t kBuildText[] = L"0701311";

CFrmAbout::CFrmAbout() : CFormWnd(IDD_ABOUT, 0, 0) {}

LRESULT CFrmAbout::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HeaderCtlColor(message, wParam, lParam);
}

INT_PTR CFrmAbout::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    Attach(moduleInstance, window);
    InitHeader(IDR_HEADER, IDC_ABOUT_TITLE, 0);
    // The version is the application's title.
    SetDlgItemTextW(window, IDC_VERSION, kAppTitle);
    SetDlgItemTextW(window, IDC_BUILD, kBuildText);
    return CDialog::OnInitDialog(wParam, lParam);
}
