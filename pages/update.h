// "Update": refreshes the card database by running the updater program of the installation folder,
// watching it in a progress dialog and offering its log when it fails.
#pragma once
#include <windows.h>

#include <string>

#include "pages/frmutils.h"

class CFrmProvider;

// Base URL of the update site when the value "UpdateURL" (REG_SZ) under the applet's key is absent.
extern const wchar_t kDefaultUpdateUrl[];

class CFrmUpdate : public CFrmPage {
public:
    // provider: the Card settings page, shown the new data after an update.
    explicit CFrmUpdate(CFrmProvider& provider);
    // 1017 runs the update; every command then goes on to the form.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void CheckForUpdates();

    CFrmProvider& provider;
};
