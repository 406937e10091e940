#include "updater/watchdog.h"

#include <psapi.h>

namespace {
constexpr DWORD kCheckEveryMs = 50;
}

Watchdog::Watchdog(std::function<void(const std::wstring&)> fail, unsigned exitCode)
    : fail(std::move(fail)), exitCode(exitCode)
{
    InitializeCriticalSection(&lock);
}

Watchdog::~Watchdog()
{
    Stop();
    DeleteCriticalSection(&lock);
}

size_t Watchdog::MemoryInUse(bool peak)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        return 0;
    // Wine leaves PrivateUsage at 0; PagefileUsage counts the same private memory on both systems.
    return peak ? counters.PeakPagefileUsage : counters.PagefileUsage;
}

void Watchdog::Start(size_t memoryBytes)
{
    if (thread)
        return;
    memoryBound = memoryBytes;
    stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop)
        thread.Reset(CreateThread(nullptr, 64 * 1024, Watch, this, 0, nullptr));
}

void Watchdog::Arm(ULONGLONG until, const std::wstring& request)
{
    EnterCriticalSection(&lock);
    deadline = until;
    what = request;
    LeaveCriticalSection(&lock);
}

void Watchdog::Disarm()
{
    Arm(0, std::wstring());
}

void Watchdog::Stop()
{
    if (thread) {
        SetEvent(stop.Get());
        WaitForSingleObject(thread.Get(), INFINITE);
        thread.Close();
    }
    stop.Close();
}

void Watchdog::Trip(const std::wstring& why)
{
    fail(why);
    // The main thread may be inside WinHTTP for ever: only ending the process ends that wait.
    TerminateProcess(GetCurrentProcess(), exitCode);
}

DWORD WINAPI Watchdog::Watch(void* self)
{
    Watchdog& dog = *static_cast<Watchdog*>(self);
    while (WaitForSingleObject(dog.stop.Get(), kCheckEveryMs) == WAIT_TIMEOUT) {
        size_t used = dog.memoryBound ? MemoryInUse() : 0;
        if (used > dog.memoryBound) {
            dog.Trip(L"memory bound hit: the updater uses " + std::to_wstring(used >> 20) + L" MiB, more than its " +
                     std::to_wstring(dog.memoryBound >> 20) + L" MiB (the site sends more than any update needs)");
            break;
        }
        EnterCriticalSection(&dog.lock);
        bool late = dog.deadline && GetTickCount64() > dog.deadline;
        std::wstring what = dog.what;
        LeaveCriticalSection(&dog.lock);
        if (late) {
            dog.Trip(L"time bound hit: " + what);
            break;
        }
    }
    return 0;
}
