// What the benchmarks share: the clock (seconds from the performance counter), the median of the
// timed runs, and the applet beside the program.
#pragma once
#include <windows.h>
#include <cpl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

inline double SecondsNow()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / frequency;
}

// The middle of the values; -1 when there are none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Loads dialpass.cpl from the program's folder into module; its CPlApplet, or null after telling
// standard error (as tool) why.
inline APPLET_PROC LoadAppletBeside(const wchar_t* tool, HMODULE& module)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *(wcsrchr(path, L'\\') + 1) = 0;
    wcscat(path, L"dialpass.cpl");
    module = LoadLibraryW(path);
    auto proc = module ? reinterpret_cast<APPLET_PROC>(reinterpret_cast<void*>(GetProcAddress(module, "CPlApplet")))
                       : nullptr;
    if (!proc)
        fwprintf(stderr, L"%ls: cannot load %ls (error %lu)\n", tool, path, GetLastError());
    return proc;
}
