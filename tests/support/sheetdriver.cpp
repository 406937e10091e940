#include "support/sheetdriver.h"

#include <commctrl.h>
#include <cpl.h>
#include <prsht.h>

#include <vector>

#include "base/registry.h"

const wchar_t SheetDriver::kCaption[] = L"Dialpass 1.0";

namespace {
struct Search {
    const wchar_t* className;
    const wchar_t* title;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM lParam)
{
    Search& search = *reinterpret_cast<Search*>(lParam);
    wchar_t name[64];
    if (search.className && (!GetClassNameW(window, name, 64) || lstrcmpW(name, search.className)))
        return TRUE;
    if (search.title && WindowText(window) != search.title)
        return TRUE;
    if (IsWindowVisible(window))
        search.found.push_back(window);
    return TRUE;
}
} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeout)
            return false;
        Sleep(20);
    }
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeout)
{
    HWND found = nullptr;
    WaitUntil([&] {
        Search search{className, title, {}};
        EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
        found = search.found.empty() ? nullptr : search.found.front();
        return found != nullptr;
    }, timeout);
    return found;
}

int CountWindows(const wchar_t* className, const wchar_t* title)
{
    Search search{className, title, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return int(search.found.size());
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = L"";
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other threads.
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

bool IsChecked(HWND button)
{
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT RectIn(HWND parent, HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring MessageBoxText(HWND box)
{
    return WindowText(GetDlgItem(box, 0xFFFF));
}

void AnswerMessageBox(HWND box, int button)
{
    PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
}

bool ReadSetting(const wchar_t* name, DWORD& value)
{
    DWORD size = sizeof(value), type = 0;
    return RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(value);
}

void WriteSetting(const wchar_t* name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

void DeleteSetting(const wchar_t* name)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
}

SheetDriver::SheetDriver()
{
    library = LoadLibraryW(L"dialpass.cpl");
    if (library)
        applet = reinterpret_cast<decltype(applet)>(reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")));
}

SheetDriver::~SheetDriver()
{
    if (Running()) {
        if (sheet && IsWindow(sheet))
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        WaitClosed();
    }
    // An applet still inside CPL_DBLCLK keeps its code: unloading it would pull the floor away.
    if (thread) {
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
            return;
        CloseHandle(thread);
    }
    if (library)
        FreeLibrary(library);
}

DWORD WINAPI SheetDriver::AppletThread(void* self)
{
    SheetDriver& driver = *static_cast<SheetDriver*>(self);
    driver.result = driver.applet(driver.owner, CPL_DBLCLK, 0, 120);
    return 0;
}

HWND SheetDriver::Open(HWND ownerWindow)
{
    if (!applet || Running())
        return nullptr;
    if (thread)
        CloseHandle(thread);
    owner = ownerWindow;
    result = -1;
    thread = CreateThread(nullptr, 0, AppletThread, this, 0, nullptr);
    sheet = thread ? WaitForWindow(L"#32770", kCaption) : nullptr;
    return sheet;
}

bool SheetDriver::OpenAgainReturns(DWORD timeout)
{
    struct Call {
        SheetDriver* driver;
        static DWORD WINAPI Run(void* call)
        {
            SheetDriver* d = static_cast<Call*>(call)->driver;
            d->applet(nullptr, CPL_DBLCLK, 0, 120);
            return 0;
        }
    } call{this};
    HANDLE second = CreateThread(nullptr, 0, Call::Run, &call, 0, nullptr);
    if (!second)
        return false;
    bool returned = WaitForSingleObject(second, timeout) == WAIT_OBJECT_0;
    if (!returned) {
        // A second sheet came up after all: close it so the test can go on and report.
        if (HWND extra = FindWindowExW(nullptr, sheet, L"#32770", kCaption))
            PostMessageW(extra, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        WaitForSingleObject(second, timeout);
    }
    CloseHandle(second);
    return returned;
}

bool SheetDriver::Running() const
{
    return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

HWND SheetDriver::Tab() const
{
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
}

int SheetDriver::TabCount() const
{
    return int(SendMessageW(Tab(), TCM_GETITEMCOUNT, 0, 0));
}

std::wstring SheetDriver::TabTitle(int index) const
{
    wchar_t text[128] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(Tab(), TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

int SheetDriver::CurrentTab() const
{
    return int(SendMessageW(Tab(), TCM_GETCURSEL, 0, 0));
}

HWND SheetDriver::ShowPage(int index)
{
    if (!SendMessageW(sheet, PSM_SETCURSEL, index, 0))
        return nullptr;
    HWND page = nullptr;
    WaitUntil([&] {
        page = Page(index);
        return page && IsWindowVisible(page);
    });
    return page;
}

HWND SheetDriver::Page(int index) const
{
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, index, 0));
}

HWND SheetDriver::Control(int page, int id) const
{
    return GetDlgItem(Page(page), id);
}

void SheetDriver::Click(HWND control) const
{
    PostMessageW(control, BM_CLICK, 0, 0);
}

bool SheetDriver::Press(int button)
{
    if (!sheet || !PostMessageW(sheet, PSM_PRESSBUTTON, button, 0))
        return false;
    return WaitClosed();
}

bool SheetDriver::WaitClosed(DWORD timeout)
{
    if (!thread || WaitForSingleObject(thread, timeout) != WAIT_OBJECT_0)
        return false;
    return WaitUntil([&] { return !IsWindow(sheet); }, timeout);
}
