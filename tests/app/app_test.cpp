// The application object's start-up and message loops, driven on the test thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "base/module.h"
#include "framework/collector.h"

namespace {

const UINT kProbe = WM_APP + 1;

// Counts idle calls and records what its message window received.
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

struct MessageWindow {
    MessageWindow()
    {
        window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
        received.clear();
    }
    ~MessageWindow() { DestroyWindow(window); }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == kProbe)
            received.push_back(int(wParam));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window;
    static std::vector<int> received;
};
std::vector<int> MessageWindow::received;

void DrainQueue()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(AppTest, InitInstanceSetsTitleAndScreenFlag)
{
    CPlusCplApp app;
    EXPECT_EQ(app.InitInstance(), 1);
    EXPECT_STREQ(app.title.Text(), L"Dialpass 1.0");
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(highResolution, dpi >= 192 ? 1 : 0) << "LOGPIXELSX " << dpi;
}

TEST(AppTest, RunDispatchesUntilQuitAndReturnsItsCode)
{
    DrainQueue();
    MessageWindow target;
    ProbeApp app;
    PostMessageW(target.window, kProbe, 1, 0);
    PostMessageW(target.window, kProbe, 2, 0);
    PostQuitMessage(42);
    EXPECT_EQ(app.Run(nullptr), 42);
    EXPECT_EQ(MessageWindow::received, (std::vector<int>{1, 2}));
}

TEST(AppTest, RunWithClearedFlagRetrievesNothing)
{
    DrainQueue();
    MessageWindow target;
    ProbeApp app;
    PostMessageW(target.window, kProbe, 1, 0);
    const int stop = 0;
    EXPECT_EQ(app.Run(&stop), 0);
    EXPECT_TRUE(MessageWindow::received.empty());
    DrainQueue();
}

TEST(AppTest, IdleLoopCountsUntilOnIdleDeclines)
{
    DrainQueue();
    ProbeApp app;
    app.idleRounds = 3;
    app.IdleLoop();
    EXPECT_EQ(app.idleCounts, (std::vector<int>{0, 1, 2, 3}));
}

TEST(AppTest, IdleLoopWaitsWhileMessagesAreQueued)
{
    DrainQueue();
    MessageWindow target;
    ProbeApp app;
    app.idleRounds = 5;
    PostMessageW(target.window, kProbe, 1, 0);
    app.IdleLoop();
    EXPECT_TRUE(app.idleCounts.empty());
    DrainQueue();
}

TEST(AppTest, PumpMessagesDispatchesWithoutWaiting)
{
    DrainQueue();
    MessageWindow target;
    ProbeApp app;
    PostMessageW(target.window, kProbe, 7, 0);
    app.PumpMessages();
    EXPECT_EQ(MessageWindow::received, (std::vector<int>{7}));
    app.PumpMessages();  // an empty queue returns at once
    EXPECT_EQ(MessageWindow::received.size(), 1u);
}

TEST(AppTest, WaitWithMessagesPumpsUntilTheHandleIsSignalled)
{
    DrainQueue();
    MessageWindow target;
    ProbeApp app;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(target.window, kProbe, 3, 0);
    EXPECT_EQ(app.WaitWithMessages(event, 50), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(MessageWindow::received, (std::vector<int>{3}));
    SetEvent(event);
    EXPECT_EQ(app.WaitWithMessages(event, 5000), DWORD(WAIT_OBJECT_0));
    CloseHandle(event);
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

namespace {

// Runs this test program in a child process whose screen has the given logical DPI.
DWORD HighResolutionAtDpi(DWORD dpi)
{
    HKEY desktop;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &desktop, nullptr) != ERROR_SUCCESS)
        return DWORD(-1);
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --report-high-resolution";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    DWORD code = DWORD(-1);
    if (CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 20000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
    return code;
}

TEST(AppTest, HighResolutionFollowsTheScreensDpi)
{
    struct Case {
        DWORD dpi;
        DWORD expected;
    } cases[] = {{96, 0}, {191, 0}, {192, 1}, {288, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(HighResolutionAtDpi(c.dpi), c.expected) << c.dpi << " dpi";
}

} // namespace
