// The five pages of the settings sheet: static objects that serve every opening of the sheet.
#pragma once
#include "framework/dialog.h"
#include "pages/about.h"
#include "pages/general.h"
#include "pages/phone.h"
#include "pages/provider.h"
#include "pages/update.h"

extern CFrmGeneral generalPage;
extern CFrmProvider providerPage;
extern CFrmPhone phonePage;
extern CFrmUpdate updatePage;
extern CFrmAbout aboutPage;

// Tab order; the icon ids are handed to the platform but not enabled.
const short kSheetPageCount = 5;
extern SheetPage sheetPages[kSheetPageCount];
