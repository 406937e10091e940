// Binding windows to objects and routing their messages through DialogProc and PageProc.
#include <gtest/gtest.h>
#include <windows.h>
#include <prsht.h>

#include <sstream>

#include "framework/dialog.h"
#include "support/testids.h"

namespace {

// Keeps the last handler reached, e.g. "command 1 0".
class CRecorder : public CDialog {
public:
    explicit CRecorder(DWORD id = IDD_TEST_DIALOG) : CDialog(id) {}
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
    LRESULT OnNotify(WPARAM, NMHDR* header) override { return Log() << "notify " << header->code, PSNRET_INVALID; }
    void OnInitMenuPopup(HMENU menu, UINT index) override { Log() << "popup " << UINT_PTR(menu) << " " << index; }
    std::ostringstream& Log() { return last.str(""), last << std::hex, last; }

    int inits = 0;
    LPARAM initParam = 0;
    INT_PTR endWith = 0;
    std::ostringstream last;
};

// Two dialogs and a page, bound at WM_INITDIALOG, then a modal dialog: the done command (without a control) becomes
// IDOK on dialogs only; a dialog answers no OnNotify result; alternating checks the caches.
TEST(DialogProc, BindsAndRoutesMessagesToHandlersAndEndsModalDialogs)
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
    NMHDR apply{dialog.window, 0, UINT(PSN_APPLY)};
    LPARAM notify = reinterpret_cast<LPARAM>(&apply);
    // target, message, wParam, lParam, the handler's log (every sender gets 0)
    struct Case { int target; UINT message; WPARAM wParam; LPARAM lParam; const char* log; } cases[] = {
        {1, WM_COMMAND, 0x10000001, 0x99, "command 10000001 99"},
        {0, WM_COMMAND, 0x10000002, 0, "command 10000002 0"},
        {2, WM_COMMAND, 0x10000001, 0, "command 10000001 0"},
        {0, WM_INITMENUPOPUP, 0x50, MAKELPARAM(3, 1), "popup 50 3"},
        {1, WM_NOTIFY, 0, notify, "notify ffffff36"},
    };
    for (const Case& c : cases) {
        CRecorder* target = targets[c.target];
        target->Log();
        EXPECT_EQ(SendMessageW(target->window, c.message, c.wParam, c.lParam), 0) << "case " << &c - cases;
        EXPECT_EQ(target->last.str(), c.log) << "case " << &c - cases;
    }
    for (CRecorder* target : {&page, &other, &dialog})
        DestroyWindow(target->window);
    ASSERT_NE(dialog.Create(nullptr), nullptr);  // the same object serves a second window
    EXPECT_EQ(dialog.inits, 2);
    DestroyWindow(dialog.window);
    // Modal, it answers the end code, or -1 without a template.
    CRecorder missing(IDD_TEST_MISSING);
    dialog.endWith = 42;  // the posted done command ends it
    EXPECT_EQ(dialog.DoModal(nullptr), 42);
    EXPECT_EQ(dialog.last.str(), "command 1 0");
    missing.window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(missing.Create(nullptr), nullptr);
    EXPECT_EQ(missing.window, nullptr);
    EXPECT_EQ(missing.DoModal(nullptr), -1);
}

} // namespace
