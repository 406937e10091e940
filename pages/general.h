// "General": card dialing on or off and the card profiles.
#pragma once
#include "pages/frmutils.h"

class CFrmGeneral : public CFrmPage {
public:
    CFrmGeneral();
};
