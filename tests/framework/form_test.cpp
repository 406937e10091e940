// Forms outside a property sheet: navigation with history, scrolling, sorting, expiry, set-up.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "framework/form.h"
#include "support/testids.h"

namespace {

void Pump(DWORD milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(milliseconds ? 10 : 0);
    } while (LONG(GetTickCount() - end) < 0);
}

RECT ClientRectOf(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Logs what navigation calls, e.g. "A:save A:deactivate B:activate B:load ".
class CTestForm : public CFormWnd {
public:
    CTestForm(const char* tag, DWORD id = IDD_TEST_CHILD, DWORD style = 0, DWORD menu = 0)
        : CFormWnd(id, style, menu), tag(tag) {}
    ~CTestForm() override { DestroyWindow(window); }
    BOOL Activate(CFormWnd* from, DWORD flags) override
    {
        Log("activate");
        activateFlags = flags;
        return !refuse && CFormWnd::Activate(from, flags);
    }
    BOOL Deactivate(CFormWnd* to) override { return Log("deactivate"), !refuse && CFormWnd::Deactivate(to); }
    int UpdateData(int save, LPARAM) override { return Log(save ? "save" : "load"), 1; }
    void OnDataExchanged(int saved) override { Log(saved ? "saved" : "loaded"); }
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands += std::to_string(wParam) + " ";
        return CFormWnd::OnCommand(wParam, lParam);
    }
    int CompareItems(LPARAM data1, LPARAM data2) override
    {
        return int(data1 - data2) * ((state & FST_DESCENDING) ? -1 : 1);
    }
    void Log(const char* what) { *log += std::string(tag) + ":" + what + " "; }

    const char* tag;
    std::string own, commands;
    std::string* log = &own;
    bool refuse = false;
    DWORD activateFlags = 0;
};

class FormTest : public testing::Test {
protected:
    void SetUp() override
    {
        formNavigation.historyTop = -1;
        formNavigation.history.Clear();
        formNavigation.currentForm = formNavigation.previousForm = nullptr;
        ASSERT_NE(host.Create(nullptr), nullptr);
        a.log = b.log = &log;
    }
    void TearDown() override
    {
        formNavigation.currentForm = nullptr;
        CFormWnd::expireDelay = 90000;
    }
    CFormWnd* Current() const { return formNavigation.currentForm; }

    std::string log;
    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm a{"A"}, b{"B"};
};

TEST_F(FormTest, BackWithEmptyHistoryAndReservedTargetsFail)
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
    ASSERT_TRUE(host.Navigate(&b, 0, 22));
    EXPECT_EQ(a.parent, &host);
    EXPECT_EQ(GetParent(a.window), host.window);
    EXPECT_EQ(formNavigation.previousForm, &a);
    EXPECT_EQ(formNavigation.parameter, 22);
    EXPECT_EQ(log, "A:loaded A:activate A:load A:save A:deactivate B:loaded B:activate B:load ");
    Pump(0);
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
    Pump(0);
    EXPECT_TRUE(IsWindowVisible(b.window));
    EXPECT_FALSE(IsWindowVisible(a.window));

    // A new step forgets what lay ahead; back from the oldest record leaves no form current.
    ASSERT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    ASSERT_TRUE(host.Navigate(&b, 0, 0));
    EXPECT_FALSE(host.Navigate(FORM_FORWARD, FNF_QUERY, 0));
    ASSERT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_TRUE(host.Navigate(FORM_BACK, 0, 0));
    EXPECT_EQ(Current(), nullptr);
    EXPECT_FALSE(host.Navigate(FORM_BACK, FNF_QUERY, 0));
}

TEST_F(FormTest, FlagsControlRecordingSavingAndLoading)
{
    struct Case {
        DWORD flags;
        int top;  // from one record holding the current form
        const char* log;
    } cases[] = {
        {0x3, 1, "A:save A:deactivate A:activate A:load "},
        {FNF_NORECORD, 0, "A:save A:deactivate A:activate A:load "},
        {FNF_NOLOAD, 1, "A:save A:deactivate A:activate "},
        {FNF_NOSAVE | FNF_CLEARHISTORY, -1, "A:activate A:load "},
    };
    ASSERT_TRUE(host.Navigate(&a, 0, 0));
    for (const Case& c : cases) {
        formNavigation.historyTop = 0;
        formNavigation.currentForm = &a;
        log.clear();
        ASSERT_TRUE(host.Navigate(&a, c.flags, 0));
        EXPECT_EQ(formNavigation.historyTop, c.top) << std::hex << c.flags;
        EXPECT_EQ(log, c.log) << std::hex << c.flags;
        EXPECT_EQ(a.state & FST_ACTIVATEFLAGS, (c.flags & 0xF) << 16) << std::hex << c.flags;
    }
    CTestForm flagged("F", IDD_TEST_CHILD, FS_NAVIGATEFLAG);
    ASSERT_TRUE(host.Navigate(&flagged, 0x1, 0));
    EXPECT_EQ(flagged.activateFlags, DWORD(FNF_STYLEFLAG | 0x1));
}

