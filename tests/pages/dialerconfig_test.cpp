// Publishing the dialer configuration: the values computed from tables in memory, and what reaches
// Wine's registry from fixture database files and stores.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "data/records.h"
#include "data/stores.h"
#include "pages/dialerconfig.h"
#include "data/datatest.h"
#include "support/sheetdriver.h"

namespace {

const BYTE kSequence0[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0};
const BYTE kSequence1[] = {1, 0, 2, 0, 3, 0};
const wchar_t kShown0[] = L"binary:128 010005050602303004";
const wchar_t kShown1[] = L"binary:128 0100020003";
const wchar_t kZeros[] = L"binary:128 ";

// The profile "Travel", account 12345, PIN 9876, home 49, with this card provider.
ProfileRecord Travel(uint32_t provider = 7)
{
    ProfileRecord profile{};
    lstrcpyW(profile.name, L"Travel");
    lstrcpyW(profile.account, L"12345");
    lstrcpyW(profile.pin, L"9876");
    profile.provider = provider;
    profile.homeCode = 49;
    return profile;
}

DialerPageInputs Inputs(bool opened, DWORD selected, const wchar_t* text, const ProfileRecord* profile)
{
    DialerPageInputs inputs;
    inputs.cardSettingsInitialised = opened;
    inputs.selectedLocation = selected;
    lstrcpyW(inputs.locationText, text);
    inputs.profile = profile;
    return inputs;
}

template <class Table>
void Fill(Table& table, const std::string& lines)
{
    table.ParseBuffer(lines.data(), uint32_t(lines.size()));
}

std::string Hex(const BYTE* bytes, DWORD length)
{
    std::string text;
    for (DWORD i = 0; i < length; ++i)
        text += "0123456789ABCDEF"[bytes[i] >> 4], text += "0123456789ABCDEF"[bytes[i] & 15];
    return text;
}

// The pure step: records taken from tables in memory, no registry, no files.
class DialerComputeTest : public testing::Test {
protected:
    void SetUp() override
    {
        Fill(countries, "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n");
        Fill(numbers, "44;08081570123; (Freephone)\r\n49;08001234567; (toll free)\r\n49;069123456780;\r\n");
        sources.providersRead = true;
    }
    // The sources for a location as gathering looks them up (0: no location; no country record for 555).
    void Locate(DWORD location)
    {
        sources.location = location;
        sources.country = location ? FindCountry(countries, uint16_t(location)) : nullptr;
        sources.providerNumber = sources.country ? NextAccessNumber(numbers, sources.country->code, true) : nullptr;
    }
    CountryTable countries;
    AccessNumberTable numbers;
    CardSettingsStore settings;
    DialerSources sources;
    ProfileRecord travel = Travel();
};

// How far each situation reaches and the location values it publishes.
TEST_F(DialerComputeTest, ReachFollowsProfileAndLocation)
{
    struct Case {
        const char* what; bool profile; DWORD location; bool opened; DWORD selected; const wchar_t* text;
        // expected: new "CurrentLocation", reach, "CountryCode", "CountryName" (empty: not written)
        DWORD newLocation; DialerReach reach; DWORD code; const wchar_t* countryName;
    } cases[] = {
        {"no profile", false, 276, true, 276, L"Germany", 276, kReachNameDeleted, 0, L""},
        {"no location", true, 0, false, 0, L"", 0, kReachNameDeleted, 0, L""},
        {"page not opened: no new location, no name", true, 826, false, 40, L"Austria", 0, kReachSlots, 44, L""},
        {"opened, nothing selected: no new location", true, 826, true, 0, L"", 0, kReachSlots, 44, L""},
        {"opened with a selection", true, 40, true, 40, L"Austria", 40, kReachSlots, 43, L"Austria"},
        {"selection with an empty list text", true, 40, true, 40, L"", 40, kReachSlots, 43, L""},
        {"location without a country record", true, 555, false, 0, L"", 0, kReachProfile, 0, L""},
    };
    for (const Case& c : cases) {
        Locate(c.location);
        DialerConfigValues values =
            ComputeDialerConfig(Inputs(c.opened, c.selected, c.text, c.profile ? &travel : nullptr), sources);
        EXPECT_EQ(values.newLocation, c.newLocation) << c.what;
        EXPECT_EQ(values.reach, c.reach) << c.what;
        EXPECT_EQ(values.countryCode, c.code) << c.what;
        EXPECT_STREQ(values.countryName, c.countryName) << c.what;
        if (c.reach >= kReachProfile) {
            EXPECT_STREQ(values.name, L"Travel") << c.what;
            EXPECT_STREQ(values.account, L"12345") << c.what;
            EXPECT_STREQ(values.pin, L"9876") << c.what;
            EXPECT_EQ(values.homeCode, 49u) << c.what;
        }
    }
}

TEST_F(DialerComputeTest, SlotsTakeTheirOwnNumberElseTheProvidersFirst)
{
    struct Case {
        // card settings with their own numbers (none when withSettings is false); the location;
        // whether "manufacturers.dat" was read; then what each slot gets
        const char* what; bool withSettings; const wchar_t *own0, *own1; DWORD location; bool providersRead;
        DialerReach reach; const wchar_t *number0, *number1; const char *bytes0, *bytes1;
    } cases[] = {
        {"no card settings: first of two numbers", false, L"", L"", 276, true, kReachSlots, L"08001234567", L"08001234567", "", ""},
        {"slot 1 without its own number", true, L"0800 INT", L"", 826, true, kReachSlots, L"0800 INT", L"08081570123", "01000505060230300400", ""},
        {"both own numbers", true, L"111", L"222", 276, false, kReachSlots, L"111", L"222", "01000505060230300400", "010002000300"},
        {"no access number for the country", false, L"", L"", 40, true, kReachSlots, L"", L"", "", ""},
        {"manufacturers.dat failed", true, L"111", L"", 276, false, kReachLocation, L"", L"", "", ""},
    };
    for (const Case& c : cases) {
        settings.Clear();
        Locate(c.location);
        sources.cardSettings = nullptr;
        if (c.withSettings) {
            CardSettingsRecord* record = settings.FindOrAdd(7, int32_t(sources.country->code), 49);
            CardSettingsStore::SetSequence(*record, 0, kSequence0, sizeof(kSequence0));
            CardSettingsStore::SetSequence(*record, 1, kSequence1, sizeof(kSequence1));
            lstrcpyW(record->accessNumbers[0], c.own0);
            lstrcpyW(record->accessNumbers[1], c.own1);
            sources.cardSettings = record;
        }
        sources.providersRead = c.providersRead;
        DialerConfigValues values = ComputeDialerConfig(Inputs(true, c.location, L"Shown", &travel), sources);
        EXPECT_EQ(values.reach, c.reach) << c.what;
        if (c.reach != kReachSlots)
            continue;
        const wchar_t* numbers[2] = {c.number0, c.number1};
        const char* bytes[2] = {c.bytes0, c.bytes1};
        for (int slot = 0; slot < 2; ++slot) {
            const DialerSlotValues& out = values.slots[slot];
            EXPECT_STREQ(out.accessNumber, numbers[slot]) << c.what << ", slot " << slot;
            EXPECT_EQ(Hex(out.sequence, out.length), bytes[slot]) << c.what << ", slot " << slot;
            EXPECT_EQ(Hex(out.sequence + out.length, kMaxSequenceBytes - out.length),
                      std::string((kMaxSequenceBytes - out.length) * 2, '0'))
                << c.what << ", slot " << slot << ": bytes beyond the length";
        }
    }
}

// Through the registry and fixture files: what each reach writes and leaves, and what is read.
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
        for (const wchar_t* key : {kDefaultsKey, kInternationalKey, kLocalKey})
            RegDeleteKeyW(HKEY_CURRENT_USER, key);
        for (const wchar_t* value : {L"CurrentLocation", L"Enable"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kConfigKey, value);
        datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n");
        datatest::WriteScrambled(install / L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n8;Quillmoor;Quillmoor Card\r\n");
        datatest::WriteScrambled(install / L"Brightwren.dat",
                                  "44;08081570123; (Freephone)\r\n49;08001234567; (toll free)\r\n49;069123456780;\r\n");
        datatest::WriteScrambled(install / L"Quillmoor.dat", "49;0800555;\r\n");
        DeleteFileW((install / L"settings.dat").c_str());
        TearDown();
    }

    // Card settings (provider, code, home) with both sequences and these numbers, in "settings.dat" only.
    void StoreSettings(const int32_t (&record)[3], const wchar_t* own0, const wchar_t* own1)
    {
        cardSettingsStore.Load((install / L"settings.dat").c_str());  // no file yet: keeps the path for Save
        CardSettingsRecord* stored = cardSettingsStore.FindOrAdd(record[0], record[1], record[2]);
        CardSettingsStore::SetSequence(*stored, 0, kSequence0, sizeof(kSequence0));
        CardSettingsStore::SetSequence(*stored, 1, kSequence1, sizeof(kSequence1));
        lstrcpyW(stored->accessNumbers[0], own0);
        lstrcpyW(stored->accessNumbers[1], own1);
        ASSERT_TRUE(cardSettingsStore.Save());
        cardSettingsStore.Clear();
    }

    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
    ProfileRecord travel = Travel();
};

// Gathering looks each record up once, for the compute step to take as it is.
TEST_F(DialerConfigTest, GatherFindsTheLocationTheCountryAndTheProfilesSettings)
{
    struct Case {
        // stored "CurrentLocation", the page opened with a selection; card settings (provider, code,
        // home; provider 0: none) with own numbers; expected location, country code (0: no record),
        // whether the settings were found, "manufacturers.dat" read, the provider's number
        const char* what; DWORD stored; bool opened; DWORD selected; int32_t record[3];
        DWORD location, code; bool settingsFound, providersRead; const char* number;
    } cases[] = {
        {"page not opened: stored location", 826, false, 40, {}, 826, 44, false, true, "08081570123"},
        {"opened, nothing selected: stored location", 826, true, 0, {}, 826, 44, false, true, "08081570123"},
        {"opened with a selection", 826, true, 40, {}, 40, 43, false, true, ""},
        {"stored location not in country.dat", 555, false, 0, {}, 555, 0, false, false, ""},
        {"location id beyond 16 bits", 65536 + 276, false, 0, {}, 65536 + 276, 0, false, false, ""},
        {"the profile's settings: no provider file", 826, false, 0, {7, 44, 49}, 826, 44, true, false, ""},
        {"other provider's settings", 826, false, 0, {8, 44, 49}, 826, 44, false, true, "08081570123"},
        {"other location's settings", 826, false, 0, {7, 49, 49}, 826, 44, false, true, "08081570123"},
        {"other home's settings", 826, false, 0, {7, 44, 44}, 826, 44, false, true, "08081570123"},
    };
    for (const Case& c : cases) {
        Reset();
        SetRegNumber(kConfigKey, L"CurrentLocation", c.stored);
        if (c.record[0])
            StoreSettings(c.record, L"X", L"X");
        CRegKey settings(HKEY_CURRENT_USER, kSettingsKey);
        DialerSources sources = GatherDialerSources(settings, Inputs(c.opened, c.selected, L"", &travel));
        EXPECT_EQ(sources.location, c.location) << c.what;
        EXPECT_EQ(sources.country ? sources.country->code : 0u, c.code) << c.what;
        EXPECT_EQ(sources.cardSettings != nullptr, c.settingsFound) << c.what;
        EXPECT_EQ(sources.providersRead, c.providersRead) << c.what;
        EXPECT_EQ(sources.providerNumber ? std::string(sources.providerNumber->number) : "", c.number) << c.what;
        EXPECT_FALSE(sources.failure.has_value()) << c.what;
    }
}

// Values a branch does not reach keep what they held.
TEST_F(DialerConfigTest, ValuesWrittenForProfileAndLocation)
{
    const wchar_t *name = L"sz:Travel", *account = L"sz:12345", *pin = L"sz:9876", *home = L"dword:49";
    const wchar_t *earlier = L"sz:Earlier", *none = L"-", *noKey = L"no key";
    struct Case {
        const char* what; bool withProfile; DWORD stored; bool opened; DWORD selected; const wchar_t* text;
        const wchar_t *location, *name, *account, *pin, *home, *code, *countryName, *length, *local;
    } cases[] = {
        {"no profile", false, 0, true, 276, L"Germany", L"dword:276", none, none, L"sz:1111", none, L"dword:1", earlier, L"dword:5", noKey},
        {"no location", true, 0, false, 0, L"", none, none, none, L"sz:1111", none, L"dword:1", earlier, L"dword:5", noKey},
        {"page not opened", true, 826, false, 0, L"", L"dword:826", name, account, pin, home, L"dword:44", earlier, L"dword:0", L"dword:0"},
        {"selected with list text", true, 826, true, 40, L"Austria", L"dword:40", name, account, pin, home, L"dword:43", L"sz:Austria", L"dword:0", L"dword:0"},
        {"stored location not in country.dat", true, 555, false, 0, L"", L"dword:555", name, account, pin, home, L"dword:1", earlier, L"dword:5", noKey},
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
        ASSERT_FALSE(PublishDialerValues(Inputs(c.opened, c.selected, c.text, c.withProfile ? &travel : nullptr)))
            << c.what;
        ExpectValues(c.what, {{kConfigKey, L"CurrentLocation", c.location}, {kDefaultsKey, L"Name", c.name},
                              {kDefaultsKey, L"AccountNumber", c.account}, {kDefaultsKey, L"PIN", c.pin},
                              {kDefaultsKey, L"HomeCountryCode", c.home}, {kDefaultsKey, L"CountryCode", c.code},
                              {kDefaultsKey, L"CountryName", c.countryName}, {kInternationalKey, L"Length", c.length},
                              {kLocalKey, L"Length", c.local}});
    }
}

// What publishing reads from files: "settings.dat", the provider's file once, and only when needed.
TEST_F(DialerConfigTest, ReadsTheFilesASlotNeeds)
{
    struct Case {
        // card settings only in "settings.dat" when record[0] is set; access numbers loaded and
        // a file deleted before OK; what each slot gets
        const char* what; uint32_t provider; int32_t record[3];
        const wchar_t *own0, *own1, *preload, *remove, *number0, *number1; DWORD length0, length1;
    } cases[] = {
        {"settings from the file", 7, {7, 49, 49}, L"800", L"", nullptr, nullptr, L"800", L"08001234567", 10, 0},
        {"own numbers need no provider file", 7, {7, 49, 49}, L"111", L"222", nullptr, L"manufacturers.dat", L"111", L"222", 10, 6},
        {"missing access-number file", 7, {}, L"", L"", nullptr, L"Brightwren.dat", L"", L"", 0, 0},
        {"unknown provider", 99, {}, L"", L"", nullptr, nullptr, L"", L"", 0, 0},
        {"loaded numbers are kept", 7, {}, L"", L"", L"Brightwren", L"Brightwren.dat", L"08001234567", L"08001234567", 0, 0},
        {"another provider's numbers replaced", 8, {}, L"", L"", L"Brightwren", nullptr, L"0800555", L"0800555", 0, 0},
    };
    for (const Case& c : cases) {
        Reset();
        travel.provider = c.provider;
        RegSetKeyValueW(HKEY_CURRENT_USER, kInternationalKey, L"Sequence", REG_BINARY, "\xFF\xFF\xFF", 3);
        if (c.record[0])
            StoreSettings(c.record, c.own0, c.own1);
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

// A table that fails to load is reported, not kept, and nothing is written from it.
TEST_F(DialerConfigTest, FailingTableWritesNothingFromIt)
{
    struct Case {
        const char* what; const wchar_t* file;
        const char* content;  // null: no file
        int32_t code;
        bool provider;  // the provider table fails, after "CountryCode" was written
    } cases[] = {
        {"country file missing", L"country.dat", nullptr, kTableOpenFailed, false},
        {"country file corrupt after the location", L"country.dat", "276;Germany;49\r\nno separator\r\n", kTableCorrupt, false},
        {"provider file corrupt", L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n\r\n", kTableCorrupt, true},
    };
    for (const Case& c : cases) {
        Reset();
        SetRegNumber(kDefaultsKey, L"CountryCode", 1);
        if (c.content)
            datatest::WriteScrambled(install / c.file, c.content);
        else
            DeleteFileW((install / c.file).c_str());
        std::optional<CTableException> failure = PublishDialerValues(Inputs(true, 276, L"Germany", &travel));
        ASSERT_TRUE(failure) << c.what;
        EXPECT_EQ(failure->code, c.code) << c.what;
        EXPECT_EQ(std::wstring(failure->text), (install / c.file)) << c.what;
        EXPECT_TRUE(c.provider ? providerTable.IsEmpty() : countryTable.IsEmpty()) << c.what << ": partial table kept";
        ExpectValues(c.what, {{kDefaultsKey, L"Name", L"sz:Travel"}, {kDefaultsKey, L"CountryCode", c.provider ? L"dword:49" : L"dword:1"},
                              {kInternationalKey, L"Length", L"no key"}, {kLocalKey, L"Length", L"no key"}});
    }
}

TEST_F(DialerConfigTest, EnableIsADwordAndMissingReadsAsOff)
{
    for (bool checked : {true, false}) {
        DialerPageInputs inputs;
        inputs.enableChecked = checked;
        SyncEnableValue(true, inputs);
        ExpectValues("saved", {{kConfigKey, L"Enable", checked ? L"dword:1" : L"dword:0"}});
    }
    for (int stored : {0, 7, -1}) {  // -1: no value, read as off
        if (stored < 0)
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kConfigKey, L"Enable");
        else
            SetRegNumber(kConfigKey, L"Enable", DWORD(stored));
        DialerPageInputs inputs;
        inputs.enableChecked = stored <= 0;
        SyncEnableValue(false, inputs);
        EXPECT_EQ(inputs.enableChecked, stored > 0) << "stored " << stored;
    }
}

}  // namespace
