#include "support/dialogdriver.h"

#include "platform/cellmodem.h"

namespace {

const wchar_t kHostClass[] = L"DialpassTestHost";
const UINT kEndAll = WM_APP + 1;

// Ends every dialog window of the host's thread, innermost first, so nested modal loops unwind.
BOOL CALLBACK EndOne(HWND window, LPARAM)
{
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (lstrcmpW(name, L"#32770") == 0)
        EndDialog(window, -2);
    return TRUE;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kEndAll) {
        EnumThreadWindows(GetCurrentThreadId(), EndOne, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct FindContext {
    const wchar_t* title;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindOne(HWND window, LPARAM param)
{
    FindContext& context = *reinterpret_cast<FindContext*>(param);
    wchar_t name[16] = L"", text[128] = L"";
    GetClassNameW(window, name, 16);
    GetWindowTextW(window, text, 128);
    if (lstrcmpW(name, L"#32770") == 0 && lstrcmpW(text, context.title) == 0 &&
        (!context.visibleOnly || IsWindowVisible(window))) {
        context.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindOnThread(DWORD threadId, const wchar_t* title, bool visibleOnly, DWORD timeout)
{
    FindContext context{title, visibleOnly, nullptr};
    WaitUntil([&] {
        EnumThreadWindows(threadId, FindOne, reinterpret_cast<LPARAM>(&context));
        return context.found != nullptr;
    }, timeout);
    return context.found;
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
        window = FindOnThread(threadId, title, false, kWindowTimeout);
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
    for (int attempt = 0; attempt < 20 && Running(); ++attempt) {
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
    return FindOnThread(threadId, windowTitle, true, timeout);
}

std::wstring AnswerMessage(const ModalDialog& dialog, DWORD timeout)
{
    HWND box = dialog.Find(L"Kestrova Dialpass", timeout);
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

void SetSimulatedOperator(const wchar_t* op)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, kCellularSimulatorKey);
    if (op)
        SetRegText(kCellularSimulatorKey, kCellularSimulatorOperator, op);
}
