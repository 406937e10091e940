#include "pages/dlgutils.h"

#include <cstring>

#include "base/cstring.h"
#include "base/module.h"
#include "data/datafile.h"
#include "data/records.h"
#include "phone/phoneline.h"
#include "platform/shell.h"
#include "resources/resource.h"

LPARAM GetSelItemData(HWND window, int control)
{
    LRESULT selected = SendDlgItemMessageW(window, control, CB_GETCURSEL, 0, 0);
    if (selected < 0)
        return 0;
    return SendDlgItemMessageW(window, control, CB_GETITEMDATA, WPARAM(selected), 0);
}

void SelectItemByData(HWND window, int control, LPARAM value)
{
    LRESULT count = SendDlgItemMessageW(window, control, CB_GETCOUNT, 0, 0);
    SendDlgItemMessageW(window, control, CB_SETCURSEL, WPARAM(-1), 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (SendDlgItemMessageW(window, control, CB_GETITEMDATA, WPARAM(i), 0) == value) {
            SendDlgItemMessageW(window, control, CB_SETCURSEL, WPARAM(i), 0);
            return;
        }
    }
}

uint16_t CountryCodeOf(uint32_t id)
{
    // Compared at full width: an id beyond 16 bits names no country.
    for (CountryRecord* record = countryTable.Next(true); record; record = countryTable.Next(false))
        if (record->id == id)
            return record->code;
    return 0;
}

void InitFullScreenDialog(HWND dialog)
{
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = dialog;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = IDM_SOFT_KEYS;
    bar.hInstRes = moduleInstance;
    SHCreateMenuBar(&bar);

    SHINITDLGINFO init{};
    init.dwMask = SHIDIM_FLAGS;
    init.hDlg = dialog;
    init.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&init);
}

void WidenDatabaseText(const char* text, size_t bytes, wchar_t* out, int room)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, int(strnlen(text, bytes)), out, room - 1);
    out[n > 0 ? n : 0] = 0;
}

bool DetectLocation(HWND window, int control, int& code)
{
    try {
        code = DetectCurrentLocation();
    } catch (const CTableException& error) {
        // The operator file could not be read: say which, as when the lists are filled.
        ShowTableError(window, error);
        return false;
    }
    for (CountryRecord* country = countryTable.Next(true); country; country = countryTable.Next(false)) {
        if (country->code == code) {
            SelectItemByData(window, control, country->id);
            return true;
        }
    }
    ShowMessage(window, IDS_AUTODETECT_FAILED);
    return true;
}

int ShowMessage(HWND owner, UINT textId, UINT type)
{
    CString text, caption;
    text.LoadResource(moduleInstance, textId);
    caption.LoadResource(moduleInstance, IDS_APP_NAME);
    return MessageBoxW(owner, text.Text(), caption.Text(), type);
}
