// Every page and dialog from the keyboard and for a screen reader: each window is opened as the user
// meets it and walked with Tab and with each Alt+key, and each control that takes the focus must
// have a name by Windows' rules.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pages/dlgcard.h"
#include "pages/dlgdigits.h"
#include "pages/dlglog.h"
#include "pages/dlgprofile.h"
#include "pages/dlgprogress.h"
#include "pages/dlgwaitfor.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"

namespace {

bool IsClass(HWND window, const wchar_t* name) { return !lstrcmpiW(ClassName(window).c_str(), name); }

// The access key of a caption ("&" before it), 0 for none.
wchar_t AccessKey(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&' && text[i + 1] != L'&')
            return wchar_t(towupper(text[i + 1]));
    return 0;
}

bool NamedByLabel(HWND control)
{
    return IsClass(control, L"Edit") || IsClass(control, L"ListBox") || IsClass(control, L"ComboBox") ||
           IsClass(control, UPDOWN_CLASSW);
}

// The name Windows gives a control that takes the focus: a button's caption, for the others the
// label before it in tab order (an up-down's is its buddy's). Empty: none.
std::wstring AccessibleName(HWND control)
{
    if (IsClass(control, L"Button")) {
        std::wstring text = WindowText(control);
        text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
        return text;
    }
    HWND before = GetWindow(control, GW_HWNDPREV);
    if (IsClass(control, UPDOWN_CLASSW) && before == HWND(SendMessageW(control, UDM_GETBUDDY, 0, 0)))
        before = GetWindow(before, GW_HWNDPREV);
    return before && IsClass(before, L"Static") ? WindowText(before) : L"";
}

HWND ThreadFocus(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The control of window the thread's focus is in (a combo box for its edit), or null.
HWND FocusIn(HWND window)
{
    for (HWND at = ThreadFocus(window); at; at = GetParent(at))
        if (GetParent(at) == window)
            return at;
    return nullptr;
}

// Posts a key (Tab, or a character with Alt) to where the focus of window's thread is.
void Press(HWND window, UINT message, WPARAM key)
{
    HWND before = ThreadFocus(window);
    PostMessageW(before ? before : window, message, key, message == WM_SYSCHAR ? 0x20000001 : 0x000F0001);
    // Until the focus moves, or half a second for a key that leaves it where it is.
    WaitUntil([&] { return ThreadFocus(window) != before; }, 500);
    SendMessageW(window, WM_NULL, 0, 0);
}

// Tab from the first stop goes through every enabled, shown tab stop in visual order: rows (tops
// within half a control's height) top to bottom, each left to right.
void WalkTab(HWND window)
{
    std::vector<HWND> stops;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongW(c, GWL_STYLE) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE))
            stops.push_back(c);
    std::stable_sort(stops.begin(), stops.end(), [&](HWND a, HWND b) {
        RECT ra = RectIn(window, a), rb = RectIn(window, b);
        int half = std::min(ra.bottom - ra.top, rb.bottom - rb.top) / 2;
        return std::abs(ra.top - rb.top) > half ? ra.top < rb.top : ra.left < rb.left;
    });
    std::vector<int> expected, visited;
    if (!stops.empty())
        SendMessageW(window, WM_NEXTDLGCTL, WPARAM(stops[0]), TRUE);
    for (HWND stop : stops) {
        if (!visited.empty())
            Press(window, WM_KEYDOWN, VK_TAB);
        expected.push_back(GetDlgCtrlID(stop));
        visited.push_back(GetDlgCtrlID(FocusIn(window)));
    }
    EXPECT_EQ(visited, expected) << "the order of Tab";
}

