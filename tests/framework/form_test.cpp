// Forms outside a property sheet: navigation with history, layout, commands, scrolling, sorting.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/form.h"
#include "support/sheetdriver.h"
#include "support/testids.h"

namespace {

// Logs what navigation calls, e.g. "A:save A:deactivate B:activate B:load "; a list is the main control.
class CTestForm : public CFormWnd {
public:
    CTestForm(const char* tag, DWORD id = IDD_TEST_CHILD, DWORD style = 0, DWORD menu = 0)
        : CFormWnd(id, style, menu), tag(tag) {}
    ~CTestForm() override { DestroyWindow(window); }
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override
    {
        mainControl = GetDlgItem(window, IDC_TEST_LIST);
        return CFormWnd::OnInitDialog(wParam, lParam);
    }
    BOOL Activate(CFormWnd* from, DWORD flags) override
    {
        activateFlags = flags;
        return Log("activate"), refuse != this && CFormWnd::Activate(from, flags);
    }
    BOOL Deactivate(CFormWnd* to) override { return Log("deactivate"), refuse != this && CFormWnd::Deactivate(to); }
    int UpdateData(int save, LPARAM) override { return Log(save ? "save" : "load"), 1; }
    void OnDataExchanged(int saved) override { Log(saved ? "saved" : "loaded"); }
    LRESULT OnCommand(WPARAM w, LPARAM l) override { return Log(std::to_string(w).c_str()), CFormWnd::OnCommand(w, l); }
    int CompareItems(LPARAM one, LPARAM two) override { return int(one - two) * ((state & FST_DESCENDING) ? -1 : 1); }
    void Log(const char* what) { log += std::string(tag) + ":" + what + " "; }

    const char* tag;
    DWORD activateFlags = 0;
    static inline std::string log;             // what every form did
    static inline CFormWnd* refuse = nullptr;  // refuses to activate and to deactivate
};

class FormTest : public testing::Test {
protected:
    void SetUp() override
    {
        formNavigation.historyTop = -1;
        formNavigation.history.Clear();
        formNavigation.currentForm = formNavigation.previousForm = nullptr;
        ASSERT_NE(host.Create(nullptr), nullptr);
    }
    void TearDown() override
    {
        formNavigation.currentForm = nullptr;
        CTestForm::refuse = nullptr;
    }
    CFormWnd* Current() const { return formNavigation.currentForm; }

    std::string& log = CTestForm::log;
    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm a{"A"}, b{"B"};
};

// One walk through the history; after each step only the current form's window shows.
TEST_F(FormTest, BackAndForwardWalkTheHistory)
{
    struct Case { CFormWnd* target; DWORD flags; BOOL result; CFormWnd* current; const char* log; } cases[] = {
        {FORM_BACK, 0, FALSE, nullptr, ""},
        {reinterpret_cast<CFormWnd*>(3), 0, FALSE, nullptr, ""},  // reserved
        {&a, 0, TRUE, &a, "A:loaded A:activate A:load "},
        {&b, 0, TRUE, &b, "A:save A:deactivate B:loaded B:activate B:load "},
        {FORM_BACK, 0, TRUE, &a, "B:save B:deactivate A:activate A:load "},
        {FORM_FORWARD, FNF_QUERY, TRUE, &a, ""},
        {FORM_FORWARD, 0, TRUE, &b, "A:save A:deactivate B:activate B:load "},
        {FORM_FORWARD, FNF_QUERY, FALSE, &b, ""},
        {FORM_FORWARD, 0, TRUE, nullptr, "B:save B:deactivate "},  // nothing ahead: B is still left
        {FORM_BACK, 0, TRUE, &b, "B:activate B:load "},
        {FORM_BACK, 0, TRUE, &a, "B:save B:deactivate A:activate A:load "},
        {FORM_BACK, 0, TRUE, nullptr, "A:save A:deactivate "},  // from the oldest record: no form
        {&a, 0, TRUE, &a, "A:activate A:load "},
        {FORM_FORWARD, FNF_QUERY, TRUE, &a, ""},  // a new step keeps what lay ahead
        {FORM_FORWARD, 0, TRUE, &b, "A:save A:deactivate B:activate B:load "},
    };
    for (const Case& c : cases) {
        int step = int(&c - cases);
        log.clear();
        EXPECT_EQ(host.Navigate(c.target, c.flags, 0), c.result) << "step " << step;
        EXPECT_EQ(Current(), c.current) << "step " << step;
        EXPECT_EQ(log, c.log) << "step " << step;
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&msg);
        for (CTestForm* form : {&a, &b})
            EXPECT_EQ(IsWindowVisible(form->window) != 0, Current() == form) << "step " << step << " " << form->tag;
    }
}

