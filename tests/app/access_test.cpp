// Every page and dialog from the keyboard and for a screen reader: each window is opened as the user
// meets it and walked with Tab and with each Alt+key, and each control that takes the focus must
// have a name by Windows' rules. High contrast, switched while the sheet is open, drops the header
// picture at once and gives the title the system's colours.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
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

std::wstring ClassOf(HWND window)
{
    wchar_t name[32] = L"";
    GetClassNameW(window, name, 32);
    return name;
}

bool IsClass(HWND window, const wchar_t* name)
{
    return !lstrcmpiW(ClassOf(window).c_str(), name);
}

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

// Names and access keys of window's controls: every control that can take the focus has a name,
// pictures take none, and every button and every label of a box has an access key of its own.
void CheckNamesAndKeys(HWND window)
{
    std::map<wchar_t, int> keys;  // key -> the control that has it
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(c, GWL_STYLE);
        int id = GetDlgCtrlID(c);
        bool isStatic = IsClass(c, L"Static");
        if (isStatic) {
            int type = style & SS_TYPEMASK;
            EXPECT_EQ(style & WS_TABSTOP, 0) << "static " << id << " is a tab stop";
            if (type == SS_BITMAP || type == SS_ICON) {
                EXPECT_EQ(style & SS_NOTIFY, 0) << "picture " << id << " takes clicks and the focus with them";
            }
        } else if ((style & WS_TABSTOP) || NamedByLabel(c)) {
            EXPECT_NE(AccessibleName(c), L"") << ClassOf(c) << " " << id << " has no name";
        }
        HWND next = GetWindow(c, GW_HWNDNEXT);
        bool labelsBox = isStatic && (style & WS_VISIBLE) && next && NamedByLabel(next);
        if (!labelsBox && !IsClass(c, L"Button"))
            continue;
        wchar_t key = AccessKey(WindowText(c));
        EXPECT_NE(key, 0) << ClassOf(c) << " " << id << " \"" << testing::PrintToString(WindowText(c)) << "\" has no access key";
        if (key && keys.count(key))
            ADD_FAILURE() << "Alt+" << char(key) << " on both " << keys[key] << " and " << id;
        keys[key] = id;
    }
}

// The focus of window's thread, or null.
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

// The tab stop a control stands for: a radio button stands for its group's first.
int StopOf(HWND control)
{
    while (control && IsClass(control, L"Button") && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
           !(GetWindowLongW(control, GWL_STYLE) & WS_GROUP))
        control = GetWindow(control, GW_HWNDPREV);
    return control ? GetDlgCtrlID(control) : 0;
}

// Posts a key (Tab, or a character with Alt) to where the focus of window's thread is.
void Press(HWND window, UINT message, WPARAM key)
{
    HWND before = ThreadFocus(window);
    PostMessageW(before ? before : window, message, key, message == WM_SYSCHAR ? 0x20000001 : 0x000F0001);
    // Every key of the walks moves the focus; a key that does not is caught by the check after it.
    WaitUntil([&] { return ThreadFocus(window) != before; }, 500);
    SendMessageW(window, WM_NULL, 0, 0);
}

// Tab: the window's stops come round in this order. Alt+key: the focus lands on the control given.
void WalkKeys(HWND window, const std::vector<int>& tabOrder, const std::vector<std::pair<char, int>>& altKeys)
{
    // The walk starts in the window, whatever had the focus before.
    if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE))
        SendMessageW(window, WM_NEXTDLGCTL, WPARAM(first), TRUE);
    std::vector<int> visited;
    for (size_t i = 0; i < 2 * tabOrder.size() + 4; ++i) {
        Press(window, WM_KEYDOWN, VK_TAB);
        int stop = StopOf(FocusIn(window));
        if (stop && (visited.empty() || visited.back() != stop))
            visited.push_back(stop);
    }
    std::vector<int> round;
    auto first = tabOrder.empty() ? visited.end() : std::find(visited.begin(), visited.end(), tabOrder[0]);
    for (auto at = first; at != visited.end() && round.size() < tabOrder.size(); ++at)
        round.push_back(*at);
    EXPECT_EQ(round, tabOrder) << "Tab visited " << testing::PrintToString(visited);
    for (const auto& [key, id] : altKeys) {
        Press(window, WM_SYSCHAR, WPARAM(tolower(key)));
        EXPECT_EQ(GetDlgCtrlID(FocusIn(window)), id) << "Alt+" << key;
    }
}

// One page of the sheet: its tab stops in order and the Alt+keys tried (not those that open a
// dialog or run an action: their keys are checked for presence and uniqueness only).
struct PageWalk {
    int page;
    std::vector<int> tabOrder;
    std::vector<std::pair<char, int>> altKeys;
};

