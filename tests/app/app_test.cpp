// The application object's message loops and its collector, driven on the test thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "app/app.h"
#include "base/collector.h"

namespace {

const UINT kProbe = WM_APP + 1;
std::vector<int> received;  // the wParams of the kProbe messages the probe window got

// Counts idle calls and asks for more until idleRounds.
class ProbeApp : public CApp {
public:
    int OnIdle(int count) override
    {
        idleCounts.push_back(count);
        return count < idleRounds ? 1 : 0;
    }
    std::vector<int> idleCounts;
    int idleRounds = 0;
};

LRESULT CALLBACK NoteProbe(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kProbe)
        received.push_back(int(wParam));
    return DefWindowProcW(window, message, wParam, lParam);
}

// With its flag cleared Run retrieves nothing; else it dispatches until the quit message and returns its
// code. WaitWithMessages dispatches what wakes it and goes on waiting for the handle. The idle loop counts
// until OnIdle declines, and a waiting message means no idle time at all.
TEST(AppTest, RunWaitWithMessagesAndIdleLoopDispatchUntilTheirEnd)
{
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
    }
    HWND target = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoteProbe));
    ProbeApp app;
    app.idleRounds = 3;
    app.IdleLoop();
    EXPECT_EQ(app.idleCounts, (std::vector<int>{0, 1, 2, 3}));
    app.idleCounts.clear();
    PostMessageW(target, kProbe, 1, 0);
    app.IdleLoop();
    EXPECT_TRUE(app.idleCounts.empty());

    const int stop = 0;
    EXPECT_EQ(app.Run(&stop), 0);
    EXPECT_TRUE(received.empty());
    PostMessageW(target, kProbe, 2, 0);
    PostQuitMessage(42);
    EXPECT_EQ(app.Run(nullptr), 42);
    EXPECT_EQ(received, (std::vector<int>{1, 2}));

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(target, kProbe, 3, 0);
    EXPECT_EQ(app.WaitWithMessages(event, 50), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(received, (std::vector<int>{1, 2, 3}));
    SetEvent(event);
    EXPECT_EQ(app.WaitWithMessages(event, 5000), DWORD(WAIT_OBJECT_0));
    CloseHandle(event);
    DestroyWindow(target);
}

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
