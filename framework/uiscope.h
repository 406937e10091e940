// The thread context every window of the applet is made in: the applet's own activation context
// (common controls 6 from its manifest, resource 2, so the windows follow the user's theme) and
// per-monitor DPI awareness where the system offers it (SetThreadDpiAwarenessContext). Both belong to
// the thread and are put back when the scope ends; a system without either call changes nothing.
#pragma once
#include <windows.h>

class CUiScope {
public:
    CUiScope();
    ~CUiScope();
    CUiScope(const CUiScope&) = delete;
    CUiScope& operator=(const CUiScope&) = delete;

private:
    ULONG_PTR activationCookie = 0;
    bool activated = false;
    HANDLE previousDpiContext = nullptr;
};
