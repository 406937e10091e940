// Application objects: the title, start-up and message loops around the collector.
#pragma once
#include <windows.h>
#include "base/cstring.h"
#include "base/object.h"

class CApp : public CObject {
public:
    CApp() = default;
    ~CApp() override = default;
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;

    // Nonzero lets the library load.
    virtual int InitInstance();
    // Empties the collector; returns code.
    virtual int ExitInstance(int code);
    // Waits for handle while dispatching input; returns the wait result that was not "input arrived".
    virtual DWORD WaitWithMessages(HANDLE handle, DWORD timeout);
    // Dispatches every queued message without waiting.
    virtual void PumpMessages();
    // Blocking loop while *keepRunning (a null pointer means always); returns the last message's wParam.
    virtual int Run(const int* keepRunning);
    // Calls OnIdle(0, 1, 2, ...) while no message waits, until it returns 0.
    virtual void IdleLoop();
    // Empties the collector; 0 asks for no more idle calls.
    virtual int OnIdle(int count);

    HACCEL accelerators = nullptr;
    HWND acceleratorWindow = nullptr;
    CString title;

private:
    bool Process(MSG& msg, HWND acceleratorTarget);
};

class CPlusCplApp : public CApp {
public:
    ~CPlusCplApp() override = default;
    int InitInstance() override;
};
