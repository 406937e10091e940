// Forms outside a property sheet: navigation with history, scrolling, sorting, expiry, set-up.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "framework/form.h"
#include "support/testids.h"

namespace {

void Pump(DWORD milliseconds = 0)
{
    DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (milliseconds)
            Sleep(10);
    } while (LONG(GetTickCount() - end) < 0);
}

// Logs the form operations that navigation calls, e.g. "A:save A:deactivate B:activate B:load".
class CTestForm : public CFormWnd {
public:
    CTestForm(const char* tag, DWORD id = IDD_TEST_CHILD, DWORD style = 0, DWORD menu = 0)
        : CFormWnd(id, style, menu), tag(tag)
    {
    }
    ~CTestForm() override
    {
        if (window)
            DestroyWindow(window);
    }

    BOOL Activate(CFormWnd* from, DWORD flags) override
    {
        Log("activate");
        activateFlags = flags;
        return refuseActivate ? FALSE : CFormWnd::Activate(from, flags);
    }
    BOOL Deactivate(CFormWnd* to) override
    {
        Log("deactivate");
        return refuseDeactivate ? FALSE : CFormWnd::Deactivate(to);
    }
    int UpdateData(int save, LPARAM lParam) override
    {
        Log(save ? "save" : "load");
        dataParam = lParam;
        return 1;
    }
    void OnDataExchanged(int saved) override { Log(saved ? "saved" : "loaded"); }
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands += std::to_string(wParam) + " ";
        return CFormWnd::OnCommand(wParam, lParam);
    }
    int CompareItems(LPARAM data1, LPARAM data2) override
    {
        int order = int(data1 - data2);
        return (state & FST_DESCENDING) ? -order : order;
    }

    void Log(const char* what) { (*log += tag) += std::string(":") + what + " "; }

    const char* tag;
    std::string own;
    std::string* log = &own;
    bool refuseActivate = false;
    bool refuseDeactivate = false;
    DWORD activateFlags = 0;
    LPARAM dataParam = 0;
    std::string commands;
};

class FormTest : public testing::Test {
protected:
    void SetUp() override
    {
        formNavigation.historyTop = -1;
        formNavigation.history.Clear();
        formNavigation.currentForm = formNavigation.previousForm = nullptr;
        ASSERT_NE(host.Create(nullptr), nullptr);
        a.log = b.log = host.log = &log;
    }
    void TearDown() override
    {
        formNavigation.historyTop = -1;
        formNavigation.history.Clear();
        CFormWnd::expireDelay = 90000;
    }
    CFormWnd* Current() const { return formNavigation.currentForm; }

    std::string log;
    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm a{"A"};
    CTestForm b{"B"};
};

TEST_F(FormTest, BackWithEmptyHistoryFails)
{
    EXPECT_FALSE(host.Navigate(FORM_BACK, FNF_QUERY, 0));
    EXPECT_FALSE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_FALSE(host.Navigate(FORM_FORWARD, FNF_QUERY, 0));
    EXPECT_FALSE(host.Navigate(reinterpret_cast<CFormWnd*>(3), 0, 0));
    EXPECT_FALSE(host.Navigate(reinterpret_cast<CFormWnd*>(4), 0, 0));
    EXPECT_EQ(log, "");
}

TEST_F(FormTest, BackAndForwardWalkTheHistory)
{
    ASSERT_TRUE(host.Navigate(&a, 0, 11));
    ASSERT_NE(a.window, nullptr);
    EXPECT_EQ(GetParent(a.window), host.window);
    EXPECT_EQ(a.parent, &host);
    ASSERT_TRUE(host.Navigate(&b, 0, 22));
    EXPECT_EQ(Current(), &b);
    EXPECT_EQ(formNavigation.previousForm, &a);
    EXPECT_EQ(formNavigation.parameter, 22);
    EXPECT_EQ(formNavigation.historyTop, 1);
    EXPECT_EQ(log, "A:loaded A:activate A:load A:save A:deactivate B:loaded B:activate B:load ");
    Pump();
    EXPECT_FALSE(IsWindowVisible(a.window));
    EXPECT_TRUE(IsWindowVisible(b.window));

    log.clear();
    EXPECT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_EQ(Current(), &a);
    EXPECT_EQ(log, "B:save B:deactivate A:activate A:load ");
    EXPECT_TRUE(host.Navigate(FORM_FORWARD, FNF_QUERY, 0));
    EXPECT_TRUE(host.Navigate(FORM_FORWARD, 0, 0));
    EXPECT_EQ(Current(), &b);
    EXPECT_FALSE(host.Navigate(FORM_FORWARD, FNF_QUERY, 0));
    EXPECT_EQ(formNavigation.historyTop, 1);
    Pump();
    EXPECT_TRUE(IsWindowVisible(b.window));
    EXPECT_FALSE(IsWindowVisible(a.window));
}

