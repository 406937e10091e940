// A bound on time and memory that holds whatever the site does. Under Wine a synchronous WinHTTP call
// can wait for ever (a site that sends its headers a byte at a time) and read without limit (an
// endless header stream), and neither its timeouts, nor closing its handle, nor its asynchronous mode
// ends that (see platform/wine-notes.md). So a thread of its own watches the clock and the process's
// memory, and when a bound is passed it writes why and ends the process with the failure exit code.
// It is armed only before installing starts: nothing it interrupts has touched the installed set.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "base/handle.h"

class Watchdog {
public:
    // fail writes the failure to the log; then the process ends with exitCode.
    Watchdog(std::function<void(const std::wstring&)> fail, unsigned exitCode);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Starts watching: the process may use at most memoryBytes of private memory (0: no bound).
    void Start(size_t memoryBytes);
    // A request (what) must end by the GetTickCount64() value deadline.
    void Arm(ULONGLONG deadline, const std::wstring& what);
    void Disarm();
    // Stops watching for good (before the installed set is touched).
    void Stop();

    // The process's private memory in bytes now and at its peak, 0 when the system does not say.
    static size_t MemoryInUse(bool peak = false);

private:
    static DWORD WINAPI Watch(void* self);
    void Trip(const std::wstring& why);

    std::function<void(const std::wstring&)> fail;
    unsigned exitCode;
    size_t memoryBound = 0;
    UniqueHandle thread;
    UniqueHandle stop;
    CRITICAL_SECTION lock;
    ULONGLONG deadline = 0;
    std::wstring what;
};
