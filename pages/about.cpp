#include "pages/about.h"

#include "base/module.h"
#include "resources/resource.h"

const wchar_t kBuildText[] = L"0701311";

CFrmAbout::CFrmAbout() : CFrmPage(IDD_ABOUT, IDC_ABOUT_TITLE) {}

void CFrmAbout::OnInitPage()
{
    // The version is the application's title.
    SetDlgItemTextW(window, IDC_VERSION, kAppTitle);
    SetDlgItemTextW(window, IDC_BUILD, kBuildText);
}
