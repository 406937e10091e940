// The settings sheet: one modal property sheet over the static table of pages.
#pragma once
#include <windows.h>
#include <prsht.h>
#include "framework/dialog.h"

class CFrmPropSheet : public CDialog {
public:
    // pages: the table, count entries in tab order; titlesId: string of ";"-separated tab titles.
    CFrmPropSheet(SheetPage* pages, short count, short titlesId);
    ~CFrmPropSheet() override = default;

    // Runs the sheet modally, owned by owner, with caption; starts on the first page. Returns the
    // platform's result (1 OK, 0 Cancel, -1 when the sheet could not be made).
    INT_PTR DoModal(HWND owner, const wchar_t* caption);

    short pageCount;
    short titlesId;
    SheetPage* pages;
};

// The sheet's callback: empty menu bar and maximised window at PSCB_INITIALIZED.
int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
// The pages' callback: every page may be created.
UINT CALLBACK PageCallback(HWND window, UINT message, PROPSHEETPAGEW* page);