// From A to B, with history [B, A]: flags and refusals.
TEST_F(FormTest, FlagsAndRefusals)
{
    struct Case { DWORD flags; CFormWnd* refuser; BOOL result; int top; CFormWnd* current; const char* log; };
    const Case cases[] = {
        {0x3, nullptr, TRUE, 2, &b, "A:save A:deactivate B:activate B:load "},
        {FNF_NORECORD, nullptr, TRUE, 1, &b, "A:save A:deactivate B:activate B:load "},
        {FNF_NOLOAD, nullptr, TRUE, 2, &b, "A:save A:deactivate B:activate "},
        {FNF_NOSAVE | FNF_CLEARHISTORY, nullptr, TRUE, -1, &b, "B:activate B:load "},
        {0, &a, FALSE, 1, nullptr, "A:save A:deactivate "},  // saved, then refused
        {0, &b, FALSE, 1, &b, "A:save A:deactivate B:activate "},
    };
    ASSERT_TRUE(host.Navigate(&b, 0, 0));
    ASSERT_TRUE(host.Navigate(&a, 0, 0));
    for (const Case& c : cases) {
        formNavigation.historyTop = 1;
        formNavigation.currentForm = &a;
        CTestForm::refuse = c.refuser;
        log.clear();
        EXPECT_EQ(host.Navigate(&b, c.flags, 0), c.result) << std::hex << c.flags;
        EXPECT_EQ(formNavigation.historyTop, c.top) << std::hex << c.flags;
        EXPECT_EQ(Current(), c.current) << std::hex << c.flags;
        EXPECT_EQ(log, c.log) << std::hex << c.flags;
        EXPECT_TRUE(!c.result || (b.state & FST_ACTIVATEFLAGS) == (c.flags & 0xF) << 16) << std::hex << b.state;
    }
    CTestForm::refuse = nullptr;
    {
        CTestForm flagged("F", IDD_TEST_CHILD, FS_NAVIGATEFLAG);
        ASSERT_TRUE(host.Navigate(&flagged, 0x1, 0));
        EXPECT_EQ(flagged.activateFlags, DWORD(FNF_STYLEFLAG | 0x1));
        ASSERT_TRUE(host.Navigate(&a, FNF_NORECORD, 0));
        formNavigation.currentForm = &flagged;
    }
    EXPECT_EQ(formNavigation.previousForm, nullptr);  // a destroyed form is neither previous nor current
    EXPECT_EQ(Current(), nullptr);
}

