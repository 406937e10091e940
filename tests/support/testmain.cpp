// The test program carries the applet's resources, so temporaries and texts load from itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "base/module.h"
#include "data/fileset.h"

// A crash on any thread ends the run with its code: on a worker thread Wine would otherwise only start
// its debugger, and a caller that gives up waiting could still pass.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* crash)
{
    fprintf(stderr, "unhandled exception %08lx at %p\n", crash->ExceptionRecord->ExceptionCode,
            crash->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    SetUnhandledExceptionFilter(EndOnCrash);
    // A child run that takes a folder's writer lock for MS milliseconds again and again, as a writer in a
    // tight loop; with MS -1 (INFINITE) it keeps it until it is ended from outside.
    if (argc == 4 && lstrcmpW(argv[1], L"--take-folder-lock") == 0) {
        for (FolderLock lock;;) {
            FileSetError error;
            if (lock.Acquire(argv[2], kFolderLockWait, error))
                Sleep(DWORD(_wtoi(argv[3])));
            lock.Release();
        }
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