TEST_F(FormTest, RefusalsStopNavigationAfterSaving)
{
    ASSERT_TRUE(host.Navigate(&a, 0, 0));
    a.refuse = true;
    log.clear();
    EXPECT_FALSE(host.Navigate(&b, 0, 0));
    EXPECT_EQ(log, "A:save A:deactivate ");
    EXPECT_EQ(Current(), nullptr);
    a.refuse = false;
    b.refuse = true;
    EXPECT_FALSE(host.Navigate(&b, 0, 0));
    EXPECT_EQ(formNavigation.historyTop, 0);
}

TEST_F(FormTest, DestroyedFormIsNoLongerCurrentOrPrevious)
{
    {
        CTestForm gone("G");
        ASSERT_TRUE(host.Navigate(&gone, 0, 0));
        ASSERT_TRUE(host.Navigate(&a, FNF_NORECORD, 0));
        EXPECT_EQ(formNavigation.previousForm, &gone);
        formNavigation.currentForm = &gone;
    }
    EXPECT_EQ(formNavigation.previousForm, nullptr);
    EXPECT_EQ(Current(), nullptr);
}

TEST_F(FormTest, ExpiresOnlyWhenDeactivatedOutsideTheHistory)
{
    CTestForm kept("K", IDD_TEST_CHILD, FS_EXPIRE), dropped("D", IDD_TEST_CHILD, FS_EXPIRE);
    ASSERT_TRUE(host.Navigate(&kept, 0, 0));
    ASSERT_TRUE(host.Navigate(&dropped, FNF_NORECORD, 0));
    CFormWnd::expireDelay = 100;
    kept.Deactivate(&a);
    dropped.Deactivate(&a);
    Pump(50);
    dropped.Activate(&a, 0);  // activating in time keeps the window
    Pump(250);
    EXPECT_NE(kept.window, nullptr);
    EXPECT_NE(dropped.window, nullptr);
    dropped.Deactivate(&a);
    Pump(250);
    EXPECT_EQ(dropped.window, nullptr);
    // The timer message itself, as it arrives after 90 seconds.
    HWND window = kept.window;
    SendMessageW(window, WM_TIMER, IDT_FORMEXPIRE, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(kept.window, nullptr);
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
}

TEST_F(FormTest, CornerButtonsSitInTheTopRightCorner)
{
    CTestForm form("C", IDD_TEST_CHILD, FS_CLOSEBUTTON | FS_HELPBUTTON | FS_OKBUTTON);
    RECT area{0, 0, 200, 120};
    ASSERT_NE(form.Create(&host, &area), nullptr);
    struct Case {
        int id, left;
    } cases[] = {{IDCANCEL, 177}, {9, 148}, {20, 119}};
    for (const Case& c : cases) {
        RECT rect = ClientRectOf(GetDlgItem(form.window, c.id));
        EXPECT_EQ(rect.left, c.left) << "id " << c.id;
        EXPECT_EQ(rect.top, 0) << "id " << c.id;
        EXPECT_EQ(rect.right - rect.left, 23) << "id " << c.id;
    }
    SetWindowPos(form.window, nullptr, 0, 0, 150, 120, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(ClientRectOf(GetDlgItem(form.window, IDCANCEL)).left, 127);
    SendMessageW(form.window, WM_COMMAND, MAKEWPARAM(20, BN_CLICKED), 0);
    EXPECT_EQ(form.commands, "1 ");
}

TEST_F(FormTest, MainControlFollowsTheEdges)
{
    struct Case {
        DWORD style;
        RECT expected;  // in a client area of 200 x 120; -1: where the template put it
    } cases[] = {
        {FS_FOLLOWMASK, {0, 0, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR, {0, 24, 200, 120}},
        {FS_FOLLOWMASK | FS_BELOWBAR | FS_EMBEDDED, {0, 0, 200, 120}},
        {FS_FOLLOWRIGHT | FS_FOLLOWBOTTOM, {-1, -1, 200, 120}},
    };
    for (const Case& c : cases) {
        CTestForm form("F", IDD_TEST_LIST, c.style);
        ASSERT_NE(form.Create(&host), nullptr);
        form.mainControl = GetDlgItem(form.window, IDC_TEST_LIST);
        RECT expected = c.expected, before = ClientRectOf(form.mainControl);
        if (expected.left < 0)
            expected.left = before.left, expected.top = before.top;
        SetWindowPos(form.window, nullptr, 0, 0, 200, 120, SWP_NOMOVE | SWP_NOZORDER);
        RECT rect = ClientRectOf(form.mainControl);
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
    EXPECT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2);  // "Done" and "Tools"
    form.Show(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(bar));
    form.Show(SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(bar));
    RECT done{};
    SendMessageW(bar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&done));
    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(done.left + 2, done.top + 2));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(done.left + 2, done.top + 2));
    EXPECT_EQ(form.commands, "1 ");
    form.commands.clear();
    SendMessageW(form.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(form.commands.substr(0, 2), "2 ");
    EXPECT_TRUE(form.Destroy());
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(form.commandBar.window, nullptr);
    EXPECT_EQ(form.window, nullptr);
}

TEST_F(FormTest, MoveDownMakesRoomForTheBar)
{
    CTestForm plain("P"), moved("M", IDD_TEST_CHILD, FS_MOVEDOWN);
    ASSERT_NE(plain.Create(&host), nullptr);
    ASSERT_NE(moved.Create(&host), nullptr);
    for (int id : {IDC_TEST_TOP, IDC_TEST_LOW}) {
        EXPECT_EQ(ClientRectOf(GetDlgItem(moved.window, id)).top, ClientRectOf(GetDlgItem(plain.window, id)).top + 24)
            << "id " << id;
    }
}

TEST_F(FormTest, PresentAsksTheMainForm)
{
    EXPECT_EQ(a.Present(), 1);  // no main form: nothing happens
    EXPECT_EQ(Current(), nullptr);
    formNavigation.mainForm = &host;
    EXPECT_EQ(a.Present(), 1);
    formNavigation.mainForm = nullptr;
    EXPECT_EQ(Current(), &a);
    EXPECT_EQ(a.parent, &host);
}

TEST_F(FormTest, ContextPathAndNoDependents)
{
    a.name = "Payments";
    CString* path = a.GetContextPath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path->Text(), L"Forms\\Payments");
    CObject* out[2] = {};
    EXPECT_EQ(a.GetDependents(out), 0);
    EXPECT_EQ(out[0], nullptr);
}

