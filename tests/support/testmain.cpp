// The test program carries the applet's resources, so temporaries and texts load from itself.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/module.h"
#include "data/fileset.h"

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    // A child run that takes a folder's writer lock and keeps it until it is ended from outside.
    if (argc == 3 && lstrcmpW(argv[1], L"--hold-folder-lock") == 0) {
        FolderLock lock;
        FileSetError error;
        if (!lock.Acquire(argv[2], kFolderLockWait, error))
            return 1;
        Sleep(INFINITE);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