// Set-up in a client area of 200 x 120, then resizing to `width`, place the main list and the corner buttons.
TEST_F(FormTest, LayoutPlacesMainControlAndCornerButtons)
{
    const int T = -1000;  // T + n: n pixels from where the template puts the list
    struct Case { DWORD style; int width, id; RECT expected; } cases[] = {
        {FS_FOLLOWMASK, 200, IDC_TEST_LIST, {0, 0, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR, 200, IDC_TEST_LIST, {0, 24, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR | FS_EMBEDDED, 200, IDC_TEST_LIST, {0, 0, 200, 120}},
        {FS_FOLLOWRIGHT | FS_FOLLOWBOTTOM, 150, IDC_TEST_LIST, {T, T, 150, 120}},
        {FS_MOVEDOWN, 200, IDC_TEST_LIST, {T, T + 24, T, T + 24}},
        {FS_CLOSEBUTTON | FS_HELPBUTTON | FS_OKBUTTON, 200, IDCANCEL, {177, 0, 200, 23}},
        {FS_CLOSEBUTTON | FS_HELPBUTTON | FS_OKBUTTON, 200, 20, {119, 0, 142, 23}},
        {FS_CLOSEBUTTON | FS_HELPBUTTON | FS_OKBUTTON, 150, IDCANCEL, {127, 0, 150, 23}},
    };
    for (const Case& c : cases) {
        CTestForm form("F", IDD_TEST_LIST, c.style);
        RECT area{0, 0, 200, 120}, fromTemplate{4, 4, 100, 60}, expected = c.expected;
        ASSERT_NE(form.Create(&host, &area), nullptr);
        MapDialogRect(form.window, &fromTemplate);  // then from size to right and bottom, as the dialog does
        fromTemplate.right += fromTemplate.left, fromTemplate.bottom += fromTemplate.top;
        SetWindowPos(form.window, nullptr, 0, 0, c.width, 120, SWP_NOMOVE | SWP_NOZORDER);
        for (int i = 0; i < 4; ++i)
            (&expected.left)[i] += (&expected.left)[i] < T / 2 ? (&fromTemplate.left)[i] - T : 0;
        RECT r = RectIn(form.window, GetDlgItem(form.window, c.id));
        EXPECT_TRUE(EqualRect(&r, &expected)) << "style " << std::hex << c.style << std::dec << " width " << c.width
            << " id " << c.id << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST_F(FormTest, CommandBarComesAndGoesWithTheForm)
{
    CTestForm form("B", IDD_TEST_HOST, FS_COMMANDBAR, IDM_TEST_BAR);
    ASSERT_NE(form.Create(nullptr), nullptr);
    HWND bar = form.commandBar.window;
    ASSERT_EQ(GetParent(bar), form.window);
    form.Show(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(bar));
    form.Show(SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(bar));
    RECT done{};
    log.clear();
    SendMessageW(bar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&done));
    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(done.left + 2, done.top + 2));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(done.left + 2, done.top + 2));
    SendMessageW(form.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(log.substr(0, 8), "B:1 B:2 ");  // Done, then closing cancels
    EXPECT_TRUE(form.Destroy());
    EXPECT_FALSE(IsWindow(bar));
}

// A child form 200 pixels wide that scrolls its controls vertically; they hide until the operation ends.
TEST_F(FormTest, ScrollLinesPagesAndBounds)
{
    CTestForm form("S", IDD_TEST_CHILD, FS_VSCROLL);
    int height = 0, top = 0, max = 0;
    struct Case { int height, code, count, expected; } cases[] = {
        {300, SB_LINEUP, 1, 0}, {300, SB_LINEDOWN, 2, 20}, {300, SB_THUMBTRACK, 1, 20}, {300, SB_LINEUP, 1, 10},
        {300, SB_THUMBPOSITION, 1, 50},  // the thumb let go there
        {300, SB_PAGEUP, 1, 0}, {300, SB_PAGEDOWN, 1, 300}, {300, SB_PAGEDOWN, 1, -1}, {300, SB_LINEDOWN, 1, -1},
        {300, SB_TOP, 1, 0}, {300, SB_BOTTOM, 1, -1}, {300, SB_PAGEUP, 1, -301},  // -1 - n: n from the bottom
        {20, SB_LINEDOWN, 1, 0}, {20, SB_PAGEDOWN, 1, 20},  // a line of a short page is no pixel
    };
    for (const Case& c : cases) {
        if (c.height != height) {
            RECT area{0, 0, 200, height = c.height};
            form.Destroy();
            form.verticalPosition = 0;
            ASSERT_NE(form.Create(&host, &area), nullptr);
            ShowWindow(form.window, SW_SHOW);
            top = RectIn(form.window, GetDlgItem(form.window, IDC_TEST_TOP)).top;
            max = height + RectIn(form.window, GetDlgItem(form.window, IDC_TEST_LOW)).bottom - top;  // content plus a page
        }
        int before = form.verticalPosition, expected = c.expected < 0 ? max + 1 + c.expected : c.expected;
        HWND label = GetDlgItem(form.window, IDC_TEST_TOP);
        if (c.code == SB_THUMBPOSITION)
            SetScrollPos(form.window, SB_VERT, expected, FALSE);
        for (int i = 0; i < c.count; ++i)
            SendMessageW(form.window, WM_VSCROLL, c.code, 0);
        EXPECT_FALSE(IsWindowVisible(label)) << "code " << c.code;
        EXPECT_EQ(form.verticalPosition, before) << "code " << c.code;
        SendMessageW(form.window, WM_VSCROLL, SB_ENDSCROLL, 0);
        EXPECT_TRUE(IsWindowVisible(label)) << "code " << c.code;
        EXPECT_EQ(form.verticalPosition, expected) << "height " << height << " code " << c.code << " from " << before;
        EXPECT_EQ(RectIn(form.window, label).top, top - expected) << "code " << c.code;
    }
}

// Mouse clicks on the headers of a list form whose items carry 20, 10 and 30; then the list's item data.
TEST_F(FormTest, HeaderClicksToggleTheSort)
{
    CTestForm form("L", IDD_TEST_LIST);
    ASSERT_NE(form.Create(&host), nullptr);
    CtlListView list;
    list.window = form.mainControl;
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 40;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    const LPARAM data[] = {30, 10, 20};  // each goes first
    for (int i = 0; i < 3; ++i) {
        SendMessageW(list.window, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        item.lParam = data[i];
        SendMessageW(list.window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    HWND header = reinterpret_cast<HWND>(SendMessageW(list.window, LVM_GETHEADER, 0, 0));
    struct Case { DWORD style; int column, sortColumn; bool descending; const char* order; } cases[] = {
        {0, 2, 0, false, "20 10 30 "},  // no sorting without the style
        {FS_SORTHEADER, 0, 0, true, "30 20 10 "},  // column 0 is the sort column from the start
        {FS_SORTHEADER, 0, 0, false, "10 20 30 "},
        {FS_SORTHEADER, 2, 2, false, "10 20 30 "},
        {FS_SORTHEADER, 2, 2, true, "30 20 10 "},
        {FS_SORTHEADER, 1, 1, true, "30 20 10 "},
    };
    for (const Case& c : cases) {
        form.style = c.style;
        RECT rect{};
        SendMessageW(header, HDM_GETITEMRECT, c.column, reinterpret_cast<LPARAM>(&rect));
        LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(header, WM_LBUTTONUP, 0, point);
        std::string order;
        for (int i = 0; i < 3; ++i)
            order += std::to_string(reinterpret_cast<LPARAM>(list.GetItemData(i))) + " ";
        EXPECT_EQ((form.state & FST_SORTCOLUMN) >> FST_SORTSHIFT, DWORD(c.sortColumn)) << "click on " << c.column;
        EXPECT_EQ((form.state & FST_DESCENDING) != 0, c.descending) << "click on " << c.column;
        EXPECT_EQ(order, c.order) << "click on " << c.column;
        for (int i = 0; i < 3; ++i) {  // the arrow shows on the sort column only
            HDITEMW arrow{};
            arrow.mask = HDI_FORMAT | HDI_IMAGE;
            SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&arrow));
            bool shown = c.style && i == c.column;
            EXPECT_EQ(arrow.fmt, shown ? HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT : c.style ? HDF_STRING : 0) << i;
            EXPECT_TRUE(!shown || arrow.iImage == (c.descending ? 1 : 0)) << "image " << arrow.iImage;
        }
    }
    EXPECT_EQ(list.GetItemData(3), nullptr);  // no such item
    struct Counted : CObject {  // owned by a list item, it goes with the item
        explicit Counted(int* deaths) : deaths(deaths) {}
        ~Counted() override { ++*deaths; }
        int* deaths;
    };
    int deaths = 0;
    item.iItem = 1;
    item.lParam = reinterpret_cast<LPARAM>(new Counted(&deaths));
    SendMessageW(list.window, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    NMLISTVIEW deleted{};
    deleted.hdr.code = LVN_DELETEITEM;
    deleted.iItem = 1;
    list.OnNotification(&deleted.hdr);
    EXPECT_EQ(deaths, 1);
}

} // namespace
