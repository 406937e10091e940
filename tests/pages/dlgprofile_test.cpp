// The card profile dialog, run modally and played through messages, with the profile store as the oracle.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/records.h"
#include "data/stores.h"
#include "data/datatest.h"
#include "pages/dlgprofile.h"
#include "platform/shell.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"

namespace {

const char kProviders[] = "1;Brightwren;Brightwren Telecard\r4;Sundrel;Sundrel Travel Phonecard\r";
const char kCountries[] = "1;Germany;49\r2;Austria;43\r3;Heligoland;49\r";
const char kOperators[] = "26201;49;\r23201;43;\r99999;7;\r";  // 7: no country has it

class ProfileDialog : public testing::Test {
protected:
    void SetUp() override
    {
        ClearDatabaseTables();
        profileStore.Clear();
        providerTable.ParseBuffer(kProviders, sizeof(kProviders) - 1);
        countryTable.ParseBuffer(kCountries, sizeof(kCountries) - 1);
        operatorTable.ParseBuffer(kOperators, sizeof(kOperators) - 1);
        SetSimulatedOperator(L"26201");
    }
    void TearDown() override
    {
        ClearDatabaseTables();
        profileStore.Clear();
        SetSimulatedOperator(nullptr);
    }
    datatest::InstallFolder install;  // where a table missing from memory is looked for
};

// What it shows at opening, what Detect selects (the first country of the network's code) or says,
// and what OK writes.
TEST_F(ProfileDialog, OpensWithTheStoredOrDetectedValuesDetectsAndOkWritesTheCutOnes)
{
    const std::wstring name40(40, L'n'), digits20 = L"12345678901234567890";
    const std::wstring missing = L"Unable to open file !\n\n" + (install / L"providers.dat");
    const struct {
        // a stored profile edited (its provider and home id), the network's operator; provider and home shown
        // at opening; the operator when Detect is tapped, the operator table kept (else emptied, "providers.dat"
        // missing), what Detect says and the home it selects; the name typed, the entries picked (-1: none),
        // the key; DoModal's result and the stored profile's provider, home id and home code
        bool edit; uint32_t oldProvider, oldHome; const wchar_t* op; const wchar_t *provided, *shownHome;
        const wchar_t* detectOp; bool operators; std::wstring message; const wchar_t* detected;
        const wchar_t* name; int provider, home, key;
        INT_PTR result; uint32_t providerId, homeId, homeCode;
    } cases[] = {
        // the last country of code 49 is detected at opening
        {false, 0, 0, L"26201", L"Brightwren Telecard", L"Heligoland", L"26201", true, L"", L"Germany",
         name40.c_str(), 1, 1, IDOK, IDOK, 4, 2, 43},
        {true, 4, 2, L"26201", L"Sundrel Travel Phonecard", L"Austria", L"26201", true, L"", L"Germany",
         L"Edited", 1, -1, IDOK, IDOK, 4, 0, 0},
        // no home stored: detected
        {true, 9, 0, L"23201", L"Brightwren Telecard", L"Austria", L"99999", true, L"Autodetection failed !", L"Austria",
         L"Home", 0, 2, IDOK, IDOK, 1, 3, 49},
        {false, 0, 0, nullptr, L"Brightwren Telecard", L"(none)", nullptr, true, L"Autodetection failed !", L"(none)",
         L"Cancelled", 0, 0, IDCANCEL, IDCANCEL, 0, 0, 0},
        {false, 0, 0, L"26201", L"Brightwren Telecard", L"Heligoland", L"26201", false, missing, L"Heligoland",
         L"", 0, 0, IDOK, IDCANCEL, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        SetSimulatedOperator(c.op);
        operatorTable.Clear();
        operatorTable.ParseBuffer(kOperators, sizeof(kOperators) - 1);
        profileStore.Clear();
        ProfileRecord* stored = nullptr;
        if (c.edit) {
            ASSERT_TRUE(profileStore.Get(profileStore.AddNew(), stored));
            *stored = TestProfile(L"Old", c.oldProvider, 0, c.oldHome);
        }
        CDlgProfileName profile(stored);
        ModalDialog dialog(profile, L"Dialpass profile");
        EXPECT_EQ(ComboEntries(dialog.Item(IDC_PROFILE_PROVIDER)),
                  (std::vector<std::wstring>{L"Brightwren Telecard", L"Sundrel Travel Phonecard"}));
        EXPECT_EQ(ComboEntries(dialog.Item(IDC_PROFILE_HOME)),
                  (std::vector<std::wstring>{L"Germany", L"Austria", L"Heligoland"}));
        EXPECT_EQ(Selected(dialog.Item(IDC_PROFILE_PROVIDER)), c.provided);
        EXPECT_EQ(Selected(dialog.Item(IDC_PROFILE_HOME)), c.shownHome);
        EXPECT_EQ(WindowText(dialog.Item(IDC_PROFILE_NAME)), c.edit ? L"Old" : L"");
        EXPECT_EQ(LastSipPreference(), SIP_UP);
        EXPECT_NE(GetMenu(dialog.Window()), nullptr) << "the soft keys";

        SetSimulatedOperator(c.detectOp);
        if (!c.operators)
            operatorTable.Clear();
        dialog.PostClick(IDC_PROFILE_DETECT);
        EXPECT_EQ(AnswerMessage(dialog, c.message.empty() ? 300 : kWindowTimeout), c.message);
        EXPECT_TRUE(WaitUntil([&] { return Selected(dialog.Item(IDC_PROFILE_HOME)) == c.detected; }))
            << "selected: " << testing::PrintToString(Selected(dialog.Item(IDC_PROFILE_HOME)));

        SendMessageW(dialog.Item(IDC_PROFILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.name));
        SendMessageW(dialog.Item(IDC_PROFILE_ACCOUNT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(digits20.c_str()));
        SendMessageW(dialog.Item(IDC_PROFILE_PIN), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(digits20.c_str()));
        SendMessageW(dialog.Item(IDC_PROFILE_PROVIDER), CB_SETCURSEL, WPARAM(c.provider), 0);
        SendMessageW(dialog.Item(IDC_PROFILE_HOME), CB_SETCURSEL, WPARAM(c.home), 0);
        dialog.SoftKey(c.key);
        ASSERT_TRUE(dialog.Ended());
        EXPECT_EQ(dialog.result, c.result);
        bool written = c.result == IDOK;
        ASSERT_EQ(profileStore.Count(), written ? 1u : 0u);
        if (!written)
            continue;
        ProfileRecord* record = nullptr;
        ASSERT_TRUE(profileStore.Get(0, record));
        EXPECT_EQ(std::wstring(record->name), std::wstring(c.name).substr(0, 31));
        EXPECT_EQ(std::wstring(record->account), digits20.substr(0, 15));
        EXPECT_EQ(std::wstring(record->pin), digits20.substr(0, 15));
        EXPECT_EQ(record->provider, c.providerId);
        EXPECT_EQ(record->homeId, c.homeId);
        EXPECT_EQ(record->homeCode, c.homeCode);
    }
}

// A file that cannot be read is shown and the dialog still opens, with no provider to store.
TEST_F(ProfileDialog, UnreadableFileIsShownAndTheDialogStillOpens)
{
    ClearDatabaseTables();
    datatest::WriteScrambled(install / L"manufacturers.dat", "1;Brightwren\r\n");
    CDlgProfileName profile(nullptr);
    ModalDialog dialog(profile, L"Dialpass profile");
    EXPECT_EQ(AnswerMessage(dialog), L"Unable to load file !\n\n" + (install / L"manufacturers.dat"));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog.Window()) != 0; }));
    EXPECT_EQ(ComboEntries(dialog.Item(IDC_PROFILE_PROVIDER)).size(), 0u);
    SendMessageW(dialog.Item(IDC_PROFILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Card"));
    dialog.SoftKey(IDOK);
    ASSERT_TRUE(dialog.Ended());
    ProfileRecord* record = nullptr;
    ASSERT_TRUE(profileStore.Get(0, record));
    EXPECT_EQ(record->provider, 0xFFFFFFFFu) << "no provider to name";
}

} // namespace
