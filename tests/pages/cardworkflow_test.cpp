// The card workflow through the real sheet, as a user goes through it: profiles on "General",
// location and sequences on "Card settings", OK; the registry and the user's files are the oracle.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/datatest.h"
#include "data/fileset.h"
#include "data/stores.h"
#include "framework/uiscope.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"
#include "support/sheetdriver.h"

namespace {

const int kCardControls[] = {IDC_LOCATIONS, IDC_INTERNATIONAL_CALLS, IDC_LOCAL_CALLS, IDC_HOME_CALLS, IDC_DETECT};

// Bytes in use in every heap of the process (Wine reports no private usage of its own).
SIZE_T BusyHeapBytes()
{
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

// Wine keeps a few bytes of dialog windows made under common controls 6, as the applet makes its
// windows (seen with bare templates too): what a bare sheet of General and Card settings and a bare
// sequence editor leave behind, per opening.
SIZE_T WineBytesPerOpening()
{
    HANDLE context = CreateModuleActivationContext(GetModuleHandleW(nullptr));
    ULONG_PTR cookie = 0;
    ActivateActCtx(context, &cookie);
    DLGPROC bare = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; };
    auto open = [&] {
        HPROPSHEETPAGE pages[2];
        for (int i = 0; i < 2; ++i) {
            PROPSHEETPAGEW page{};
            page.dwSize = sizeof(page);
            page.hInstance = GetModuleHandleW(nullptr);
            page.pszTemplate = MAKEINTRESOURCEW(i ? IDD_PROVIDER : IDD_GENERAL);
            page.pfnDlgProc = bare;
            pages[i] = CreatePropertySheetPageW(&page);
        }
        PROPSHEETHEADERW header{};
        header.dwSize = sizeof(header);
        header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW;
        header.nPages = 2;
        header.phpage = pages;
        HWND sheet = HWND(PropertySheetW(&header));
        SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
        DestroyWindow(sheet);
        DestroyWindow(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CARD), nullptr, bare, 0));
    };
    open();
    SIZE_T before = BusyHeapBytes();
    for (int i = 0; i < 10; ++i)
        open();
    SIZE_T kept = (BusyHeapBytes() - before) / 10;
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(context);
    return kept;
}

// Names of the profiles in "profiles.dat", in file order.
std::vector<std::wstring> StoredProfiles(const std::wstring& path)
{
    ProfileStore store;
    store.Load(path.c_str());
    std::vector<std::wstring> names;
    ProfileRecord* record = nullptr;
    for (unsigned i = 0; store.Get(i, record); ++i)
        names.push_back(record->name);
    return names;
}

// Sets this process's file-size limit with Linux's prlimit (0: none), the full disk that tests can
// make: a write past it comes up short, as the first write on a full disk does under Wine. prlimit
// runs detached (Wine gives no handle to wait on), so a write of probe bytes in folder shows when it took.
bool SetFileSizeLimit(const std::wstring& folder, DWORD bytes, DWORD probe)
{
    wchar_t pid[16] = L"";
    if (!GetEnvironmentVariableW(L"DIALPASS_UNIX_PID", pid, 16)) {
        ADD_FAILURE() << "no DIALPASS_UNIX_PID: run the tests through tools/wine-exec.sh";
        return false;
    }
    std::wstring line = L"prlimit --pid " + std::wstring(pid) + L" --fsize=" +
                        (bytes ? std::to_wstring(bytes) : std::wstring(L"unlimited")) + L":";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\prlimit", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        ADD_FAILURE() << "prlimit did not start: error " << GetLastError();
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::wstring path = folder + L"\\size-limit.probe";
    std::string filler(probe, 'x');
    DWORD expected = bytes && bytes < probe ? bytes : probe, done = 0;
    return WaitUntil([&] {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        WriteFile(file, filler.data(), probe, &done, nullptr);
        CloseHandle(file);
        DeleteFileW(path.c_str());
        return done == expected;
    });
}

