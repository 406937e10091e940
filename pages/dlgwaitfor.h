#pragma once
#include <windows.h>

#include "framework/dialog.h"

// "Wait for": DoModal returns 0 for a dial tone, the even seconds 2..254 of a timed wait, -1 for Cancel.
class CDlgWaitFor : public CDialog {
public:
    explicit CDlgWaitFor(int seconds = 0);

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The up-down's scroll notifications show (128 - position) x 2 seconds.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    int seconds;  // in: the initial wait (0: dial tone); out: the result

private:
    void EnableTime();
};
