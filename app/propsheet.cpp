#include "app/propsheet.h"

#include <commctrl.h>
#include <prsht.h>

#include "base/module.h"
#include "base/propstr.h"
#include "framework/uiscope.h"
#include "platform/propsheet.h"
#include "platform/shell.h"

namespace {
const int kMaxPages = 8;
// Asked by the device's sheet; on the desktop 3 is PSCB_BUTTONPRESSED, whose answer is ignored.
const UINT kSheetGetVersion = 3;
const int kSheetVersion = 0x020E;
} // namespace

CFrmPropSheet::CFrmPropSheet(SheetPage* pageTable, short count, short titles)
    : CDialog(0), pageCount(count), titlesId(titles), pages(pageTable)
{
}

INT_PTR CFrmPropSheet::DoModal(HWND owner, const wchar_t* caption)
{
    // The pages and every dialog they open are made inside the sheet's call.
    CUiScope scope;
    CPropertyString titles(moduleInstance, titlesId);
    HPROPSHEETPAGE handles[kMaxPages];
    int count = 0;
    for (int i = 0; i < pageCount && i < kMaxPages; ++i) {
        PROPSHEETPAGEW page{};
        page.dwSize = PROPSHEETPAGEW_V1_SIZE;
        page.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
        page.hInstance = moduleInstance;
        page.pszTemplate = MAKEINTRESOURCEW(pages[i].page->templateId);
        page.pszIcon = MAKEINTRESOURCEW(pages[i].icon);
        page.pszTitle = i < titles.Count() ? titles.At(i).Text() : L"";
        page.pfnDlgProc = PageProc;
        page.lParam = reinterpret_cast<LPARAM>(&pages[i]);
        page.pfnCallback = PageCallback;
        HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page);
        if (handle)
            handles[count++] = handle;
    }

    PROPSHEETHEADERW header{};
    header.dwSize = PROPSHEETHEADERW_V1_SIZE;
    // No PSH_MAXIMIZE: the desktop reads 0x2000 as a wizard; SheetCallback maximises instead. No
    // Apply button either: the device's sheet has none, and its pages save only on OK.
    header.dwFlags = PSH_USECALLBACK | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = moduleInstance;
    header.pszCaption = caption;
    header.nPages = UINT(count);
    header.nStartPage = 0;
    header.phpage = handles;
    header.pfnCallback = SheetCallback;
    return PropertySheetW(&header);
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM)
{
    switch (message) {
    case PSCB_INITIALIZED: {
        SHMENUBARINFO bar{};
        bar.cbSize = sizeof(bar);
        bar.hwndParent = sheet;
        bar.dwFlags = SHCMBF_EMPTYBAR;
        bar.hInstRes = moduleInstance;
        SHCreateMenuBar(&bar);
        MaximizeSheet(sheet);
        return 0;
    }
    case kSheetGetVersion:
        return kSheetVersion;
    default:
        return 0;
    }
}

UINT CALLBACK PageCallback(HWND, UINT, PROPSHEETPAGEW*)
{
    return UINT(-1);
}