TEST(AccessTest, EveryPageFromTheKeyboardWithNamedControls)
{
    const PageWalk walks[] = {
        {0, {IDC_ENABLE, IDC_PROFILES, IDC_NEW_PROFILE, IDC_EDIT_PROFILE, IDC_DELETE_PROFILE},
         {{'D', IDC_PROFILES}, {'S', IDC_DISABLE}, {'E', IDC_ENABLE}}},
        {1, {IDC_CARD_PROVIDER, IDC_LOCATIONS, IDC_DETECT, IDC_INTERNATIONAL_CALLS, IDC_LOCAL_CALLS},
         {{'L', IDC_LOCATIONS}, {'P', IDC_CARD_PROVIDER}}},
        // Nothing stored checks neither radio button, so their group is no tab stop: Alt+key reaches it.
        {2, {IDC_ASK_BEFORE_DIALING}, {{'I', IDC_TRAVEL_CALLS}, {'B', IDC_ASK_BEFORE_DIALING}, {'L', IDC_ALL_CALLS}}},
        {3, {IDC_CHECK_UPDATES}, {}},
        {4, {}, {}},
    };
    SheetDriver driver;
    ASSERT_NE(driver.Open(), nullptr);
    // A profile made from the keyboard ("New...", its name, the OK soft key) enables the rest.
    HWND general = driver.ShowPage(0), profile = nullptr;
    Press(general, WM_SYSCHAR, 'n');
    // Without a database the dialog says so first.
    WaitUntil([&] {
        AnswerAppletMessages(driver.messages);
        std::vector<HWND> shown = Windows(L"#32770", L"Dialpass profile");
        profile = shown.empty() ? nullptr : shown[0];
        return profile != nullptr;
    });
    ASSERT_NE(profile, nullptr) << "Alt+N opened no profile dialog";
    SendMessageW(GetDlgItem(profile, IDC_PROFILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Travel"));
    Press(profile, WM_SYSCHAR, 'o');
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(profile); })) << "Alt+O left the profile dialog open";
    for (const PageWalk& walk : walks) {
        SCOPED_TRACE(testing::Message() << "page " << walk.page);
        HWND page = driver.ShowPage(walk.page);
        ASSERT_NE(page, nullptr);
        CheckNamesAndKeys(page);
        WalkKeys(page, walk.tabOrder, walk.altKeys);
    }
    EXPECT_TRUE(driver.PressCancel());
}

// One dialog: how it is made and found, its tab stops and Alt+keys; ends: the last Alt+key ends it.
struct DialogWalk {
    CDialog* dialog;
    const wchar_t* title;
    std::vector<int> tabOrder;
    std::vector<std::pair<char, int>> altKeys;
    bool ends;
};

