// "About": the product picture, name, version and build.
#pragma once
#include "framework/form.h"
#include "pages/frmutils.h"

class CFrmAbout : public CFormWnd, public CFrmUtils {
public:
    CFrmAbout();
    ~CFrmAbout() override = default;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The header, then the version and build texts.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
};

extern const wchar_t kBuildText[];
