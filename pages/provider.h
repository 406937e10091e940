// "Card settings": the current profile's card provider, the current location and the dialing
// sequences of the provider.
#pragma once
#include "pages/frmutils.h"

class CFrmProvider : public CFrmPage {
public:
    CFrmProvider();

    // Whether the page's controls exist: set once the page was first shown, never cleared.
    bool initialised = false;

protected:
    void OnInitPage() override;
};