TEST(AccessTest, EveryDialogFromTheKeyboardWithNamedControls)
{
    datatest::TempDir install;
    datatest::CopySample(install.Path());
    datatest::InstallDirScope installDir{install.Path().c_str()};
    SetSimulatedOperator(L"26201");  // the profile dialog detects its home location at opening
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // an update that does not end
    PROCESS_INFORMATION update{never, nullptr, 0, 0};
    CDlgProfileName profile;
    CDlgCard card;
    CDlgWaitFor waitFor;
    CDlgDigits digits;
    CDlgDoUpdate progress(update);
    CDlgTextFile log(L"C:\\missing.log");
    const DialogWalk walks[] = {
        {&profile, L"Dialpass profile",
         {IDC_PROFILE_NAME, IDC_PROFILE_ACCOUNT, IDC_PROFILE_PIN, IDC_PROFILE_PROVIDER, IDC_PROFILE_HOME, IDC_PROFILE_DETECT},
         {{'H', IDC_PROFILE_HOME}, {'A', IDC_PROFILE_ACCOUNT}, {'V', IDC_PROFILE_PROVIDER}, {'P', IDC_PROFILE_PIN},
          {'N', IDC_PROFILE_NAME}, {'C', 0}}, true},
        // Alt+A adds a step, which Up, Down and Delete then move and delete.
        {&card, L"Dialog",
         {IDC_CARD_ACCESS_NUMBER, IDC_CARD_STEPS, IDC_CARD_UP, IDC_CARD_DOWN, IDC_CARD_DELETE, IDC_CARD_ADD_ACCESS,
          IDC_CARD_ADD_ACCOUNT, IDC_CARD_ADD_PIN, IDC_CARD_ADD_DESTINATION, IDC_CARD_ADD_WAIT, IDC_CARD_ADD_DIGITS},
         {{'A', IDC_CARD_ADD_ACCESS}, {'T', IDC_CARD_ADD_ACCOUNT}, {'P', IDC_CARD_ADD_PIN}, {'E', IDC_CARD_ADD_DESTINATION},
          {'N', IDC_CARD_ACCESS_NUMBER}, {'U', IDC_CARD_UP}, {'W', IDC_CARD_DOWN}, {'D', IDC_CARD_DELETE}, {'O', 0}}, true},
        {&waitFor, L"Wait for", {IDC_WAIT_DIAL_TONE, IDOK, IDCANCEL},
         {{'L', IDC_WAIT_TIME}, {'S', IDC_WAIT_SECONDS}, {'T', IDC_WAIT_DIAL_TONE}, {'C', 0}}, true},
        {&digits, L"Specify digits", {IDC_DIGITS, IDOK, IDCANCEL}, {{'D', IDC_DIGITS}, {'O', 0}}, true},
        {&progress, L"Update", {IDCANCEL}, {}, false},
        {&log, L"Log file", {IDC_TEXT_FILE}, {}, false},
    };
    for (const DialogWalk& walk : walks) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(walk.title)));
        ModalDialog run(*walk.dialog, walk.title);
        ASSERT_NE(run.Window(), nullptr);
        CheckNamesAndKeys(run.Window());
        std::vector<std::pair<char, int>> keys = walk.altKeys;
        if (walk.ends)
            keys.pop_back();
        WalkKeys(run.Window(), walk.tabOrder, keys);
        if (walk.ends) {
            // OK or Cancel, a button or the menu bar's soft key, from the keyboard too.
            Press(run.Window(), WM_SYSCHAR, WPARAM(tolower(walk.altKeys.back().first)));
            AnswerMessage(run, 500);
            EXPECT_TRUE(run.Ended()) << "Alt+" << walk.altKeys.back().first << " did not end the dialog";
        }
    }
    CloseHandle(never);
    SetSimulatedOperator(nullptr);
}

// The header of the open pages with high contrast switched on while the sheet is open, then off:
// on, no picture, nothing but the page's colour beside the title, and the title in the system's
// text colour; off, the picture is back.
TEST(AccessTest, HighContrastSwitchedWhileOpenDropsTheHeaderPicture)
{
    const wchar_t kContrastKey[] = L"Control Panel\\Accessibility\\HighContrast";
    const int titleIds[] = {IDC_GENERAL_TITLE, IDC_PROVIDER_TITLE, IDC_PHONE_TITLE, IDC_UPDATE_TITLE, IDC_ABOUT_TITLE};
    SheetDriver driver;
    ASSERT_NE(driver.Open(), nullptr);
    for (int page : {0, 3})
        ASSERT_NE(driver.ShowPage(page), nullptr);
    for (const wchar_t* flags : {L"126", L"127", L"126"}) {  // off, on (HCF_HIGHCONTRASTON), off again
        bool on = flags[2] == L'7';
        SetRegText(kContrastKey, L"Flags", flags);
        // What Windows sends to top-level windows when the setting changes.
        SendMessageW(driver.sheet, WM_SYSCOLORCHANGE, 0, 0);
        SendMessageW(driver.sheet, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
        for (int i : {0, 3, 4}) {
            SCOPED_TRACE(testing::Message() << "high contrast " << on << ", page " << i);
            HWND page = driver.ShowPage(i), title = GetDlgItem(page, titleIds[i]);
            ASSERT_NE(page, nullptr);
            HWND image = GetDlgItem(page, IDC_HEADER_IMAGE);
            EXPECT_EQ(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0, !on);
            if (!on)
                continue;
            RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Sleep(100);
            // The strip beside the title, read from the screen, against a bare piece of the page.
            RECT strip, named, client;
            GetWindowRect(image, &strip);
            GetWindowRect(title, &named);
            GetClientRect(page, &client);
            POINT bare = {client.right - 2, client.bottom - 2};
            ClientToScreen(page, &bare);
            HDC screen = GetDC(nullptr);
            COLORREF background = GetPixel(screen, bare.x, bare.y);
            int other = 0;
            for (int y = strip.top; y < strip.bottom; y += 2)
                for (int x = named.right; x < strip.right; x += 2)
                    other += GetPixel(screen, x, y) != background;
            ReleaseDC(nullptr, screen);
            EXPECT_EQ(other, 0) << "pixels of the strip unlike the page's background " << std::hex << background;
            HDC dc = GetDC(title);
            SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(title));
            EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_BTNTEXT));
            ReleaseDC(title, dc);
        }
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kContrastKey, L"Flags");
    EXPECT_TRUE(driver.PressCancel());
}

} // namespace