// A child form 200 pixels wide and `height` high that scrolls its controls vertically.
class ScrollTest : public testing::Test {
protected:
    void Open(int height)
    {
        ASSERT_NE(host.Create(nullptr), nullptr);
        RECT area{0, 0, 200, height};
        ASSERT_NE(form.Create(&host, &area), nullptr);
        ShowWindow(form.window, SW_SHOW);
        top = ClientRectOf(GetDlgItem(form.window, IDC_TEST_TOP)).top;
        maximum = height + ClientRectOf(GetDlgItem(form.window, IDC_TEST_LOW)).bottom - top;
    }
    int Scroll(int code)
    {
        SendMessageW(form.window, WM_VSCROLL, code, 0);
        SendMessageW(form.window, WM_VSCROLL, SB_ENDSCROLL, 0);
        return form.verticalPosition;
    }

    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm form{"S", IDD_TEST_CHILD, FS_VSCROLL};
    int top = 0, maximum = 0;
};

TEST_F(ScrollTest, LinesPagesAndBounds)
{
    Open(300);
    struct Case {
        int code, expected;
    } cases[] = {
        {SB_LINEUP, 0}, {SB_LINEDOWN, 10}, {SB_LINEDOWN, 20}, {SB_THUMBTRACK, 20}, {SB_LINEUP, 10},
        {SB_PAGEUP, 0}, {SB_PAGEDOWN, 300}, {SB_PAGEDOWN, maximum}, {SB_LINEDOWN, maximum},
        {SB_TOP, 0}, {SB_BOTTOM, maximum}, {SB_PAGEUP, maximum - 300},
    };
    for (const Case& c : cases) {
        int before = form.verticalPosition;
        EXPECT_EQ(Scroll(c.code), c.expected) << "code " << c.code << " from " << before;
        EXPECT_EQ(ClientRectOf(GetDlgItem(form.window, IDC_TEST_TOP)).top, top - c.expected) << "code " << c.code;
    }
}

