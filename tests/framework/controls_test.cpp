// The list-view and command-bar wrappers.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "framework/controls.h"

namespace {

class CCounted : public CObject {
public:
    explicit CCounted(int* deaths) : deaths(deaths) {}
    ~CCounted() override { ++*deaths; }
    int* deaths;
};

class ListViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&classes);
        list.window = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_POPUP | LVS_REPORT, 0, 0, 200, 100, nullptr,
                                      nullptr, nullptr, nullptr);
        ASSERT_NE(list.window, nullptr);
        for (int i = 0; i < 3; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_FMT;
            column.fmt = LVCFMT_CENTER;
            column.pszText = const_cast<wchar_t*>(L"Column");
            SendMessageW(list.window, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        }
        // Wine makes the header with the first column.
        header = reinterpret_cast<HWND>(SendMessageW(list.window, LVM_GETHEADER, 0, 0));
    }
    void TearDown() override { DestroyWindow(list.window); }
    HDITEMW Column(int i)
    {
        HDITEMW item{};
        item.mask = HDI_FORMAT | HDI_IMAGE;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        return item;
    }
    int Insert(LPARAM data)
    {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = 0;
        item.lParam = data;
        return int(SendMessageW(list.window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }

    CtlListView list;
    HWND header = nullptr;
};

TEST_F(ListViewTest, SortArrowOnOneColumnClearsTheOthers)
{
    list.SetSortArrow(1, 1, 0);
    const int arrow = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
    struct Case {
        int column;
        int format;
        int image;
    } cases[] = {{0, HDF_STRING, -1}, {1, arrow, 1}, {2, HDF_STRING, -1}};
    for (const Case& c : cases) {
        HDITEMW item = Column(c.column);
        EXPECT_EQ(item.fmt, c.format) << "column " << c.column;
        if (c.image >= 0) {
            EXPECT_EQ(item.iImage, c.image) << "column " << c.column;
        }
    }
    list.SetSortArrow(0, 0, 0);
    EXPECT_EQ(Column(0).fmt, arrow);
    EXPECT_EQ(Column(0).iImage, 0);
    EXPECT_EQ(Column(1).fmt, HDF_STRING);
}

TEST_F(ListViewTest, OnlySortColumnLeavesTheOthersAlone)
{
    int first = Column(0).fmt;  // column 0 is always left-aligned
    int second = Column(1).fmt;
    ASSERT_EQ(second, HDF_STRING | HDF_CENTER);
    list.SetSortArrow(2, 0, 1);
    EXPECT_EQ(Column(0).fmt, first);
    EXPECT_EQ(Column(1).fmt, second);
    EXPECT_EQ(Column(2).fmt, HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
}

TEST_F(ListViewTest, ItemDataAndItsOwnedObject)
{
    int deaths = 0;
    ASSERT_EQ(Insert(reinterpret_cast<LPARAM>(new CCounted(&deaths))), 0);
    ASSERT_EQ(Insert(0), 0);
    EXPECT_EQ(list.GetItemData(0), nullptr);
    EXPECT_NE(list.GetItemData(1), nullptr);
    EXPECT_EQ(list.GetItemData(2), nullptr);
    EXPECT_EQ(list.GetItemData(-1), nullptr);
    NMLISTVIEW notification{};
    notification.hdr.code = LVN_DELETEITEM;
    notification.iItem = 0;  // no object: nothing happens
    list.OnNotification(&notification.hdr);
    EXPECT_EQ(deaths, 0);
    notification.iItem = 1;
    list.OnNotification(&notification.hdr);
    EXPECT_EQ(deaths, 1);
}

TEST(CommandBar, ClearIsHarmlessTwice)
{
    CtlCommandBar bar;
    bar.Clear();
    EXPECT_EQ(bar.buffer, nullptr);
    EXPECT_EQ(bar.objects, nullptr);
    EXPECT_EQ(bar.count, 0);
    bar.buffer = new BYTE[16];
    bar.objects = new CString[3];
    bar.count = 3;
    bar.Clear();
    bar.Clear();
    EXPECT_EQ(bar.buffer, nullptr);
    EXPECT_EQ(bar.objects, nullptr);
    EXPECT_EQ(bar.count, 0);
    EXPECT_EQ(bar.window, nullptr);
}

} // namespace
