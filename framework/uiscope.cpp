#include "framework/uiscope.h"

#include "base/module.h"

namespace {
using SetDpiContextFunction = HANDLE(WINAPI*)(HANDLE);
// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, and the first per-monitor context for systems before it.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(-4);
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(-3);

// Made once per process from the module's manifest, and released with the module.
struct ModuleContext {
    HANDLE context = INVALID_HANDLE_VALUE;
    bool tried = false;
    ~ModuleContext()
    {
        if (context != INVALID_HANDLE_VALUE)
            ReleaseActCtx(context);
    }
    HANDLE Get()
    {
        if (!tried) {
            tried = true;
            context = CreateModuleActivationContext(moduleInstance);
        }
        return context;
    }
} moduleContext;

SetDpiContextFunction SetDpiContext()
{
    static const SetDpiContextFunction function = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<SetDpiContextFunction>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")))
                      : nullptr;
    }();
    return function;
}
} // namespace

CUiScope::CUiScope()
{
    HANDLE context = moduleContext.Get();
    if (context != INVALID_HANDLE_VALUE)
        activated = ActivateActCtx(context, &activationCookie) != FALSE;
    if (SetDpiContextFunction set = SetDpiContext()) {
        previousDpiContext = set(kPerMonitorAwareV2);
        if (!previousDpiContext)
            previousDpiContext = set(kPerMonitorAware);
    }
}

CUiScope::~CUiScope()
{
    if (previousDpiContext)
        SetDpiContext()(previousDpiContext);
    if (activated)
        DeactivateActCtx(0, activationCookie);
}
