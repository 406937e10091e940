#include "app/cplinfo.h"

#include "resources/resource.h"

void FillNewCplInfo(NEWCPLINFOW& info, HINSTANCE module, UINT nameId, UINT descriptionId)
{
    ZeroMemory(&info, sizeof(info));
    info.dwSize = sizeof(info);
    info.lData = kAppletData;
    info.hIcon = LoadIconW(module, MAKEINTRESOURCEW(IDI_APPLET));
    // LoadStringW cuts to the buffer and always terminates.
    LoadStringW(module, nameId, info.szName, ARRAYSIZE(info.szName));
    LoadStringW(module, descriptionId, info.szInfo, ARRAYSIZE(info.szInfo));
}
