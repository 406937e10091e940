// The test program carries the applet's resources, so temporaries and texts load from itself.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/app.h"
#include "base/module.h"

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    // A child run that reports how start-up judged this process's screen (tests change the DPI for it).
    if (argc == 2 && lstrcmpW(argv[1], L"--report-high-resolution") == 0) {
        CPlusCplApp app;
        app.InitInstance();
        return highResolution;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
