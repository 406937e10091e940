// Publishing the dialer configuration: what reaches Wine's registry from fixture database files and
// stores, and what each situation leaves as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/records.h"
#include "data/stores.h"
#include "pages/dialerconfig.h"
#include "data/datatest.h"
#include "support/dialogdriver.h"

namespace {

const BYTE kSequence0[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0};
const BYTE kSequence1[] = {1, 0, 2, 0, 3, 0};
const wchar_t kShown0[] = L"binary:128 010005050602303004";
const wchar_t kShown1[] = L"binary:128 0100020003";
const wchar_t kZeros[] = L"binary:128 ";

DialerPageInputs Inputs(bool opened, DWORD selected, const wchar_t* text, const ProfileRecord* profile)
{
    DialerPageInputs inputs;
    inputs.cardSettingsInitialised = opened;
    inputs.selectedLocation = selected;
    lstrcpyW(inputs.locationText, text);
    inputs.profile = profile;
    return inputs;
}

class DialerConfigTest : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        ClearDatabaseTables();
        cardSettingsStore.Clear();
    }

    // No configuration and fresh files.
    void Reset()
    {
        ClearDialerConfig();
        datatest::WriteScrambled(install / L"country.dat",
                                  "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n65535;Farland;7\r\n");
        datatest::WriteScrambled(install / L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n8;Quillmoor;Quillmoor Card\r\n");
        datatest::WriteScrambled(install / L"Brightwren.dat",
                                  "44;08081570123; (Freephone)\r\n49;08001234567; (toll free)\r\n49;069123456780;\r\n");
        datatest::WriteScrambled(install / L"Quillmoor.dat", "49;5;\r\n");
        DeleteFileW((install / L"settings.dat").c_str());
        TearDown();
    }

    datatest::InstallFolder install;
    ProfileRecord travel = TestProfile(L"Travel", 7, 49, 276);
};

// How far each situation reaches and what it writes; values a reach does not cover keep what they held.
TEST_F(DialerConfigTest, ReachFollowsProfileAndLocation)
{
    const wchar_t* earlier = L"sz:Earlier";
    struct Case {
        // the profile given, stored "CurrentLocation" (0: none), the Card settings page opened with its
        // selection and list text; expected reach, "CurrentLocation", "CountryCode", "CountryName"
        const char* what; bool profile; DWORD stored; bool opened; DWORD selected; const wchar_t* text;
        DialerReach reach; const wchar_t *location, *code, *countryName;
    } cases[] = {
        {"no profile", false, 0, true, 276, L"Germany", kReachNameDeleted, L"dword:276", L"dword:1", earlier},
        {"no location", true, 0, false, 0, L"", kReachNameDeleted, L"-", L"dword:1", earlier},
        {"opened, nothing selected: stored location", true, 826, true, 0, L"", kReachSlots, L"dword:826", L"dword:44", earlier},
        {"selection with an empty list text", true, 826, true, 40, L"", kReachSlots, L"dword:40", L"dword:43", earlier},
        {"location id 65535, the highest there is", true, 65535, false, 0, L"", kReachSlots, L"dword:65535", L"dword:7",
         earlier},
        {"location id beyond 16 bits", true, 65536 + 276, false, 0, L"", kReachProfile, L"dword:65812", L"dword:1", earlier},
    };
    for (const Case& c : cases) {
        Reset();
        if (c.stored)
            SetRegNumber(kConfigKey, L"CurrentLocation", c.stored);
        SetRegText(kDefaultsKey, L"Name", L"Old card");
        SetRegText(kDefaultsKey, L"PIN", L"1111");
        SetRegNumber(kDefaultsKey, L"CountryCode", 1);
        SetRegText(kDefaultsKey, L"CountryName", L"Earlier");
        SetRegNumber(kInternationalKey, L"Length", 5);
        ASSERT_FALSE(PublishDialerValues(Inputs(c.opened, c.selected, c.text, c.profile ? &travel : nullptr)))
            << c.what;
        bool profile = c.reach >= kReachProfile, slots = c.reach == kReachSlots;
        ExpectValues(c.what, {{kConfigKey, L"CurrentLocation", c.location},
                              {kDefaultsKey, L"Name", profile ? L"sz:Travel" : L"-"},
                              {kDefaultsKey, L"AccountNumber", profile ? L"sz:12345" : L"-"},
                              {kDefaultsKey, L"PIN", profile ? L"sz:9876" : L"sz:1111"},
                              {kDefaultsKey, L"HomeCountryCode", profile ? L"dword:49" : L"-"},
                              {kDefaultsKey, L"CountryCode", c.code}, {kDefaultsKey, L"CountryName", c.countryName},
                              {kInternationalKey, L"Length", slots ? L"dword:0" : L"dword:5"},
                              {kLocalKey, L"Length", slots ? L"dword:0" : L"no key"}});
    }
}

