// Drives the applet's real windows as a user would: the applet runs its sheet on its own thread
// (the Control Panel's), the test plays the user from its thread through messages.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "base/registry.h"
#include "data/datatest.h"
#include "support/windowfind.h"

inline bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
RECT RectIn(HWND parent, HWND child);  // child's place in parent's client area

// A value under HKEY_CURRENT_USER\path as a test compares it: "dword:N", "sz:text" (one terminator),
// "binary:SIZE HEX" (to the last non-zero byte), "-" for no value, "no key".
std::wstring ShowValue(const wchar_t* path, const wchar_t* name);

// The dialer configuration's keys under HKEY_CURRENT_USER.
const wchar_t kConfigKey[] = L"SOFTWARE\\Kestrova\\Dialpass";
const wchar_t kDefaultsKey[] = L"SOFTWARE\\Kestrova\\Dialpass\\Defaults";
const wchar_t kInternationalKey[] = L"SOFTWARE\\Kestrova\\Dialpass\\International";
const wchar_t kLocalKey[] = L"SOFTWARE\\Kestrova\\Dialpass\\Local";

// Deletes the dialer configuration: its three keys, "CurrentLocation" and "Enable".
inline void ClearDialerConfig()
{
    for (const wchar_t* key : {kDefaultsKey, kInternationalKey, kLocalKey})
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
    for (const wchar_t* value : {L"CurrentLocation", L"Enable"})
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kConfigKey, value);
}

// Values written as the applet writes them (the key made when missing).
inline void SetRegNumber(const wchar_t* path, const wchar_t* name, DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, path, name, REG_DWORD, &value, sizeof(value));
}
inline void SetRegText(const wchar_t* path, const wchar_t* name, const std::wstring& text)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, path, name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

// Expects each (key, value name, ShowValue) of wants; what names the case in a failure.
using WantedValue = std::tuple<const wchar_t*, const wchar_t*, std::wstring>;
void ExpectValues(const std::string& what, std::initializer_list<WantedValue> wants);

inline void DeleteSetting(const wchar_t* name) { RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name); }

class SheetDriver {
public:
    // Loads dialpass.cpl from the test program's folder; "InstallDir" names an empty folder of the driver's
    // own, so that what OK saves never lands beside the programs (a test may set its own afterwards).
    SheetDriver();
    ~SheetDriver();  // cancels a sheet still open, waits for the applet's thread, unloads the applet
    SheetDriver(const SheetDriver&) = delete;
    SheetDriver& operator=(const SheetDriver&) = delete;

    // Sends CPL_DBLCLK on the applet's thread; the sheet's window, or null after the deadline.
    HWND Open();
    bool Running() const { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

    HWND Tab() const { return HWND(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0)); }
    // Switches tabs and waits for the page to show (null: it did not); message boxes of its set-up go to messages.
    HWND ShowPage(int index) { return ShowSheetPage(sheet, index, messages); }
    std::vector<std::wstring> messages;
    HWND Page(int index) const { return HWND(SendMessageW(sheet, PSM_INDEXTOHWND, index, 0)); }  // null: never shown
    HWND Control(int page, int id) const { return GetDlgItem(Page(page), id); }

    void Click(HWND control) const { PostMessageW(control, BM_CLICK, 0, 0); }  // a tap: the caller waits for its effect
    // Press the sheet's button and wait until the sheet and its CPL_DBLCLK are over.
    bool PressOk() { return Press(PSBTN_OK); }
    bool PressCancel() { return Press(PSBTN_CANCEL); }
    bool WaitClosed(DWORD timeout = kWindowTimeout);

    HWND sheet = nullptr;
    LONG result = -1;  // what CPL_DBLCLK returned, once closed
    LONG(APIENTRY* applet)(HWND, UINT, LPARAM, LPARAM) = nullptr;  // null: dialpass.cpl did not load

private:
    bool Press(int button);

    datatest::InstallFolder install;
    HMODULE library = nullptr;
    HANDLE thread = nullptr;
};
