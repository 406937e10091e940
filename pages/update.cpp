#include "pages/update.h"

#include <string>

#include "base/handle.h"
#include "base/registry.h"
#include "data/datafile.h"
#include "data/records.h"
#include "pages/dlglog.h"
#include "pages/dlgprogress.h"
#include "pages/dlgutils.h"
#include "pages/provider.h"
#include "resources/resource.h"
#include "updater/commandline.h"
#include "updater/updateresult.h"

const wchar_t kDefaultUpdateUrl[] = L"https://update.kestrova.com/dialpass";

namespace {

// "UpdateURL" when it is set, else the maker's site.
std::wstring UpdateUrl()
{
    wchar_t url[1024] = {};
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    if (key.Value("UpdateURL").GetText(url, ARRAYSIZE(url), nullptr) && url[0])
        return url;
    return kDefaultUpdateUrl;
}

} // namespace

CFrmUpdate::CFrmUpdate(CFrmProvider& provider) : CFrmPage(IDD_UPDATE, IDC_UPDATE_TITLE), provider(provider) {}

LRESULT CFrmUpdate::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_CHECK_UPDATES)
        CheckForUpdates();
    return CFormWnd::OnCommand(wParam, lParam);
}

void CFrmUpdate::CheckForUpdates()
{
    CString* dir = GetDataPath(L"");
    if (!dir)
        return;
    std::wstring arguments = UpdaterArguments(UpdateUrl().c_str(), dir->Text());
    std::wstring program = std::wstring(dir->Text()) + L"Update.exe";
    PROCESS_INFORMATION process = {};
    // The device takes no start-up information; the desktop needs an empty one (Wine crashes on none).
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), &arguments[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        ShowMessage(window, IDS_UPDATE_NOT_STARTED);
        return;
    }
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    CDlgDoUpdate progress(process);
    INT_PTR result = progress.DoModal(this);
    threadHandle.Close();
    processHandle.Close();
    switch (result) {
    case kUpdated:
        ShowMessage(window, IDS_UPDATE_DONE, MB_OK | MB_ICONINFORMATION);
        // The tables are read again from the new files by their next user.
        ClearDatabaseTables();
        // Card settings shows the new data at once when its window exists, else when it is first shown.
        provider.UpdateProvider();
        if (provider.initialised && provider.window)
            provider.FillLocations();
        break;
    case kNothingNew:
        ShowMessage(window, IDS_UPDATE_NOTHING_NEW, MB_OK | MB_ICONINFORMATION);
        break;
    case kUpdateFailed:
        if (ShowMessage(window, IDS_UPDATE_FAILED, MB_YESNO | MB_ICONHAND) == IDYES) {
            CString* log = GetDataPath(L"update.log");
            CDlgTextFile viewer(log ? log->Text() : L"");
            viewer.DoModal(this);
        }
        break;
    case kCancelled:
        ShowMessage(window, IDS_UPDATE_TERMINATED);
        break;
    default:
        break;  // another exit code, or none: no message
    }
}
