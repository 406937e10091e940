// "Update": refreshes the card database by running the updater program of the installation folder,
// watching it in a progress dialog and offering its log when it fails.
#pragma once
#include <windows.h>

#include <string>

#include "framework/dialog.h"
#include "pages/frmutils.h"

class CFrmProvider;

// Base URL of the update site when the value "UpdateURL" (REG_SZ) under the applet's key is absent.
extern const wchar_t kDefaultUpdateUrl[];

// The updater's argument text: base URL, "DIR", update.xml, "DIR", "\Temp\Dialpass", "DIRupdate.log"
// (dir ends in a backslash, which stays right before the closing quote).
std::wstring UpdaterArguments(const wchar_t* baseUrl, const wchar_t* dir);

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

// "Update" progress: watches the updater every 200 ms (waiting at most 50 ms) and ends with its exit
// code; -1 when "Cancel update" terminated it, -2 when its exit code cannot be read.
class CDlgDoUpdate : public CDialog {
public:
    explicit CDlgDoUpdate(PROCESS_INFORMATION& process);

    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    PROCESS_INFORMATION& process;
};

// "Log file": shows a text file (8-bit, the ANSI code page) read-only; ends with command 1 or 2.
class CDlgTextFile : public CDialog {
public:
    explicit CDlgTextFile(const wchar_t* path);

    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

    wchar_t path[260] = {};
};
