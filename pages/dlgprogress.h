#pragma once
#include <windows.h>

#include "framework/dialog.h"

// The result of CDlgDoUpdate beside the updater's exit codes (UpdateResult).
const INT_PTR kCancelled = -1;
const INT_PTR kNoExitCode = -2;

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
