// Thin wrappers around common controls. A wrapper never owns its control's window.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "base/cstring.h"
#include "base/object.h"

class CtlControl : public CObject {
public:
    CtlControl() = default;
    ~CtlControl() override = default;
    CtlControl(const CtlControl&) = delete;
    CtlControl& operator=(const CtlControl&) = delete;

    // Slot 1: a notification about the control.
    virtual void OnNotification(NMHDR* notification);

    HWND window = nullptr;
};

// Made around an existing list view for one operation.
class CtlListView : public CtlControl {
public:
    // For an item notification (NMLISTVIEW): deletes the object in the item's data word, if any.
    void OnNotification(NMHDR* notification) override;

    // The item's data word; null when the item does not exist or carries none.
    void* GetItemData(int item) const;
    // Shows an arrow (header image 0 ascending, 1 descending) on column; unless onlySortColumn,
    // the other columns lose theirs. The image list is attached by whoever made the list view.
    void SetSortArrow(int column, int descending, int onlySortColumn) const;
};

// The form's command bar; the form creates and destroys its window.
class CtlCommandBar : public CtlControl {
public:
    ~CtlCommandBar() override { Clear(); }

    void OnNotification(NMHDR*) override {}
    // Frees the buffer and the objects and sets the count to 0; harmless when already empty.
    void Clear();

    BYTE* buffer = nullptr;      // owned, new[]
    CString* objects = nullptr;  // owned, new[] (the runtime keeps the element count)
    int count = 0;
};
