#include "app/app.h"

#include <commctrl.h>

#include "base/module.h"
#include "framework/activation.h"
#include "base/collector.h"

namespace {
// Keys, mouse moves and buttons, posted messages, timers, paint and sent messages.
const DWORD kInputWakeMask = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT |
                             QS_SENDMESSAGE;
} // namespace

int CApp::InitInstance()
{
    return 1;
}

int CApp::ExitInstance(int code)
{
    garbageCollector.Collect();
    return code;
}

DWORD CApp::WaitWithMessages(HANDLE handle, DWORD timeout)
{
    for (;;) {
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, timeout, kInputWakeMask);
        if (result != WAIT_OBJECT_0 + 1)
            return result;
        PumpMessages();
    }
}

// False when the dialog manager or the accelerators took the message.
bool CApp::Process(MSG& msg, HWND acceleratorTarget)
{
    if (activeDialogWindow && IsDialogMessageW(activeDialogWindow, &msg))
        return false;
    if (accelerators && TranslateAcceleratorW(acceleratorTarget, accelerators, &msg))
        return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void CApp::PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        Process(msg, activeWindow);
}

int CApp::Run(const int* keepRunning)
{
    const int always = 1;
    if (!keepRunning)
        keepRunning = &always;
    // With the flag already 0 nothing is retrieved and the result is 0.
    MSG msg{};
    while (*keepRunning) {
        if (GetMessageW(&msg, nullptr, 0, 0) != 1)
            break;
        Process(msg, acceleratorWindow);
        while (msg.message != WM_QUIT && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT)
                Process(msg, acceleratorWindow);
        }
        IdleLoop();
        if (msg.message == WM_QUIT)
            break;
    }
    return int(msg.wParam);
}

void CApp::IdleLoop()
{
    MSG msg;
    for (int count = 0; !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); ++count) {
        if (!OnIdle(count))
            break;
    }
}

int CApp::OnIdle(int)
{
    garbageCollector.Collect();
    return 0;
}

int CPlusCplApp::InitInstance()
{
    title.Assign(kAppTitle);

    // ICC_DATE_CLASSES brings the up-down control that the "Wait for" dialog uses.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);

    HDC screen = GetDC(nullptr);
    highResolution = GetDeviceCaps(screen, LOGPIXELSX) >= 192 ? 1 : 0;
    ReleaseDC(nullptr, screen);
    return CApp::InitInstance();
}
