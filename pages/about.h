// "About": the product picture, name, version and build.
#pragma once
#include "pages/frmutils.h"

class CFrmAbout : public CFrmPage {
public:
    CFrmAbout();

protected:
    // The version and build texts.
    void OnInitPage() override;
};

extern const wchar_t kBuildText[];
