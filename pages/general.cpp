#include "pages/general.h"

#include "resources/resource.h"

CFrmGeneral::CFrmGeneral() : CFrmPage(IDD_GENERAL, IDC_GENERAL_TITLE) {}
