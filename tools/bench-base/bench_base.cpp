// Prints the cost of the string and container hot paths: what loading tables and pages does most.
#include <windows.h>

#include <cstdio>

#include "tools/benchclock.h"

#include "base/cstring.h"
#include "base/propstr.h"
#include "base/tree.h"

namespace {

template <class Work>
void Measure(const char* name, int count, Work work)
{
    double start = SecondsNow();
    unsigned sink = work(count);
    double elapsed = SecondsNow() - start;
    printf("%-44s %10d ops %9.1f ns/op  (check %u)\n", name, count, elapsed * 1e9 / count, sink);
}

} // namespace

int wmain()
{
    Measure("CString assign of a 20-character text", 1000000, [](int n) {
        CString s;
        unsigned total = 0;
        for (int i = 0; i < n; ++i)
            total += s.Assign(i & 1 ? L"Dial the access numb" : L"Wait for dial tone").Length();
        return total;
    });
    // Every append that does not fit reallocates exactly: quadratic by design, sized for short texts.
    Measure("CString append of 3 characters (exact fit)", 300, [](int n) {
        CString s;
        for (int i = 0; i < n; ++i)
            s.Append(L"abc");
        return s.Length();
    });
    Measure("CString from 8-bit text (Windows-1250)", 1000000, [](int n) {
        unsigned total = 0;
        for (int i = 0; i < n; ++i)
            total += CString("Brno \x8A\x9A\xE8 Praha").Length();
        return total;
    });
    Measure("CString path join", 1000000, [](int n) {
        CString dir(L"C:\\Program Files\\Dialpass");
        unsigned total = 0;
        for (int i = 0; i < n; ++i)
            total += ConcatPath(dir, L"country.dat").Length();
        return total;
    });
    Measure("TArray::At sequential over 64k indexes", 1 << 16, [](int n) {
        TArray<int, int, 64> array;
        for (int i = 0; i < n; ++i)
            array.At(i) = i;
        return unsigned(array.Count());
    });
    Measure("TArray::At scattered over 4096 blocks", 1 << 20, [](int n) {
        TArray<int, int, 64> array;
        unsigned total = 0;
        for (int i = 0; i < n; ++i)
            total += unsigned(++array.At(int((unsigned(i) * 40503u) & 4095u) * 64));
        return total;
    });
    Measure("CPropertyString split of the tab titles", 100000, [](int n) {
        CPropertyString titles;
        unsigned total = 0;
        for (int i = 0; i < n; ++i) {
            titles.SetText(L"General;Card settings;Phone settings;Update;About");
            total += unsigned(titles.Count());
        }
        return total;
    });
    return 0;
}
