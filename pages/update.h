// "Update": refreshes the card database with the updater program.
#pragma once
#include "framework/form.h"
#include "pages/frmutils.h"

class CFrmUpdate : public CFormWnd, public CFrmUtils {
public:
    CFrmUpdate();
    ~CFrmUpdate() override = default;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The header; the update itself arrives with the updater's support.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
};