TEST_F(ScrollTest, ShortClientDoesNotMoveByLines)
{
    Open(20);
    EXPECT_EQ(Scroll(SB_LINEDOWN), 0);
    EXPECT_EQ(Scroll(SB_PAGEDOWN), 20);
}

TEST_F(ScrollTest, ControlsHideUntilTheOperationEnds)
{
    Open(300);
    HWND label = GetDlgItem(form.window, IDC_TEST_TOP);
    SendMessageW(form.window, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessageW(form.window, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_EQ(form.verticalPosition, 0);
    SendMessageW(form.window, WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_TRUE(IsWindowVisible(label));
    EXPECT_EQ(form.verticalPosition, 20);
    SendMessageW(form.window, WM_HSCROLL, SB_PAGEDOWN, 0);  // no horizontal scrolling style
    SendMessageW(form.window, WM_HSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(form.horizontalPosition, 0);
}

// A list form sorted by its column headers; items carry 20, 10 and 30.
class SortTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.Create(nullptr), nullptr);
        ASSERT_NE(form.Create(&host), nullptr);
        form.mainControl = list.window = GetDlgItem(form.window, IDC_TEST_LIST);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 40;
        column.pszText = const_cast<wchar_t*>(L"Column");
        for (int i = 0; i < 3; ++i)
            SendMessageW(list.window, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        for (LPARAM data : {20, 10, 30}) {
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = 99;
            item.lParam = data;
            SendMessageW(list.window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        header = reinterpret_cast<HWND>(SendMessageW(list.window, LVM_GETHEADER, 0, 0));
    }
    std::string Order()
    {
        std::string order;
        for (int i = 0; i < 3; ++i)
            order += std::to_string(reinterpret_cast<LPARAM>(list.GetItemData(i))) + " ";
        return order;
    }
    void Click(int column)
    {
        NMHEADERW click{};
        click.hdr = NMHDR{header, 0, UINT(HDN_ITEMCLICKW)};
        click.iItem = column;
        SendMessageW(form.window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&click));
    }

    CTestForm host{"H", IDD_TEST_HOST};
    CTestForm form{"L", IDD_TEST_LIST, FS_SORTHEADER};
    CtlListView list;
    HWND header = nullptr;
};

TEST_F(SortTest, SameColumnTogglesOtherColumnKeepsDirection)
{
    struct Case {
        int column;
        bool descending;
        const char* order;
    } cases[] = {
        {0, true, "30 20 10 "},  // column 0 is the sort column from the start
        {0, false, "10 20 30 "}, {2, false, "10 20 30 "}, {2, true, "30 20 10 "}, {1, true, "30 20 10 "},
    };
    for (const Case& c : cases) {
        Click(c.column);
        EXPECT_EQ((form.state & FST_SORTCOLUMN) >> FST_SORTSHIFT, DWORD(c.column));
        EXPECT_EQ((form.state & FST_DESCENDING) != 0, c.descending) << "column " << c.column;
        EXPECT_EQ(Order(), c.order) << "column " << c.column;
        HDITEMW item{};
        item.mask = HDI_IMAGE;
        SendMessageW(header, HDM_GETITEMW, c.column, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.iImage, c.descending ? 1 : 0) << "column " << c.column;
    }
}

TEST_F(SortTest, MouseClickOnAHeaderSortsOnlyWithTheSortStyle)
{
    RECT rect{};
    ASSERT_TRUE(SendMessageW(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect)));
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    form.style = 0;
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(header, WM_LBUTTONUP, 0, point);
    EXPECT_EQ(form.state, DWORD(FST_INITIAL));
    EXPECT_EQ(Order(), "20 10 30 ");
    form.style = FS_SORTHEADER;  // the list view passes the header's click on to the form
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(header, WM_LBUTTONUP, 0, point);
    EXPECT_EQ((form.state & FST_SORTCOLUMN) >> FST_SORTSHIFT, 2u);
    EXPECT_EQ(Order(), "10 20 30 ");
}

} // namespace
