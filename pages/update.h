// "Update": refreshes the card database with the updater program.
#pragma once
#include "pages/frmutils.h"

class CFrmUpdate : public CFrmPage {
public:
    CFrmUpdate();
};
