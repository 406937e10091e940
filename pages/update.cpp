#include "pages/update.h"

#include "resources/resource.h"

CFrmUpdate::CFrmUpdate() : CFrmPage(IDD_UPDATE, IDC_UPDATE_TITLE) {}
