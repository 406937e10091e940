#pragma once
#include <windows.h>

#include "framework/dialog.h"

// "Log file": shows a text file (8-bit, the ANSI code page) read-only; ends with command 1 or 2.
class CDlgTextFile : public CDialog {
public:
    explicit CDlgTextFile(const wchar_t* path);

    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

    wchar_t path[260] = {};
};
