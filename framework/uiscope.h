// The thread context every window of the applet is made in: the applet's own activation context
// (common controls 6 from its manifest, resource 2, so the windows follow the user's theme) and
// per-monitor DPI awareness where the system offers it (SetThreadDpiAwarenessContext). Both belong to
// the thread and are put back when the scope ends; a system without either call changes nothing.
// Message boxes shown in the scope are fitted to the screen (platform/messagefit.h).
#pragma once
#include <windows.h>

#include "platform/messagefit.h"

// The activation context of module's manifest (resource 2, ISOLATIONAWARE_MANIFEST_RESOURCE_ID);
// INVALID_HANDLE_VALUE when there is none. Header-only, for the programs that load the applet too.
inline HANDLE CreateModuleActivationContext(HMODULE module)
{
    wchar_t path[MAX_PATH] = L"";
    if (!GetModuleFileNameW(module, path, MAX_PATH))
        return INVALID_HANDLE_VALUE;
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.hModule = module;
    request.lpResourceName = MAKEINTRESOURCEW(2);
    return CreateActCtxW(&request);
}

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
    // Made last, so the hook sees windows made in the scope's context and DPI.
    CMessageBoxFit messageBoxes;
};