// Names and access keys of window's controls: every control that can take the focus has a name,
// pictures take none, and every button and every label of a box has an access key of its own. Each
// access key of a label, check box or radio button puts the focus on its control (a label's: the next
// tab stop). A push button's click is an action: the walks below press the harmless ones.
void CheckNamesAndKeys(HWND window)
{
    std::map<wchar_t, int> keys;  // key -> the control that has it
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(c, GWL_STYLE), type = style & BS_TYPEMASK;
        int id = GetDlgCtrlID(c);
        bool isStatic = IsClass(c, L"Static");
        wchar_t key = AccessKey(WindowText(c));
        if (isStatic) {  // a picture that takes clicks takes the focus with them
            EXPECT_EQ(style & (WS_TABSTOP | ((style & SS_TYPEMASK) == SS_BITMAP ? SS_NOTIFY : 0)), 0) << "static " << id;
        } else if ((style & WS_TABSTOP) || NamedByLabel(c)) {
            EXPECT_NE(AccessibleName(c), L"") << "control " << id << " has no name";
        }
        HWND next = GetWindow(c, GW_HWNDNEXT);
        if ((isStatic && (style & WS_VISIBLE) && next && NamedByLabel(next)) || IsClass(c, L"Button")) {
            EXPECT_NE(key, 0) << "control " << id << " " << testing::PrintToString(WindowText(c)) << " has no access key";
            if (key && keys.count(key))
                ADD_FAILURE() << "Alt+" << char(key) << " on both " << keys[key] << " and " << id;
            keys[key] = id;
        }
        if (!key || (style & (WS_VISIBLE | WS_DISABLED)) != WS_VISIBLE ||
            (!isStatic && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)))
            continue;
        Press(window, WM_SYSCHAR, towlower(key));
        HWND expected = isStatic ? GetNextDlgTabItem(window, c, FALSE) : c;
        EXPECT_EQ(GetDlgCtrlID(FocusIn(window)), GetDlgCtrlID(expected)) << "Alt+" << char(key);
    }
}

// Every page, then every dialog (each with the key that ends it: OK or Cancel, a button or the menu
// bar's soft key; 0: none tried). A profile made from the keyboard ("New...", a name, the OK soft
// key) enables the pages' controls first.
TEST(AccessTest, EveryPageAndDialogFromTheKeyboardWithNamedControls)
{
    datatest::TempDir install;
    datatest::CopySample(install.Path());
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // an update that does not end
    PROCESS_INFORMATION update{never, nullptr, 0, 0};
    CDlgProfileName profile;
    CDlgCard card;
    CDlgWaitFor waitFor;
    CDlgDigits digits;
    CDlgDoUpdate progress(update);
    CDlgTextFile log(L"C:\\missing.log");
    const struct {
        CDialog* dialog;
        const wchar_t* title;
        char endKey;
    } dialogs[] = {{&profile, L"Dialpass profile", 'C'}, {&card, L"Dialog", 'O'}, {&waitFor, L"Wait for", 'C'},
                   {&digits, L"Specify digits", 'O'}, {&progress, L"Update", 0}, {&log, L"Log file", 0}};
    {
        SheetDriver driver;
        ASSERT_NE(driver.Open(), nullptr);
        HWND profileWindow = nullptr;
        Press(driver.ShowPage(0), WM_SYSCHAR, 'n');
        WaitUntil([&] {
            AnswerAppletMessages(driver.messages);  // without a database the dialog says so first
            return (profileWindow = WaitForWindow(L"#32770", L"Dialpass profile", 0)) != nullptr;
        });
        ASSERT_NE(profileWindow, nullptr) << "Alt+N opened no profile dialog";
        SendMessageW(GetDlgItem(profileWindow, IDC_PROFILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Travel"));
        Press(profileWindow, WM_SYSCHAR, 'o');
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(profileWindow); })) << "Alt+O left the profile dialog open";
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message() << "page " << i);
            HWND page = driver.ShowPage(i);
            ASSERT_NE(page, nullptr);
            WalkTab(page);
            CheckNamesAndKeys(page);
        }
        EXPECT_TRUE(driver.PressCancel());
    }
    datatest::InstallDirScope installDir{install.Path().c_str()};
    SetSimulatedOperator(L"26201");  // the profile dialog detects its home location at opening
    for (const auto& d : dialogs) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(d.title)));
        ModalDialog run(*d.dialog, d.title);
        ASSERT_NE(run.Window(), nullptr);
        WalkTab(run.Window());
        CheckNamesAndKeys(run.Window());
        if (d.endKey)
            Press(run.Window(), WM_SYSCHAR, WPARAM(tolower(d.endKey)));
        AnswerMessage(run, 500);
        EXPECT_EQ(run.Ended(d.endKey ? kWindowTimeout : 0), d.endKey != 0) << "Alt+" << d.endKey;
    }
    SetSimulatedOperator(nullptr);
    CloseHandle(never);
}

} // namespace
