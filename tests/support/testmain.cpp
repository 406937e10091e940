// The test program carries the applet's resources, so temporaries and texts load from itself.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/module.h"

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