// What publishing reads from files: "settings.dat" (the profile's provider and home at the location
// only), the provider's file once, and only when needed.
TEST_F(DialerConfigTest, ReadsTheFilesASlotNeeds)
{
    struct Case {
        // card settings only in "settings.dat" when record[0] is set; access numbers loaded and
        // a file deleted before OK; what each slot gets
        const char* what; uint32_t provider; int32_t record[3];
        const wchar_t *own0, *own1, *preload, *remove, *number0, *number1; DWORD length0, length1;
    } cases[] = {
        {"own numbers need no provider file", 7, {7, 49, 49}, L"111", L"222", nullptr, L"manufacturers.dat", L"111", L"222", 10, 6},
        {"missing access-number file", 7, {}, L"", L"", nullptr, L"Brightwren.dat", L"", L"", 0, 0},
        {"unknown provider", 99, {}, L"", L"", nullptr, nullptr, L"", L"", 0, 0},
        {"another provider's numbers replaced, one digit long", 8, {}, L"", L"", L"Brightwren", nullptr, L"5", L"5", 0, 0},
        {"another provider's settings", 7, {8, 49, 49}, L"111", L"222", nullptr, nullptr, L"08001234567", L"08001234567", 0, 0},
        {"another location's settings", 7, {7, 44, 49}, L"111", L"222", nullptr, nullptr, L"08001234567", L"08001234567", 0, 0},
        {"another home's settings", 7, {7, 49, 44}, L"111", L"222", nullptr, nullptr, L"08001234567", L"08001234567", 0, 0},
    };
    for (const Case& c : cases) {
        Reset();
        travel.provider = c.provider;
        RegSetKeyValueW(HKEY_CURRENT_USER, kInternationalKey, L"Sequence", REG_BINARY, "\xFF\xFF\xFF", 3);
        if (c.record[0]) {  // both sequences and the case's numbers, in "settings.dat" only
            cardSettingsStore.Load((install / L"settings.dat").c_str());  // no file yet: keeps the path for Save
            CardSettingsRecord* stored = cardSettingsStore.FindOrAdd(c.record[0], c.record[1], c.record[2]);
            CardSettingsStore::SetSequence(*stored, 0, kSequence0, sizeof(kSequence0));
            CardSettingsStore::SetSequence(*stored, 1, kSequence1, sizeof(kSequence1));
            lstrcpyW(stored->accessNumbers[0], c.own0);
            lstrcpyW(stored->accessNumbers[1], c.own1);
            ASSERT_TRUE(cardSettingsStore.Save());
            cardSettingsStore.Clear();
        }
        if (c.preload)
            LoadAccessNumberTable(c.preload);
        if (c.remove)
            DeleteFileW((install / c.remove).c_str());
        ASSERT_FALSE(PublishDialerValues(Inputs(true, 276, L"Shown", &travel))) << c.what;
        ExpectValues(c.what, {{kInternationalKey, L"Length", L"dword:" + std::to_wstring(c.length0)},
                              {kInternationalKey, L"Sequence", c.length0 ? kShown0 : kZeros},
                              {kInternationalKey, L"AccessNumber", L"sz:" + std::wstring(c.number0)},
                              {kLocalKey, L"Length", L"dword:" + std::to_wstring(c.length1)},
                              {kLocalKey, L"Sequence", c.length1 ? kShown1 : kZeros},
                              {kLocalKey, L"AccessNumber", L"sz:" + std::wstring(c.number1)}});
    }
}

}  // namespace
