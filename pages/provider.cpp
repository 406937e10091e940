#include "pages/provider.h"

#include "resources/resource.h"

CFrmProvider::CFrmProvider() : CFrmPage(IDD_PROVIDER, IDC_PROVIDER_TITLE) {}

void CFrmProvider::OnInitPage()
{
    initialised = true;
}
