// Finding and reading the windows of other threads, for the tests and for the installer's driver,
// which links no test framework.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <functional>
#include <string>
#include <vector>

const DWORD kWindowTimeout = 5000;  // ms to wait for a window to come or go
const wchar_t kSheetCaption[] = L"Dialpass 1.0";         // the sheet's caption, the application's title
const wchar_t kMessageCaption[] = L"Kestrova Dialpass";  // the caption of the applet's message boxes

// Polls condition every 20 ms until it holds or timeout ms pass; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = kWindowTimeout)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start >= timeout)
            return false;
    return true;
}

// Top-level windows of className and title (null: any), topmost first: visible ones (else all), of
// the thread threadId (0: any); the first of them, or null after timeout.
inline std::vector<HWND> Windows(const wchar_t* className, const wchar_t* title, DWORD threadId = 0, bool visibleOnly = true)
{
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, title)) != nullptr;)
        if ((!threadId || GetWindowThreadProcessId(w, nullptr) == threadId) && (!visibleOnly || IsWindowVisible(w)))
            found.push_back(w);
    return found;
}

inline HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeout = kWindowTimeout,
                          DWORD threadId = 0, bool visibleOnly = true)
{
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = Windows(className, title, threadId, visibleOnly)).empty(); }, timeout);
    return found.empty() ? nullptr : found.front();
}

inline std::wstring WindowText(HWND window)
{
    wchar_t text[512] = L"";
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other threads.
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::wstring ClassName(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

// Answers a message box with a button id and waits until it is gone; the box's text.
inline std::wstring AnswerMessageBox(HWND box, int button = IDOK)
{
    std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
    PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box); });
    return text;
}

// The texts of a list box or a combo box, through its count, length and text messages.
inline std::vector<std::wstring> Texts(HWND box, UINT getCount, UINT getLength, UINT getText)
{
    std::vector<std::wstring> texts;
    for (LRESULT i = 0, count = SendMessageW(box, getCount, 0, 0); i < count; ++i) {
        wchar_t text[256] = L"";
        if (SendMessageW(box, getLength, WPARAM(i), 0) < 256)
            SendMessageW(box, getText, WPARAM(i), reinterpret_cast<LPARAM>(text));
        texts.push_back(text);
    }
    return texts;
}

// Texts of a list box's lines; the entries of a combo box.
inline std::vector<std::wstring> ListLines(HWND list) { return Texts(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT); }
inline std::vector<std::wstring> ComboEntries(HWND box) { return Texts(box, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT); }

// Answers every message box of the applet that is up (captioned with the product's name) with OK,
// keeping its text in texts; how many there were.
inline int AnswerAppletMessages(std::vector<std::wstring>& texts)
{
    std::vector<HWND> boxes = Windows(L"#32770", kMessageCaption);
    for (HWND box : boxes)
        texts.push_back(AnswerMessageBox(box));
    return int(boxes.size());
}

// Switches a property sheet to page index and waits until it is current and shows; the page, or null. Posted, so
// this thread answers (into texts) the message boxes a page shows as it is set up; each gives the page its time again.
inline HWND ShowSheetPage(HWND sheet, int index, std::vector<std::wstring>& texts, DWORD timeout = kWindowTimeout)
{
    PostMessageW(sheet, PSM_SETCURSEL, WPARAM(index), 0);
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeout; Sleep(20)) {
        if (AnswerAppletMessages(texts))
            start = GetTickCount();
        HWND page = HWND(SendMessageW(sheet, PSM_INDEXTOHWND, WPARAM(index), 0));
        if (page && IsWindowVisible(page) && HWND(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) == page)
            return page;
    }
    return nullptr;
}
