// Binding windows to objects and routing their messages through DialogProc and PageProc.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "framework/activation.h"
#include "framework/dialog.h"
#include "support/testids.h"

namespace {

// Records what reaches the handlers; WindowProc answers `answer` for message `claimed`.
class CRecorder : public CDialog {
public:
    explicit CRecorder(DWORD id = IDD_TEST_DIALOG) : CDialog(id) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return message == claimed ? answer : CDialog::WindowProc(message, wParam, lParam);
    }
    INT_PTR OnInitDialog(WPARAM, LPARAM lParam) override
    {
        ++inits;
        initParam = lParam;
        if (endWith)
            PostMessageW(window, WM_COMMAND, 0x10000001, 0);
        return 1;
    }
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        command = wParam;
        commandParam = lParam;
        if (endWith)
            EndDialog(window, endWith);
        return 0;
    }
    LRESULT OnNotify(WPARAM, NMHDR* header) override
    {
        notified = int(header->code);
        return notifyAnswer;
    }
    void OnTimer(UINT_PTR id) override { timer = id; }
    void OnInitMenuPopup(HMENU menu, UINT index) override { popup = menu, popupIndex = index; }

    UINT claimed = 0;
    LRESULT answer = 0, notifyAnswer = 0;
    int inits = 0, notified = 0;
    LPARAM initParam = 0, commandParam = 0;
    INT_PTR endWith = 0;
    WPARAM command = 0;
    UINT_PTR timer = 0;
    HMENU popup = nullptr;
    UINT popupIndex = 0;
};

TEST(DialogProc, BindsAtInitAndUnbindsAtDestroy)
{
    CRecorder dialog;
    RECT place{30, 40, 230, 190};
    for (int round = 1; round <= 2; ++round) {  // the same object serves a second window
        HWND window = dialog.Create(nullptr, &place, HWND_TOP, SWP_NOACTIVATE);
        ASSERT_NE(window, nullptr) << "round " << round;
        EXPECT_EQ(dialog.window, window);
        EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), reinterpret_cast<LONG_PTR>(&dialog));
        EXPECT_EQ(dialog.inits, round);
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_TRUE(EqualRect(&rect, &place)) << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
        DestroyWindow(window);
        EXPECT_EQ(dialog.window, nullptr) << "round " << round;
    }
}

TEST(DialogProc, RoutesMessagesToHandlers)
{
    CRecorder dialog;
    HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    HMENU menu = CreatePopupMenu();
    SendMessageW(window, WM_TIMER, 7, 0);
    EXPECT_EQ(dialog.timer, 7u);
    SendMessageW(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(3, 1));
    EXPECT_EQ(dialog.popup, menu);
    EXPECT_EQ(dialog.popupIndex, 3u);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_TOP, BN_CLICKED), 0x1234);
    EXPECT_EQ(dialog.command, WPARAM(MAKEWPARAM(IDC_TEST_TOP, BN_CLICKED)));
    EXPECT_EQ(dialog.commandParam, 0x1234);
    // The notification's answer is dropped: the message result stays as it was.
    dialog.notifyAnswer = 77;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, 5);
    NMHDR header{window, 1, UINT(PSN_APPLY)};
    EXPECT_EQ(DialogProc(window, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header)), 1);
    EXPECT_EQ(dialog.notified, PSN_APPLY);
    EXPECT_EQ(GetWindowLongPtrW(window, DWLP_MSGRESULT), 5);
    DestroyMenu(menu);
    DestroyWindow(window);
}

TEST(DialogProc, WindowProcAnswerWinsSoColourMessagesReturnBrushes)
{
    CRecorder dialog;
    HBRUSH brush = GetSysColorBrush(COLOR_HIGHLIGHT);
    dialog.claimed = WM_CTLCOLORSTATIC;
    dialog.answer = reinterpret_cast<LRESULT>(brush);
    HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    HWND label = GetDlgItem(window, IDC_TEST_TOP);
    HDC dc = GetDC(label);
    EXPECT_EQ(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)),
              reinterpret_cast<LRESULT>(brush));
    ReleaseDC(label, dc);
    dialog.claimed = WM_COMMAND;  // claimed commands never reach OnCommand
    dialog.answer = 1;
    SendMessageW(window, WM_COMMAND, 5, 0);
    EXPECT_EQ(dialog.command, 0u);
    DestroyWindow(window);
}

