#include "support/sheetdriver.h"

#include <gtest/gtest.h>

#include <cpl.h>

RECT RectIn(HWND parent, HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring ShowValue(const wchar_t* path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"no key";
    std::vector<BYTE> bytes(1024);
    DWORD type = REG_NONE, size = DWORD(bytes.size());
    LONG error = RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    RegCloseKey(key);
    if (error)
        return L"-";
    bytes.resize(size);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), size / 2);
    if (type == REG_DWORD && size == 4)
        return L"dword:" + std::to_wstring(*reinterpret_cast<DWORD*>(bytes.data()));
    if (type == REG_SZ && size % 2 == 0 && text.find(L'\0') + 1 == text.size())
        return L"sz:" + text.substr(0, text.size() - 1);
    std::wstring shown = L"binary:" + std::to_wstring(size) + L" ";
    while (!bytes.empty() && !bytes.back())
        bytes.pop_back();
    for (BYTE b : bytes)
        shown += L"0123456789ABCDEF"[b >> 4], shown += L"0123456789ABCDEF"[b & 15];
    return type == REG_BINARY ? shown : L"type " + std::to_wstring(type) + L", size " + std::to_wstring(size);
}

void ExpectValues(const std::string& what, std::initializer_list<WantedValue> wants)
{
    for (const auto& [key, name, shown] : wants)
        EXPECT_EQ(ShowValue(key, name), shown) << what << ": " << key << " " << name;
}

SheetDriver::SheetDriver()
{
    library = LoadLibraryW(L"dialpass.cpl");
    if (library)
        applet = reinterpret_cast<decltype(applet)>(reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")));
}

SheetDriver::~SheetDriver()
{
    if (Running() && PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0))
        WaitClosed();
    // An applet still inside CPL_DBLCLK keeps its code: unloading it would pull the floor away.
    if (Running())
        return;
    if (thread)
        CloseHandle(thread);
    if (library)
        FreeLibrary(library);
}

HWND SheetDriver::Open()
{
    if (!applet || Running())
        return nullptr;
    if (thread)
        CloseHandle(thread);
    result = -1;
    thread = CreateThread(nullptr, 0, [](void* self) -> DWORD {
        SheetDriver& driver = *static_cast<SheetDriver*>(self);
        driver.result = driver.applet(nullptr, CPL_DBLCLK, 0, 120);
        return 0;
    }, this, 0, nullptr);
    sheet = thread ? WaitForWindow(L"#32770", kSheetCaption) : nullptr;
    return sheet;
}

bool SheetDriver::Press(int button)
{
    return sheet && PostMessageW(sheet, PSM_PRESSBUTTON, button, 0) && WaitClosed();
}

bool SheetDriver::WaitClosed(DWORD timeout)
{
    return thread && WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0 &&
           WaitUntil([&] { return !IsWindow(sheet); }, timeout);
}