TEST_F(FormTest, NewStepForgetsForwardHistory)
{
    CTestForm c("C");
    c.log = &log;
    ASSERT_TRUE(host.Navigate(&a, 0, 0));
    ASSERT_TRUE(host.Navigate(&b, 0, 0));
    ASSERT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    ASSERT_TRUE(host.Navigate(&c, 0, 0));
    EXPECT_FALSE(host.Navigate(FORM_FORWARD, FNF_QUERY, 0));
    ASSERT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_EQ(Current(), &a);
    // Back from the oldest record goes to the main form: none here, so no form is current.
    EXPECT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_EQ(Current(), nullptr);
    EXPECT_FALSE(host.Navigate(FORM_BACK, FNF_QUERY, 0));
}

TEST_F(FormTest, FlagsControlRecordingSavingAndLoading)
{
    struct Case {
        DWORD flags;
        int top;
        const char* log;
    } cases[] = {
        {0, 0, "A:activate A:load "},
        {FNF_NORECORD, -1, "A:activate A:load "},
        {FNF_NOLOAD, 0, "A:activate "},
        {FNF_CLEARHISTORY, -1, "A:activate A:load "},
    };
    for (const Case& c : cases) {
        formNavigation.historyTop = -1;
        formNavigation.currentForm = nullptr;
        log.clear();
        ASSERT_TRUE(host.Navigate(&a, c.flags, 0));
        EXPECT_EQ(formNavigation.historyTop, c.top) << "flags " << std::hex << c.flags;
        EXPECT_EQ(log.substr(log.find("A:activate")), c.log) << "flags " << std::hex << c.flags;
    }
    log.clear();
    ASSERT_TRUE(host.Navigate(&b, FNF_NOSAVE | 0x3, 0));
    EXPECT_EQ(log.find("A:save"), std::string::npos) << log;
    EXPECT_EQ(b.state & FST_ACTIVATEFLAGS, 0x30000u);
}

TEST_F(FormTest, RefusalsStopNavigationAfterSaving)
{
    ASSERT_TRUE(host.Navigate(&a, 0, 0));
    a.refuseDeactivate = true;
    log.clear();
    EXPECT_FALSE(host.Navigate(&b, 0, 0));
    EXPECT_EQ(log, "A:save A:deactivate ");
    EXPECT_EQ(Current(), nullptr);
    a.refuseDeactivate = false;
    b.refuseActivate = true;
    EXPECT_FALSE(host.Navigate(&b, 0, 0));
    EXPECT_EQ(formNavigation.historyTop, 0);
}

TEST_F(FormTest, StyleFlagIsAddedForItsForms)
{
    CTestForm flagged("F", IDD_TEST_CHILD, FS_NAVIGATEFLAG);
    ASSERT_TRUE(host.Navigate(&flagged, 0x1, 0));
    EXPECT_EQ(flagged.activateFlags, DWORD(FNF_STYLEFLAG | 0x1));
}

TEST_F(FormTest, DestroyedFormIsNoLongerCurrent)
{
    {
        CTestForm gone("G");
        ASSERT_TRUE(host.Navigate(&gone, 0, 0));
        ASSERT_TRUE(host.Navigate(&a, FNF_NORECORD, 0));
        EXPECT_EQ(formNavigation.previousForm, &gone);
    }
    EXPECT_EQ(formNavigation.previousForm, nullptr);
    EXPECT_EQ(Current(), &a);
}

