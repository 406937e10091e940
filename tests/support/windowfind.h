// Finding and reading the windows of other threads, for the tests and for the installer's driver,
// which links no test framework.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

const DWORD kWindowTimeout = 5000;  // ms to wait for a window to come or go

// Polls condition every 20 ms until it holds or timeout ms pass; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeout = kWindowTimeout)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start >= timeout)
            return false;
    return true;
}

// Visible top-level windows of className and title (null: any); the first of them, or null after timeout.
inline std::vector<HWND> Windows(const wchar_t* className, const wchar_t* title)
{
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, title)) != nullptr;)
        if (IsWindowVisible(w))
            found.push_back(w);
    return found;
}

inline HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeout = kWindowTimeout)
{
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = Windows(className, title)).empty(); }, timeout);
    return found.empty() ? nullptr : found.front();
}

inline std::wstring WindowText(HWND window)
{
    wchar_t text[512] = L"";
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other threads.
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

// A message box's text; answering it with a button id and waiting until it is gone returns that text.
inline std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }
inline std::wstring AnswerMessageBox(HWND box, int button = IDOK)
{
    std::wstring text = MessageBoxText(box);
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