TEST(DialogProc, DoneCommandBecomesOkOnlyWithoutControl)
{
    struct Case {
        WPARAM sent;
        LPARAM control;
        WPARAM received;
    } cases[] = {{0x10000001, 0, IDOK}, {0x10000001, 0x99, 0x10000001}, {IDCANCEL, 0, IDCANCEL}, {0x10000002, 0, 0x10000002}};
    CRecorder dialog;
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    for (const Case& c : cases) {
        SendMessageW(dialog.window, WM_COMMAND, c.sent, c.control);
        EXPECT_EQ(dialog.command, c.received) << std::hex << "sent " << c.sent << " control " << c.control;
    }
    // Messages alternating between two windows each reach their own object.
    CRecorder other;
    ASSERT_NE(other.Create(nullptr), nullptr);
    for (WPARAM id : {WPARAM(11), WPARAM(12)}) {
        SendMessageW(other.window, WM_COMMAND, id, 0);
        SendMessageW(dialog.window, WM_COMMAND, id + 10, 0);
        EXPECT_EQ(other.command, id);
        EXPECT_EQ(dialog.command, id + 10);
    }
    DestroyWindow(other.window);
    DestroyWindow(dialog.window);
}

TEST(DialogProc, MissingTemplateFails)
{
    CRecorder dialog(IDD_TEST_MISSING);
    dialog.window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(dialog.Create(nullptr), nullptr);
    EXPECT_EQ(dialog.window, nullptr);
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
    EXPECT_EQ(dialog.inits, 0);
}

TEST(DoModal, ReturnsTheEndCodeAndIsOwnedByTheParent)
{
    CRecorder owner;
    ASSERT_NE(owner.Create(nullptr), nullptr);
    CRecorder dialog;
    dialog.endWith = 42;  // the posted done command ends it
    EXPECT_EQ(dialog.DoModal(&owner), 42);
    EXPECT_EQ(dialog.command, WPARAM(IDOK));
    EXPECT_EQ(dialog.parent, &owner);
    EXPECT_EQ(dialog.window, nullptr);
    DestroyWindow(owner.window);
}

TEST(Activation, DialogsTrackBothWindowsPlainWindowsOne)
{
    CRecorder dialog;
    HWND window = dialog.Create(nullptr);
    ASSERT_NE(window, nullptr);
    HWND other = reinterpret_cast<HWND>(0x4242);
    activeWindow = activeDialogWindow = other;
    dialog.WindowProc(WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(activeDialogWindow, window);
    EXPECT_EQ(activeWindow, window);
    activeWindow = other;
    dialog.WindowProc(WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(activeDialogWindow, nullptr);
    EXPECT_EQ(activeWindow, other);
    CWnd plain;
    plain.window = window;
    activeDialogWindow = other;
    plain.WindowProc(WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(activeWindow, other);
    plain.WindowProc(WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_EQ(activeWindow, window);
    EXPECT_EQ(activeDialogWindow, other);
    DestroyWindow(window);
    activeWindow = activeDialogWindow = nullptr;
}

// A modeless property sheet with one PageProc page, built as the applet builds its sheet.
TEST(PageProc, BindsTheEntryPageStoresNotifyAnswerAndKeepsCommands)
{
    CRecorder page(IDD_TEST_PAGE);
    SheetPage entry{0, &page};
    PROPSHEETPAGEW record{};
    record.dwSize = sizeof record;
    record.hInstance = GetModuleHandleW(nullptr);
    record.pszTemplate = MAKEINTRESOURCEW(IDD_TEST_PAGE);
    record.pfnDlgProc = PageProc;
    record.lParam = reinterpret_cast<LPARAM>(&entry);
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&record);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS;
    header.nPages = 1;
    header.phpage = &handle;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(page.window, nullptr);
    EXPECT_EQ(GetParent(page.window), sheet);
    EXPECT_EQ(reinterpret_cast<const PROPSHEETPAGEW*>(page.initParam)->lParam, reinterpret_cast<LPARAM>(&entry));

    page.notifyAnswer = PSNRET_INVALID;
    NMHDR apply{sheet, 0, UINT(PSN_APPLY)};
    EXPECT_EQ(SendMessageW(page.window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply)), PSNRET_INVALID);
    EXPECT_EQ(GetWindowLongPtrW(page.window, DWLP_MSGRESULT), PSNRET_INVALID);
    SendMessageW(page.window, WM_COMMAND, 0x10000001, 0);
    EXPECT_EQ(page.command, WPARAM(0x10000001));

    DestroyWindow(sheet);
    EXPECT_EQ(page.window, nullptr);
}

} // namespace