// Scroll operations: one code, then the end of the operation, as the scroll bar sends them.
class ScrollTest : public testing::Test {
protected:
    void Open(int height)
    {
        ASSERT_NE(host.Create(nullptr), nullptr);
        RECT area{0, 0, 200, height};
        ASSERT_NE(form.Create(&host, &area), nullptr);
        RECT client;
        GetClientRect(form.window, &client);
        ASSERT_EQ(client.bottom, height);
        RECT top, low;
        GetWindowRect(GetDlgItem(form.window, IDC_TEST_TOP), &top);
        GetWindowRect(GetDlgItem(form.window, IDC_TEST_LOW), &low);
        maximum = height + (low.bottom - top.top);
    }
    int Scroll(int code)
    {
        SendMessageW(form.window, WM_VSCROLL, code, 0);
        SendMessageW(form.window, WM_VSCROLL, SB_ENDSCROLL, 0);
        return form.verticalPosition;
    }
    int LabelTop()
    {
        RECT rect;
        GetWindowRect(GetDlgItem(form.window, IDC_TEST_TOP), &rect);
        MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&rect), 2);
        return rect.top;
    }

    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm form{"S", IDD_TEST_CHILD, FS_VSCROLL};
    int maximum = 0;
};

TEST_F(ScrollTest, LinesPagesAndBounds)
{
    Open(300);
    int start = LabelTop();
    struct Case {
        int code;
        int expected;
    } cases[] = {
        {SB_LINEUP, 0}, {SB_LINEDOWN, 10}, {SB_LINEDOWN, 20}, {SB_THUMBTRACK, 20}, {SB_LINEUP, 10},
        {SB_PAGEUP, 0}, {SB_PAGEDOWN, 300}, {SB_PAGEDOWN, maximum}, {SB_LINEDOWN, maximum},
        {SB_TOP, 0}, {SB_BOTTOM, maximum}, {SB_PAGEUP, maximum - 300},
    };
    for (const Case& c : cases) {
        int before = form.verticalPosition;
        EXPECT_EQ(Scroll(c.code), c.expected) << "code " << c.code << " from " << before;
        EXPECT_EQ(LabelTop(), start - form.verticalPosition) << "code " << c.code;
    }
}

TEST_F(ScrollTest, ShortClientDoesNotMoveByLines)
{
    Open(20);
    EXPECT_EQ(Scroll(SB_LINEDOWN), 0);
    EXPECT_EQ(Scroll(SB_PAGEDOWN), 20);
}

