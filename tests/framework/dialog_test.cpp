// Binding windows to objects and routing their messages through DialogProc and PageProc.
#include <gtest/gtest.h>
#include <windows.h>
#include <prsht.h>

#include <sstream>

#include "framework/activation.h"
#include "framework/dialog.h"
#include "support/testids.h"

namespace {

// Keeps the last handler reached, e.g. "command 1 0"; WindowProc answers `answer` for message `claimed`.
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
        Log() << "command " << wParam << " " << lParam;
        if (endWith)
            EndDialog(window, endWith);
        return 0;
    }
    LRESULT OnNotify(WPARAM, NMHDR* header) override { return Log() << "notify " << header->code, notifyAnswer; }
    void OnInitMenuPopup(HMENU menu, UINT index) override { Log() << "popup " << UINT_PTR(menu) << " " << index; }
    std::ostringstream& Log() { return last.str(""), last << std::hex, last; }

    UINT claimed = 0;
    LRESULT answer = 0, notifyAnswer = PSNRET_INVALID;
    int inits = 0;
    LPARAM initParam = 0;
    INT_PTR endWith = 0;
    std::ostringstream last;
};

// Two dialogs and a page, bound at WM_INITDIALOG and unbound at WM_DESTROY. The done command becomes IDOK on
// dialogs only; only a page answers OnNotify's result; WindowProc's answer wins; alternating checks the caches.
TEST(DialogProc, BindsAndRoutesMessagesToHandlers)
{
    CRecorder dialog, other, page(IDD_TEST_PAGE);
    SheetPage entry{0, &page};
    PROPSHEETPAGEW record{};
    record.lParam = reinterpret_cast<LPARAM>(&entry);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    ASSERT_NE(other.Create(nullptr), nullptr);
    ASSERT_NE(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_PAGE), dialog.window, PageProc,
                                 reinterpret_cast<LPARAM>(&record)), nullptr);
    EXPECT_EQ(page.initParam, reinterpret_cast<LPARAM>(&record));
    CRecorder* targets[] = {&dialog, &other, &page};
    for (CRecorder* target : targets)
        EXPECT_EQ(GetWindowLongPtrW(target->window, DWLP_USER), reinterpret_cast<LONG_PTR>(target));
    NMHDR apply{dialog.window, 0, UINT(PSN_APPLY)};
    LPARAM notify = reinterpret_cast<LPARAM>(&apply);
    LRESULT brush = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_HIGHLIGHT));
    struct Case { int target; UINT claimed, message; WPARAM wParam; LPARAM lParam; const char* log; LRESULT result; };
    const Case cases[] = {  // result: what the sender gets
        {0, 0, WM_COMMAND, 0x10000001, 0, "command 1 0", 0},
        {1, 0, WM_COMMAND, 0x10000001, 0x99, "command 10000001 99", 0},
        {0, 0, WM_COMMAND, 0x10000002, 0, "command 10000002 0", 0},
        {2, 0, WM_COMMAND, 0x10000001, 0, "command 10000001 0", 0},
        {0, 0, WM_INITMENUPOPUP, 0x50, MAKELPARAM(3, 1), "popup 50 3", 0},
        {1, 0, WM_NOTIFY, 0, notify, "notify ffffff36", 0},
        {2, 0, WM_NOTIFY, 0, notify, "notify ffffff36", PSNRET_INVALID},
        {0, WM_COMMAND, WM_COMMAND, 5, 0, "", 0},
        {0, WM_CTLCOLORSTATIC, WM_CTLCOLORSTATIC, 0, 0, "", brush},
    };
    for (const Case& c : cases) {
        CRecorder* target = targets[c.target];
        target->claimed = c.claimed;
        target->answer = brush;
        target->Log();
        EXPECT_EQ(SendMessageW(target->window, c.message, c.wParam, c.lParam), c.result) << "case " << &c - cases;
        EXPECT_EQ(target->last.str(), c.log) << "case " << &c - cases;
    }
    for (CRecorder* target : {&page, &other, &dialog}) {
        DestroyWindow(target->window);
        EXPECT_EQ(target->window, nullptr) << "target " << target->templateId;
    }
    ASSERT_NE(dialog.Create(nullptr), nullptr);  // the same object serves a second window
    EXPECT_EQ(dialog.inits, 2);
    DestroyWindow(dialog.window);
}

TEST(DoModal, ReturnsTheEndCodeOrMinusOneWithoutTemplate)
{
    CRecorder dialog, missing(IDD_TEST_MISSING);
    dialog.endWith = 42;  // the posted done command ends it
    EXPECT_EQ(dialog.DoModal(nullptr), 42);
    EXPECT_EQ(dialog.last.str(), "command 1 0");
    missing.window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(missing.Create(nullptr), nullptr);
    EXPECT_EQ(missing.window, nullptr);
    EXPECT_EQ(missing.DoModal(nullptr), -1);
}

TEST(Activation, DialogsTrackBothWindowsPlainWindowsOne)
{
    CRecorder dialog;
    CWnd plain;
    HWND window = plain.window = dialog.Create(nullptr), other = reinterpret_cast<HWND>(0x4242);
    ASSERT_NE(window, nullptr);
    struct Case { CWnd* object; WPARAM state; HWND active, activeDialog; } cases[] = {  // both `other` before
        {&dialog, WA_ACTIVE, window, window}, {&dialog, WA_INACTIVE, other, nullptr},
        {&plain, WA_INACTIVE, other, other}, {&plain, WA_CLICKACTIVE, window, other},
    };
    for (const Case& c : cases) {
        activeWindow = activeDialogWindow = other;
        c.object->WindowProc(WM_ACTIVATE, c.state, 0);
        EXPECT_EQ(activeWindow, c.active) << "case " << &c - cases;
        EXPECT_EQ(activeDialogWindow, c.activeDialog) << "case " << &c - cases;
    }
    DestroyWindow(window);
    activeWindow = activeDialogWindow = nullptr;
}

} // namespace