class CardWorkflow : public testing::Test {
protected:
    void SetUp() override
    {
        datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n");
        datatest::WriteScrambled(install / L"providers.dat", "26201;49;\r\n23415;44;\r\n");
        datatest::WriteScrambled(install / L"manufacturers.dat", "1;Brightwren;Brightwren Telecard\r\n2;Quillmoor;Quillmoor Card\r\n");
        datatest::WriteScrambled(install / L"Brightwren.dat", "49;08001234567; (toll free)\r\n44;08081570123; (Freephone)\r\n");
        ClearDialerConfig();
        SetSimulatedOperator(L"26201");
    }
    void TearDown() override
    {
        SetSimulatedOperator(nullptr);
        ClearDialerConfig();
    }

    // profiles.dat with these names (account 12345, PIN 9876, provider Brightwren, home Germany), current index current.
    void StoreProfiles(std::initializer_list<const wchar_t*> names, unsigned current = 0)
    {
        ProfileStore store;
        store.Load((install / L"profiles.dat").c_str());
        for (const wchar_t* name : names) {
            ProfileRecord* record = nullptr;
            store.Get(store.AddNew(), record);
            *record = TestProfile(name, 1, 49, 276);
        }
        store.SetCurrent(current);
        ASSERT_TRUE(store.Save());
    }

