#include "pages/update.h"

#include <string>
#include <vector>

#include "base/registry.h"
#include "data/datafile.h"
#include "data/records.h"
#include "pages/dlgutils.h"
#include "pages/provider.h"
#include "resources/resource.h"
#include "updater/updatelog.h"
#include "updater/updateresult.h"

const wchar_t kDefaultUpdateUrl[] = L"https://update.kestrova.com/dialpass";

namespace {

const UINT_PTR kWatchTimer = 1;
const UINT kWatchPeriodMs = 200;
const DWORD kWatchWaitMs = 50;

// The result of CDlgDoUpdate beside the updater's exit codes (UpdateResult).
const INT_PTR kCancelled = -1;
const INT_PTR kNoExitCode = -2;

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

std::wstring UpdaterArguments(const wchar_t* baseUrl, const wchar_t* dir)
{
    std::wstring text = baseUrl;
    text += L" \"";
    text += dir;
    text += L"\" update.xml \"";
    text += dir;
    text += L"\" \"\\Temp\\Dialpass\" \"";
    text += dir;
    text += L"update.log\"";
    return text;
}

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
    CDlgDoUpdate progress(process);
    INT_PTR result = progress.DoModal(this);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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

CDlgDoUpdate::CDlgDoUpdate(PROCESS_INFORMATION& process) : CDialog(IDD_DO_UPDATE), process(process) {}

INT_PTR CDlgDoUpdate::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    SetTimer(window, kWatchTimer, kWatchPeriodMs, nullptr);
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgDoUpdate::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The UI thread never waits longer than one short wait per tick.
    if (message == WM_TIMER && wParam == kWatchTimer &&
        WaitForSingleObject(process.hProcess, kWatchWaitMs) != WAIT_TIMEOUT) {
        KillTimer(window, kWatchTimer);
        DWORD code = 0;
        EndDialog(window, GetExitCodeProcess(process.hProcess, &code) ? INT_PTR(int(code)) : kNoExitCode);
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

LRESULT CDlgDoUpdate::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDCANCEL) {
        KillTimer(window, kWatchTimer);
        TerminateProcess(process.hProcess, 0);
        EndDialog(window, kCancelled);
    }
    return CDialog::OnCommand(wParam, lParam);
}

CDlgTextFile::CDlgTextFile(const wchar_t* file) : CDialog(IDD_TEXT_FILE)
{
    lstrcpynW(path, file ? file : L"", ARRAYSIZE(path));
}

INT_PTR CDlgTextFile::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    // A log that cannot be opened shows as an empty viewer, like an empty log.
    if (file != INVALID_HANDLE_VALUE) {
        DWORD size = GetFileSize(file, nullptr);
        std::vector<char> bytes(size == INVALID_FILE_SIZE ? 0 : size);
        DWORD read = 0;
        if (!bytes.empty() && ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) && read) {
            // The updater appends each run to the log: the last run is the one this message is about.
            const char* shown = bytes.data();
            std::string all(bytes.data(), read);
            size_t last = all.rfind(kRunHeader);
            if (last != std::string::npos && (last == 0 || all[last - 1] == '\n'))
                shown += last;
            int count = int(read - (shown - bytes.data()));
            int length = MultiByteToWideChar(CP_ACP, 0, shown, count, nullptr, 0);
            std::vector<wchar_t> text(size_t(length) + 1, L'\0');
            MultiByteToWideChar(CP_ACP, 0, shown, count, text.data(), length);
            SendDlgItemMessageW(window, IDC_TEXT_FILE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
        }
        CloseHandle(file);
    }
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgTextFile::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        EndDialog(window, LOWORD(wParam));
    return CDialog::OnCommand(wParam, lParam);
}
