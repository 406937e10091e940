#include "app/sheetpages.h"

CFrmGeneral generalPage(providerPage);
CFrmProvider providerPage;
CFrmPhone phonePage;
CFrmUpdate updatePage(providerPage);
CFrmAbout aboutPage;

SheetPage sheetPages[kSheetPageCount] = {
    {0, &generalPage}, {0, &providerPage}, {0, &phonePage}, {0, &updatePage}, {0, &aboutPage},
};