    void Close(HWND dialog, int command)
    {
        PostMessageW(dialog, WM_COMMAND, WPARAM(command), 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "the dialog stayed open";
    }

    // "New..." or "Edit..." on General, then the profile dialog given a name (all its OK needs), OK.
    void RunProfileDialog(int button, const wchar_t* name)
    {
        driver.Click(driver.Control(0, button));
        HWND dialog = WaitForWindow(L"#32770", L"Dialpass profile");
        ASSERT_NE(dialog, nullptr) << "no profile dialog";
        SendMessageW(GetDlgItem(dialog, IDC_PROFILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
        Close(dialog, IDOK);
    }

    // A sequence button of Card settings, then the editor: steps appended (IDC_CARD_DELETE: the last step
    // deleted), the access number typed, OK.
    void RunEditor(int button, std::initializer_list<int> steps, const wchar_t* accessNumber)
    {
        driver.Click(driver.Control(1, button));
        HWND editor = WaitForWindow(L"#32770", L"Dialog");
        ASSERT_NE(editor, nullptr) << "no sequence editor";
        HWND list = GetDlgItem(editor, IDC_CARD_STEPS);
        for (int step : steps) {
            if (step == IDC_CARD_DELETE)
                SendMessageW(list, LB_SETCURSEL, WPARAM(SendMessageW(list, LB_GETCOUNT, 0, 0) - 1), 0);
            SendMessageW(GetDlgItem(editor, step), BM_CLICK, 0, 0);
        }
        SendMessageW(GetDlgItem(editor, IDC_CARD_ACCESS_NUMBER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(accessNumber));
        Close(editor, IDOK);
    }

    bool Visible(int page, int id) { return IsWindowVisible(driver.Control(page, id)) != 0; }
    bool Enabled(int page, int id) { return IsWindowEnabled(driver.Control(page, id)) != 0; }
    void ExpectProfileButtons(bool enabled)
    {
        for (int id : {IDC_EDIT_PROFILE, IDC_DELETE_PROFILE})
            EXPECT_EQ(Enabled(0, id), enabled) << "button " << id;
    }

    SheetDriver driver;
    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
};

// From a fresh install to a published configuration, then local and home calls as the location
// changes, and the provider's access numbers read once for repeated edits.
TEST_F(CardWorkflow, FromAFreshInstallThroughLocalAndHomeCalls)
{
    ASSERT_NE(driver.Open(), nullptr);
    ExpectProfileButtons(false);

    ASSERT_NE(driver.ShowPage(1), nullptr);
    EXPECT_EQ(driver.messages, std::vector<std::wstring>{L"You should add a dialpass before editing provider\nTap button New..."});
    for (int id : kCardControls)
        EXPECT_FALSE(Enabled(1, id)) << "control " << id << " without a profile";

    ASSERT_NE(driver.ShowPage(0), nullptr);
    RunProfileDialog(IDC_NEW_PROFILE, L"Travel");
    ExpectProfileButtons(true);

    ASSERT_NE(driver.ShowPage(1), nullptr);
    EXPECT_EQ(driver.messages.size(), 1u) << "the message came again";
    for (int id : kCardControls)
        EXPECT_TRUE(Enabled(1, id)) << "control " << id << " with a profile";
    // The list was filled without a profile (Home calls); the first profile switches the button at once.
    EXPECT_TRUE(Visible(1, IDC_LOCAL_CALLS)) << "home and location are both Germany";
    EXPECT_FALSE(Visible(1, IDC_HOME_CALLS));
    ASSERT_TRUE(driver.PressOk());

    SetSimulatedOperator(L"23415");  // detection would now give the United Kingdom
    SetRegNumber(kConfigKey, L"Enable", 7);
    ASSERT_NE(driver.Open(), nullptr) << "second opening";
    EXPECT_TRUE(IsChecked(driver.Control(0, IDC_ENABLE))) << "any value but 0 is on";
    EXPECT_EQ(ComboEntries(driver.Control(0, IDC_PROFILES)), std::vector<std::wstring>{L"Travel"}) << "listed twice";
    ASSERT_NE(driver.ShowPage(1), nullptr);
    HWND locations = driver.Control(1, IDC_LOCATIONS);
    EXPECT_EQ(Selected(locations), L"Germany") << "the detected location that the first OK stored";
    SendMessageW(locations, CB_SETCURSEL, 1, 0);  // the user picks the United Kingdom: away from home
    SendMessageW(driver.Page(1), WM_COMMAND, MAKEWPARAM(IDC_LOCATIONS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(locations));
    EXPECT_TRUE(Visible(1, IDC_HOME_CALLS));
    EXPECT_FALSE(Visible(1, IDC_LOCAL_CALLS));
    for (int open = 0; open < 2; ++open) {  // the provider's access numbers are read once for every edit
        driver.Click(driver.Control(1, IDC_INTERNATIONAL_CALLS));
        HWND editor = WaitForWindow(L"#32770", L"Dialog");
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(ComboEntries(GetDlgItem(editor, IDC_CARD_ACCESS_NUMBER)), std::vector<std::wstring>{L"08081570123 (Freephone)"})
            << "open " << open;
        Close(editor, IDCANCEL);
        DeleteFileW((install / L"Brightwren.dat").c_str());  // a second read would find nothing
    }
    RunEditor(IDC_HOME_CALLS, {IDC_CARD_ADD_PIN}, L"0800 HOME");
    ASSERT_TRUE(driver.PressOk());
    ExpectValues("home calls from the United Kingdom",
                 {{kConfigKey, L"Enable", L"dword:1"}, {kConfigKey, L"CurrentLocation", L"dword:826"},
                  {kLocalKey, L"Sequence", L"binary:128 03"}, {kLocalKey, L"AccessNumber", L"sz:0800 HOME"}});
}

// Editing the middle of three profiles, then deleting them all.
TEST_F(CardWorkflow, EditAndDeleteProfiles)
{
    StoreProfiles({L"A", L"B", L"C"}, 1);
    SetRegNumber(kConfigKey, L"CurrentLocation", 40);
    ASSERT_NE(driver.Open(), nullptr);
    RunProfileDialog(IDC_EDIT_PROFILE, L"B2");
    EXPECT_EQ(ComboEntries(driver.Control(0, IDC_PROFILES)), (std::vector<std::wstring>{L"A", L"C", L"B2"}));
    EXPECT_EQ(Selected(driver.Control(0, IDC_PROFILES)), L"B2");
    ASSERT_TRUE(driver.PressOk());
    ExpectValues("the edited profile", {{kDefaultsKey, L"Name", L"sz:B2"}});

    ASSERT_NE(driver.Open(), nullptr);
    EXPECT_EQ(ComboEntries(driver.Control(0, IDC_PROFILES)), (std::vector<std::wstring>{L"A", L"B2", L"C"})) << "as saved";
    for (const wchar_t* first : {L"A", L"C", L"(none)"}) {  // B2 was current
        driver.Click(driver.Control(0, IDC_DELETE_PROFILE));
        EXPECT_TRUE(WaitUntil([&] { return Selected(driver.Control(0, IDC_PROFILES)) == first; }))
            << "after a delete the first remaining profile is current: " << Selected(driver.Control(0, IDC_PROFILES));
    }
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(StoredProfiles(install / L"profiles.dat"), std::vector<std::wstring>{});
    ExpectValues("last profile deleted", {{kDefaultsKey, L"Name", L"-"}});
}

// Cancel writes nothing and forgets what was typed; a stored current profile out of range.
TEST_F(CardWorkflow, CancelAndACurrentProfileOutOfRange)
{
    StoreProfiles({L"Travel"});
    std::string profiles = datatest::ReadBytes(install / L"profiles.dat");
    ASSERT_NE(driver.Open(), nullptr);
    RunProfileDialog(IDC_NEW_PROFILE, L"Typed");
    ASSERT_NE(driver.ShowPage(1), nullptr);
    RunEditor(IDC_INTERNATIONAL_CALLS, {IDC_CARD_ADD_PIN}, L"1");
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(datatest::ReadBytes(install / L"profiles.dat"), profiles);
    ExpectValues("after Cancel", {{kConfigKey, L"Enable", L"-"}, {kConfigKey, L"CurrentLocation", L"-"}, {kDefaultsKey, L"Name", L"no key"}});

    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_TRUE(driver.PressOk());
    EXPECT_FALSE(datatest::FileExists(install / L"settings.dat")) << "the cancelled sequence was saved";

    // A stored current index out of range (the store's SetCurrent refuses it, so it is written into the
    // file): the first profile is current, shown and published.
    StoreProfiles({L"Other"});
    std::string outOfRange = datatest::ReadBytes(install / L"profiles.dat");
    outOfRange[offsetof(StoreHeader, current)] = 5;
    ASSERT_TRUE(datatest::WriteBytes(install / L"profiles.dat", outOfRange));
    SetRegNumber(kConfigKey, L"CurrentLocation", 276);
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(1), nullptr);
    EXPECT_EQ(WindowText(driver.Control(1, IDC_CARD_PROVIDER)), L"Brightwren Telecard");
    ASSERT_TRUE(driver.PressOk());
    ExpectValues("current index 5 of 2", {{kDefaultsKey, L"Name", L"sz:Travel"}});
}

// A database table that cannot be read while OK publishes is said, and the sheet still closes.
TEST_F(CardWorkflow, TableFailingWhilePublishingIsShown)
{
    StoreProfiles({L"Travel"});
    SetRegNumber(kConfigKey, L"CurrentLocation", 276);
    DeleteFileW((install / L"country.dat").c_str());
    ASSERT_NE(driver.Open(), nullptr);
    PostMessageW(driver.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    HWND box = WaitForWindow(L"#32770", L"Kestrova Dialpass");
    ASSERT_NE(box, nullptr) << "nothing said";
    EXPECT_EQ(AnswerMessageBox(box), L"Unable to open file !\n\n" + install / L"country.dat");
    ASSERT_TRUE(driver.WaitClosed());
}

// OK that cannot save names the file and the reason, writes and publishes nothing, and keeps the sheet
// open with every edit; once the cause is gone OK saves, or Cancel leaves knowingly. (Which failures a
// save meets and how the files survive them are the file set's and the stores' own tests.)
TEST_F(CardWorkflow, OkThatCannotSaveSaysWhyAndKeepsTheEdits)
{
    using Undo = std::function<void()>;
    // what keeps the file from being saved (returns how to take it away); the file named; the reason
    // shown; OK again, else Cancel
    struct Case {
        const char* what; std::function<Undo()> cause; const wchar_t* file; std::wstring reason; bool retry;
    };
    const Case cases[] = {
        {"settings.dat held by a reader: profiles.dat is not saved without it",
         [this] {
             HANDLE held = CreateFileW((install / L"settings.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
             return Undo([held] { CloseHandle(held); });
         },
         L"settings.dat", SystemErrorText(ERROR_SHARING_VIOLATION), true},
        {"the folder's lock held by another writer, then Cancel",
         [this] {
             auto lock = std::make_shared<FolderLock>();
             FileSetError error;
             EXPECT_TRUE(lock->Acquire(install.Path(), 0, error));
             return Undo([lock] { lock->Release(); });
         },
         L"profiles.dat", L"Another program is changing files in this folder", false},
        // A real short write, which only this case makes.
        {"profiles.dat on a full disk",
         [this] {
             // The old file's size: the lock's marks still fit, the new, longer file does not.
             DWORD limit = DWORD(datatest::ReadBytes(install / L"profiles.dat").size());
             EXPECT_TRUE(SetFileSizeLimit(install.Path(), limit, limit + 1)) << "the limit did not take";
             return Undo([this, limit] { EXPECT_TRUE(SetFileSizeLimit(install.Path(), 0, limit + 1)) << "still limited"; });
         },
         L"profiles.dat", SystemErrorText(ERROR_DISK_FULL), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearDialerConfig();
        DeleteSetting(L"PhoneSettings");
        SetRegNumber(kConfigKey, L"CurrentLocation", 276);
        DeleteFileW((install / L"profiles.dat").c_str());
        StoreProfiles({L"Travel"});
        CardSettingsStore settingsFile;  // an empty "settings.dat" that a case can hold
        settingsFile.Load((install / L"settings.dat").c_str());
        settingsFile.Clear();
        ASSERT_TRUE(settingsFile.Save());
        const std::string profiles = datatest::ReadBytes(install / L"profiles.dat");
        const std::string settings = datatest::ReadBytes(install / L"settings.dat");
        auto expectNothingSaved = [&](const char* when) {
            EXPECT_EQ(datatest::ReadBytes(install / L"profiles.dat"), profiles) << when;
            EXPECT_EQ(datatest::ReadBytes(install / L"settings.dat"), settings) << when;
            ExpectValues(when, {{kConfigKey, L"Enable", L"-"}, {kConfigKey, L"PhoneSettings", L"-"},
                                {kDefaultsKey, L"Name", L"no key"}});
        };

        ASSERT_NE(driver.Open(), nullptr);
        RunProfileDialog(IDC_NEW_PROFILE, L"Second");
        ASSERT_NE(driver.ShowPage(1), nullptr);
        RunEditor(IDC_INTERNATIONAL_CALLS, {IDC_CARD_ADD_PIN}, L"0800 1");
        ASSERT_NE(driver.ShowPage(2), nullptr);  // Phone settings, which writes on OK too
        Undo undo = c.cause();
        DWORD start = GetTickCount();
        PostMessageW(driver.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        HWND box = WaitForWindow(L"#32770", L"Kestrova Dialpass");
        DWORD waited = GetTickCount() - start;
        ASSERT_NE(box, nullptr) << "nothing said";
        EXPECT_LT(waited, 3000u) << "the message came only after " << waited << " ms";
        EXPECT_EQ(AnswerMessageBox(box), L"Unable to save file !\n\n" + install / c.file + L"\n\n" + c.reason +
                                             L".\n\nNothing was saved and your changes are kept: tap OK to try "
                                             L"again, or Cancel to leave without saving.");
        EXPECT_EQ(ComboEntries(driver.Control(0, IDC_PROFILES)), (std::vector<std::wstring>{L"Travel", L"Second"}));
        expectNothingSaved("after the message");
        undo();
        ASSERT_TRUE(c.retry ? driver.PressOk() : driver.PressCancel());
        if (!c.retry) {
            expectNothingSaved("Cancel after the failure");
            continue;
        }
        EXPECT_EQ(StoredProfiles(install / L"profiles.dat"), (std::vector<std::wstring>{L"Travel", L"Second"}));
        EXPECT_EQ(datatest::ReadBytes(install / L"settings.dat").size(), 8u + 12u + 4u + 12u + 2u + 4u);
        ExpectValues("published on the retry", {{kConfigKey, L"Enable", L"dword:0"}, {kDefaultsKey, L"Name", L"sz:Second"}});
    }
    DeleteSetting(L"PhoneSettings");
}

// Another program replaces the database while the sheet is open: Card settings shows the new set
// the next time it is shown, and OK publishes from it.
TEST_F(CardWorkflow, ADatabaseReplacedWhileTheSheetIsOpenIsShownWhole)
{
    StoreProfiles({L"Travel"});
    auto replace = [&](const char* countries, const char* manufacturers) {
        FileSet set(install.Path());
        for (auto file : {std::make_pair(L"country.dat", countries), std::make_pair(L"manufacturers.dat", manufacturers)}) {
            std::string bytes = file.second;
            Scramble(&bytes[0], bytes.size());
            set.Add(file.first, bytes);
        }
        ASSERT_TRUE(set.Commit()) << datatest::Narrow(set.Error().Text());
    };
    replace("276;Germany;49\r\n826;United Kingdom;44\r\n", "1;Brightwren;Brightwren Telecard\r\n");
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(1), nullptr);

    replace("276;Deutschland;49\r\n250;France;33\r\n", "1;Brightwren;Brightwren Neu\r\n");
    ASSERT_NE(driver.ShowPage(0), nullptr);
    ASSERT_NE(driver.ShowPage(1), nullptr);
    EXPECT_EQ(ComboEntries(driver.Control(1, IDC_LOCATIONS)), (std::vector<std::wstring>{L"Deutschland", L"France"}));
    EXPECT_EQ(WindowText(driver.Control(1, IDC_CARD_PROVIDER)), L"Brightwren Neu");
    ASSERT_TRUE(driver.PressOk());
    ExpectValues("published from the new set", {{kDefaultsKey, L"CountryName", L"sz:Deutschland"}});
    EXPECT_TRUE(driver.messages.empty());
}

// A host keeps the library loaded for hours: opening, editing a sequence and OK must not grow the heap.
TEST_F(CardWorkflow, FiftyOpenEditOkCyclesLeaveTheHeapWhereItWas)
{
    StoreProfiles({L"Travel"});
    // The first round stores two steps, each later one adds a step and deletes the last, with a new
    // access number: the stored steps are read and freed every round, and the heap holds as much.
    int round = 0;
    auto cycle = [&] {
        ASSERT_NE(driver.Open(), nullptr);
        ASSERT_NE(driver.ShowPage(1), nullptr);
        const wchar_t* number = round % 2 ? L"0800 1" : L"0800 2";
        RunEditor(IDC_INTERNATIONAL_CALLS, {IDC_CARD_ADD_PIN, round++ ? IDC_CARD_DELETE : IDC_CARD_ADD_PIN}, number);
        ASSERT_TRUE(driver.PressOk());
        ASSERT_EQ(ShowValue(kInternationalKey, L"AccessNumber"), std::wstring(L"sz:") + number) << "round " << round;
    };
    const SIZE_T wine = 50 * WineBytesPerOpening();
    // The first openings load the tables and the platform's own caches for good.
    for (int i = 0; i < 3; ++i)
        cycle();
    SIZE_T before = BusyHeapBytes();
    for (int i = 0; i < 50 && !HasFatalFailure(); ++i)
        cycle();
    EXPECT_LE(BusyHeapBytes() - before, wine) << "heap bytes in use after 50 cycles, Wine's share " << wine;
    EXPECT_TRUE(driver.messages.empty());
}

}  // namespace
