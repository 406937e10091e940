#include "framework/controls.h"

void CtlControl::OnNotification(NMHDR*)
{
}

void CtlListView::OnNotification(NMHDR* notification)
{
    if (!notification)
        return;
    int item = reinterpret_cast<NMLISTVIEW*>(notification)->iItem;
    delete static_cast<CObject*>(GetItemData(item));
}

void* CtlListView::GetItemData(int item) const
{
    LVITEMW record{};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    if (!SendMessageW(window, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&record)))
        return nullptr;
    return reinterpret_cast<void*>(record.lParam);
}

void CtlListView::SetSortArrow(int column, int descending, int onlySortColumn) const
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(window, LVM_GETHEADER, 0, 0));
    int count = int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    if (count < 1)
        return;
    HDITEMW record{};
    for (int i = 0; i < count; ++i) {
        if (i == column) {
            record.mask = HDI_FORMAT | HDI_IMAGE;
            record.fmt = HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
            record.iImage = descending;
        } else {
            if (onlySortColumn)
                continue;
            record.mask = HDI_FORMAT;
            record.fmt = HDF_STRING;
        }
        SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&record));
    }
}

void CtlCommandBar::Clear()
{
    delete[] objects;
    objects = nullptr;
    delete[] buffer;
    buffer = nullptr;
    count = 0;
}
