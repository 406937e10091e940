// "General": card dialing on or off and the card profiles.
#pragma once
#include "framework/form.h"
#include "pages/frmutils.h"

class CFrmGeneral : public CFormWnd, public CFrmUtils {
public:
    CFrmGeneral();
    ~CFrmGeneral() override = default;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The header; the profiles arrive with the profile store.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
};