TEST_F(ScrollTest, ControlsHideWhileTheOperationLasts)
{
    Open(300);
    HWND label = GetDlgItem(form.window, IDC_TEST_TOP);
    ShowWindow(form.window, SW_SHOW);
    ASSERT_TRUE(IsWindowVisible(label));
    SendMessageW(form.window, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessageW(form.window, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_EQ(form.verticalPosition, 0);
    SendMessageW(form.window, WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_TRUE(IsWindowVisible(label));
    EXPECT_EQ(form.verticalPosition, 20);
    // Horizontal messages are ignored by a form that scrolls vertically only.
    SendMessageW(form.window, WM_HSCROLL, SB_PAGEDOWN, 0);
    SendMessageW(form.window, WM_HSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(form.horizontalPosition, 0);
}

// A list form sorted by its column headers.
class SortTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.Create(nullptr), nullptr);
        ASSERT_NE(form.Create(&host), nullptr);
        form.mainControl = GetDlgItem(form.window, IDC_TEST_LIST);
        const wchar_t* titles[] = {L"One", L"Two", L"Three"};
        for (int i = 0; i < 3; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = const_cast<wchar_t*>(titles[i]);
            column.cx = 40;
            SendMessageW(form.mainControl, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        }
        for (LPARAM data : {20, 10, 30}) {
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = 99;
            item.pszText = const_cast<wchar_t*>(L"x");
            item.lParam = data;
            SendMessageW(form.mainControl, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    std::string Order()
    {
        CtlListView list;
        list.window = form.mainControl;
        std::string order;
        for (int i = 0; i < 3; ++i)
            order += std::to_string(reinterpret_cast<LPARAM>(list.GetItemData(i))) + " ";
        return order;
    }
    void Click(int column)
    {
        NMHEADERW click{};
        click.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(form.mainControl, LVM_GETHEADER, 0, 0));
        click.hdr.code = HDN_ITEMCLICKW;
        click.iItem = column;
        SendMessageW(form.window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    }

    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm form{"L", IDD_TEST_LIST, FS_SORTHEADER};
};

TEST_F(SortTest, SameColumnTogglesOtherColumnKeepsDirection)
{
    struct Case {
        int column;
        bool descending;
        const char* order;
    } cases[] = {
        {0, true, "30 20 10 "},   // column 0 is the sort column from the start
        {0, false, "10 20 30 "},
        {2, false, "10 20 30 "},
        {2, true, "30 20 10 "},
        {1, true, "30 20 10 "},
    };
    HWND header = reinterpret_cast<HWND>(SendMessageW(form.mainControl, LVM_GETHEADER, 0, 0));
    for (const Case& c : cases) {
        Click(c.column);
        EXPECT_EQ((form.state & FST_SORTCOLUMN) >> FST_SORTSHIFT, DWORD(c.column));
        EXPECT_EQ((form.state & FST_DESCENDING) != 0, c.descending) << "column " << c.column;
        EXPECT_EQ(Order(), c.order) << "column " << c.column;
        HDITEMW item{};
        item.mask = HDI_FORMAT | HDI_IMAGE;
        SendMessageW(header, HDM_GETITEMW, c.column, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.iImage, c.descending ? 1 : 0) << "column " << c.column;
    }
}

TEST_F(SortTest, HeaderClicksAreIgnoredWithoutSortStyle)
{
    form.style = 0;
    Click(2);
    EXPECT_EQ(form.state, DWORD(FST_INITIAL));
    EXPECT_EQ(Order(), "20 10 30 ");
}

TEST_F(FormTest, DeactivatedFormOutsideHistoryExpires)
{
    CTestForm expiring("E", IDD_TEST_CHILD, FS_EXPIRE);
    CFormWnd::expireDelay = 100;
    ASSERT_TRUE(host.Navigate(&expiring, FNF_NORECORD, 0));
    ASSERT_NE(expiring.window, nullptr);
    expiring.Deactivate(&a);
    Pump(80);
    expiring.Activate(&a, 0);  // kills the timer
    Pump(300);
    EXPECT_NE(expiring.window, nullptr);
    expiring.Deactivate(&a);
    Pump(300);
    EXPECT_EQ(expiring.window, nullptr);
}

TEST_F(FormTest, ExpiryTimerDestroysTheWindowAndHistoryKeepsIt)
{
    CTestForm expiring("E", IDD_TEST_CHILD, FS_EXPIRE);
    ASSERT_TRUE(host.Navigate(&expiring, 0, 0));
    HWND window = expiring.window;
    CFormWnd::expireDelay = 50;
    expiring.Deactivate(&a);  // in the history: no timer
    Pump(200);
    ASSERT_TRUE(IsWindow(window));
    SendMessageW(window, WM_TIMER, IDT_FORMEXPIRE, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(expiring.window, nullptr);
}

TEST_F(FormTest, ApplyBecomesOkAndDataExchangeSaves)
{
    CTestForm form("D", IDD_TEST_CHILD, FS_DATAEXCHANGE);
    form.log = &log;
    ASSERT_NE(form.Create(&host), nullptr);
    EXPECT_EQ(log, "D:loaded D:load ");
    log.clear();
    NMHDR apply{host.window, 0, UINT(PSN_APPLY)};
    EXPECT_EQ(form.OnNotify(0, &apply), 0);
    EXPECT_EQ(form.commands, "1 ");
    EXPECT_EQ(log, "D:save D:saved ");
    log.clear();
    form.OnCommand(IDCANCEL, 0);
    EXPECT_EQ(log, "");
}

TEST_F(FormTest, EmbeddedCurrentFormTakesTheCommands)
{
    CTestForm embedded("M", IDD_TEST_CHILD, FS_EMBEDDED);
    ASSERT_TRUE(host.Navigate(&embedded, 0, 0));
    SendMessageW(host.window, WM_COMMAND, 7, 0);
    EXPECT_EQ(embedded.commands, "7 ");
    EXPECT_EQ(host.commands, "7 ");
    formNavigation.currentForm = nullptr;
}

TEST_F(FormTest, CornerButtonsSitInTheTopRightCorner)
{
    CTestForm form("C", IDD_TEST_CHILD, FS_CLOSEBUTTON | FS_HELPBUTTON | FS_OKBUTTON);
    RECT area{0, 0, 200, 120};
    ASSERT_NE(form.Create(&host, &area), nullptr);
    struct Case {
        int id;
        int left;
    } cases[] = {{IDCANCEL, 177}, {9, 148}, {20, 119}};
    for (const Case& c : cases) {
        HWND button = GetDlgItem(form.window, c.id);
        ASSERT_NE(button, nullptr) << "id " << c.id;
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, c.left) << "id " << c.id;
        EXPECT_EQ(rect.top, 0) << "id " << c.id;
        EXPECT_EQ(rect.right - rect.left, 23) << "id " << c.id;
    }
    SetWindowPos(form.window, nullptr, 0, 0, 150, 120, SWP_NOMOVE | SWP_NOZORDER);
    RECT rect;
    GetWindowRect(GetDlgItem(form.window, IDCANCEL), &rect);
    MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 127);
    SendMessageW(form.window, WM_COMMAND, MAKEWPARAM(20, BN_CLICKED), 0);
    EXPECT_EQ(form.commands, "1 ");
}

TEST_F(FormTest, MainControlFollowsTheEdges)
{
    struct Case {
        DWORD style;
        RECT expected;  // relative to the form's client area of 200 x 120
    } cases[] = {
        {FS_FOLLOWMASK, {0, 0, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR, {0, 24, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR | FS_EMBEDDED, {0, 0, 200, 120}},
        {FS_FOLLOWRIGHT | FS_FOLLOWBOTTOM, {0, 0, 200, 120}},  // left and top stay where they were
    };
    for (const Case& c : cases) {
        CTestForm form("F", IDD_TEST_LIST, c.style);
        ASSERT_NE(form.Create(&host), nullptr);
        form.mainControl = GetDlgItem(form.window, IDC_TEST_LIST);
        RECT before;
        GetWindowRect(form.mainControl, &before);
        MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&before), 2);
        SetWindowPos(form.window, nullptr, 0, 0, 200, 120, SWP_NOMOVE | SWP_NOZORDER);
        RECT rect;
        GetWindowRect(form.mainControl, &rect);
        MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&rect), 2);
        RECT expected = c.expected;
        if (!(c.style & FS_FOLLOWLEFT)) {
            expected.left = before.left;
            expected.top = before.top;
        }
        EXPECT_TRUE(EqualRect(&rect, &expected)) << "style " << std::hex << c.style << std::dec << ": " << rect.left
                                                 << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
}

TEST_F(FormTest, CommandBarComesAndGoesWithTheForm)
{
    CTestForm form("B", IDD_TEST_HOST, FS_COMMANDBAR, IDM_TEST_BAR);
    ASSERT_NE(form.Create(nullptr), nullptr);
    HWND bar = form.commandBar.window;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetParent(bar), form.window);
    EXPECT_EQ(GetDlgCtrlID(bar), 16);
    EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2);
    form.Show(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(bar));
    form.Show(SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(bar));
    SendMessageW(form.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(form.commands.substr(0, 2), "2 ");
    EXPECT_TRUE(form.Destroy());
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(form.commandBar.window, nullptr);
    EXPECT_EQ(form.window, nullptr);
}

TEST_F(FormTest, ContextPathAndDependents)
{
    a.name = "Payments";
    CString* path = a.GetContextPath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path->Text(), L"Forms\\Payments");
    CObject* out[2] = {};
    EXPECT_EQ(a.GetDependents(out), 0);
    EXPECT_EQ(a.GetDependents(nullptr), 0);
}

} // namespace
