// The library entry and the Control Panel's one export.
#include <windows.h>
#include <cpl.h>

#include "app/app.h"
#include "app/cplinfo.h"
#include "app/propsheet.h"
#include "app/sheetpages.h"
#include "base/module.h"
#include "base/collector.h"
#include "platform/shell.h"
#include "resources/resource.h"

namespace {

CPlusCplApp application;
CApp* const app = &application;

// Brings an open sheet to the front, or runs a new one owned by the Control Panel's window.
void ShowSettings(HWND controlPanel)
{
    HWND open = FindWindowW(kDialogClassName, app->title.Text());
    if (open) {
        SetForegroundWindow(open);
        return;
    }
    CFrmPropSheet sheet(sheetPages, kSheetPageCount, IDS_TAB_TITLES);
    sheet.DoModal(controlPanel, app->title.Text());  // the result is not used
    // A host may keep the library loaded for hours: what the sheet made for its own use goes now.
    garbageCollector.Collect();
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        moduleInstance = instance;
        return app->InitInstance();
    case DLL_PROCESS_DETACH:
        return app->ExitInstance(0);
    default:
        return TRUE;
    }
}

extern "C" LONG APIENTRY CPlApplet(HWND controlPanel, UINT message, LPARAM, LPARAM param2)
{
    switch (message) {
    case CPL_INIT:
    case CPL_GETCOUNT:
        return 1;
    case CPL_DBLCLK:
        ShowSettings(controlPanel);
        return 0;
    case CPL_NEWINQUIRE:
        if (param2)
            FillNewCplInfo(*reinterpret_cast<NEWCPLINFOW*>(param2), moduleInstance, IDS_APP_NAME,
                           IDS_APP_DESCRIPTION);
        return 0;
    default:
        // CPL_INQUIRE stays unanswered so the host asks for CPL_NEWINQUIRE; CPL_STARTWPARMS's
        // parameter may be null and is never read.
        return 0;
    }
}
