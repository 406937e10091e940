// "Card settings": the current profile's card provider, the current location and the dialing
// sequences of the provider.
#pragma once
#include "framework/form.h"
#include "pages/frmutils.h"

class CFrmProvider : public CFormWnd, public CFrmUtils {
public:
    CFrmProvider();
    ~CFrmProvider() override = default;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The header; the provider and the locations arrive with the database. Sets initialised.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    // Whether the page's controls exist: set once the page was first shown, never cleared.
    bool initialised = false;
};
