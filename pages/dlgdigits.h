#pragma once
#include <windows.h>

#include "framework/dialog.h"

// "Specify digits": DoModal returns 1 (OK, `digits` holds at most 15 characters) or 2 (Cancel).
class CDlgDigits : public CDialog {
public:
    CDlgDigits();

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    wchar_t digits[16] = {};
};
