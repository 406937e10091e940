// The application object hands its collector's objects back.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/app.h"
#include "base/collector.h"

namespace {

// The applet ends its application object when the Control Panel lets it go: what was kept for
// collection goes then, as it goes at idle time.
TEST(AppTest, ExitInstanceAndOnIdleEmptyTheCollector)
{
    struct Flag : CObject {
        explicit Flag(int* deleted) : deleted(deleted) {}
        ~Flag() override { ++*deleted; }
        int* deleted;
    };
    CApp app;
    int deleted = 0;
    NewTemporary<Flag>(&deleted);
    EXPECT_EQ(app.ExitInstance(9), 9);
    EXPECT_EQ(deleted, 1);
    NewTemporary<Flag>(&deleted);
    EXPECT_EQ(app.OnIdle(0), 0);
    EXPECT_EQ(deleted, 2);
}

} // namespace
