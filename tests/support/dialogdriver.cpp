#include "support/dialogdriver.h"

#include "platform/cellmodem.h"

namespace {

const wchar_t kHostClass[] = L"DialpassTestHost";
const UINT kEndAll = WM_APP + 1;

// Ends every dialog window of the host's thread, innermost first, so nested modal loops unwind.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kEndAll)
        return DefWindowProcW(window, message, wParam, lParam);
    for (HWND dialog : Windows(L"#32770", nullptr, GetCurrentThreadId(), false))
        EndDialog(dialog, -2);
    return 0;
}

}  // namespace

ModalDialog::ModalDialog(CDialog& dialog, const wchar_t* title) : dialog(dialog)
{
    static ATOM hostClass = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = HostProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kHostClass;
        return RegisterClassW(&windowClass);
    }();
    if (!hostClass)
        return;
    thread = CreateThread(nullptr, 0, Run, this, 0, &threadId);
    if (thread)
        window = WaitForWindow(L"#32770", title, kWindowTimeout, threadId, false);
    // Answered once the dialog's thread waits for messages: its set-up is over, or shows a message box.
    if (window)
        SendMessageW(window, WM_NULL, 0, 0);
}

DWORD WINAPI ModalDialog::Run(void* self)
{
    ModalDialog& run = *static_cast<ModalDialog*>(self);
    run.host = CreateWindowExW(0, kHostClass, L"Test host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    CWnd owner;
    owner.window = run.host;
    run.result = run.dialog.DoModal(&owner);
    DestroyWindow(run.host);
    return 0;
}

ModalDialog::~ModalDialog()
{
    if (!thread)
        return;
    for (int attempt = 0; attempt < 20 && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; ++attempt) {
        PostMessageW(host, kEndAll, 0, 0);
        WaitForSingleObject(thread, 250);
    }
    WaitForSingleObject(thread, kWindowTimeout);
    CloseHandle(thread);
}

bool ModalDialog::Ended(DWORD timeout)
{
    return thread && WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0;
}

HWND ModalDialog::Find(const wchar_t* windowTitle, DWORD timeout) const
{
    return WaitForWindow(L"#32770", windowTitle, timeout, threadId);
}

std::wstring AnswerMessage(const ModalDialog& dialog, DWORD timeout)
{
    HWND box = dialog.Find(kMessageCaption, timeout);
    return box ? AnswerMessageBox(box) : L"";
}

ProfileRecord TestProfile(const wchar_t* name, uint32_t provider, uint32_t homeCode, uint32_t homeId)
{
    ProfileRecord record{};
    lstrcpynW(record.name, name, 32);
    lstrcpyW(record.account, L"12345");
    lstrcpyW(record.pin, L"9876");
    record.provider = provider;
    record.homeCode = homeCode;
    record.homeId = homeId;
    return record;
}

bool StoreTestProfiles(const std::wstring& path, std::initializer_list<const wchar_t*> names)
{
    ProfileStore store;
    store.Load(path.c_str());
    for (const wchar_t* name : names) {
        ProfileRecord* record = nullptr;
        store.Get(store.AddNew(), record);
        *record = TestProfile(name, 1, 49, 276);
    }
    return store.Save();
}

void SetSimulatedOperator(const wchar_t* op)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, kCellularSimulatorKey);
    if (op)
        SetRegText(kCellularSimulatorKey, kCellularSimulatorOperator, op);
}
