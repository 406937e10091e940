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

// A report list view with three centred columns.
class ListViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        list.window = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_POPUP | LVS_REPORT, 0, 0, 200, 100, nullptr,
                                      nullptr, nullptr, nullptr);
        ASSERT_NE(list.window, nullptr);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_FMT;
        column.fmt = LVCFMT_CENTER;
        column.pszText = const_cast<wchar_t*>(L"Column");
        for (int i = 0; i < 3; ++i)
            SendMessageW(list.window, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        header = reinterpret_cast<HWND>(SendMessageW(list.window, LVM_GETHEADER, 0, 0));  // made with a column
    }
    void TearDown() override { DestroyWindow(list.window); }
    HDITEMW Column(int i)
    {
        HDITEMW item{};
        item.mask = HDI_FORMAT | HDI_IMAGE;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        return item;
    }

    CtlListView list;
    HWND header = nullptr;
};

const int kArrow = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;

TEST_F(ListViewTest, SortArrowOnOneColumnClearsTheOthers)
{
    list.SetSortArrow(1, 1, 0);
    EXPECT_EQ(Column(0).fmt, HDF_STRING);
    EXPECT_EQ(Column(1).fmt, kArrow);
    EXPECT_EQ(Column(1).iImage, 1);
    EXPECT_EQ(Column(2).fmt, HDF_STRING);
    list.SetSortArrow(0, 0, 0);
    EXPECT_EQ(Column(0).fmt, kArrow);
    EXPECT_EQ(Column(0).iImage, 0);
    EXPECT_EQ(Column(1).fmt, HDF_STRING);
}

TEST_F(ListViewTest, OnlySortColumnLeavesTheOthersAlone)
{
    int first = Column(0).fmt;  // column 0 is always left-aligned
    ASSERT_EQ(Column(1).fmt, HDF_STRING | HDF_CENTER);
    list.SetSortArrow(2, 0, 1);
    EXPECT_EQ(Column(0).fmt, first);
    EXPECT_EQ(Column(1).fmt, HDF_STRING | HDF_CENTER);
    EXPECT_EQ(Column(2).fmt, kArrow);
}

TEST_F(ListViewTest, ItemDataAndItsOwnedObject)
{
    int deaths = 0;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.lParam = reinterpret_cast<LPARAM>(new CCounted(&deaths));
    SendMessageW(list.window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.lParam = 0;
    SendMessageW(list.window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(list.GetItemData(0), nullptr);
    EXPECT_NE(list.GetItemData(1), nullptr);
    EXPECT_EQ(list.GetItemData(2), nullptr);
    EXPECT_EQ(list.GetItemData(-1), nullptr);
    NMLISTVIEW notification{};
    notification.hdr.code = LVN_DELETEITEM;
    list.OnNotification(&notification.hdr);  // no object: nothing happens
    EXPECT_EQ(deaths, 0);
    notification.iItem = 1;
    list.OnNotification(&notification.hdr);
    EXPECT_EQ(deaths, 1);
}

TEST(CommandBar, ClearEmptiesAndIsHarmlessTwice)
{
    CtlCommandBar bar;
    bar.Clear();
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
