// Publishing the dialer configuration into Wine's registry from fixture database files and stores.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "data/records.h"
#include "data/stores.h"
#include "pages/dialerconfig.h"
#include "data/datatest.h"

namespace {

const wchar_t kRoot[] = L"SOFTWARE\\Kestrova\\Dialpass";
const wchar_t kDefaults[] = L"SOFTWARE\\Kestrova\\Dialpass\\Defaults";
const wchar_t kInternational[] = L"SOFTWARE\\Kestrova\\Dialpass\\International";
const wchar_t kLocal[] = L"SOFTWARE\\Kestrova\\Dialpass\\Local";
const BYTE kSequence0[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0};
const BYTE kSequence1[] = {1, 0, 2, 0, 3, 0};
const wchar_t kShown0[] = L"binary:128 010005050602303004";
const wchar_t kShown1[] = L"binary:128 0100020003";
const wchar_t kZeros[] = L"binary:128 ";

// Pages' inputs are {Card settings opened, selected location, list text, "Enable" checked}.
// "dword:N", "sz:text" (one terminator), "binary:SIZE HEX" (to the last non-zero byte), "-" or "no key".
std::wstring Show(const wchar_t* path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"no key";
    std::vector<BYTE> bytes(1024);
    DWORD type = REG_NONE, size = DWORD(bytes.size());
    LONG error = RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    RegCloseKey(key);
    bytes.resize(size);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), size / 2);
    if (error)
        return L"-";
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

void WriteNumber(const wchar_t* path, const wchar_t* name, DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, path, name, REG_DWORD, &value, 4);
}
void WriteText(const wchar_t* path, const wchar_t* name, const wchar_t* text)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, path, name, REG_SZ, text, DWORD((wcslen(text) + 1) * 2));
}

using Want = std::tuple<const wchar_t*, const wchar_t*, std::wstring>;  // key, value name, as shown
void ExpectValues(const std::string& what, std::initializer_list<Want> wants)
{
    for (const auto& [key, name, shown] : wants)
        EXPECT_EQ(Show(key, name), shown) << what << ": " << key << " " << name;
}

class DialerConfigTest : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        ClearDatabaseTables();
        profileStore.Clear();
        cardSettingsStore.Clear();
    }

    // No configuration and fresh files; the current profile "Travel", account 12345, PIN 9876, home 49.
    void Reset(uint32_t provider = 7, bool withProfile = true)
    {
        for (const wchar_t* key : {kDefaults, kInternational, kLocal})
            RegDeleteKeyW(HKEY_CURRENT_USER, key);
        for (const wchar_t* value : {L"CurrentLocation", L"Enable"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kRoot, value);
        datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n");
        datatest::WriteScrambled(install / L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n8;Quillmoor;Quillmoor Card\r\n");
        datatest::WriteScrambled(install / L"Brightwren.dat",
                                  "44;08081570123; (Freephone)\r\n49;08001234567; (toll free)\r\n49;069123456780;\r\n");
        datatest::WriteScrambled(install / L"Quillmoor.dat", "49;0800555;\r\n");
        DeleteFileW((install / L"settings.dat").c_str());
        TearDown();
        if (!withProfile)
            return;
        ProfileRecord* profile = nullptr;
        uint16_t index = profileStore.AddNew();
        profileStore.Get(index, profile);
        lstrcpyW(profile->name, L"Travel");
        lstrcpyW(profile->account, L"12345");
        lstrcpyW(profile->pin, L"9876");
        profile->provider = provider;
        profile->homeCode = 49;
        profileStore.SetCurrent(index);
    }

    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
};

// Which values each branch writes; values it does not reach keep what they held.
TEST_F(DialerConfigTest, ValuesWrittenForProfileAndLocation)
{
    const wchar_t *travel = L"sz:Travel", *account = L"sz:12345", *pin = L"sz:9876", *home = L"dword:49";
    const wchar_t *earlier = L"sz:Earlier", *none = L"-", *noKey = L"no key";
    struct Case {
        const char* what;
        bool withProfile;
        DWORD stored;
        DialerPageInputs inputs;
        const wchar_t *location, *name, *account, *pin, *home, *code, *countryName, *length, *local;
    } cases[] = {
        {"no profile", false, 0, {true, 276, L"Germany", false}, L"dword:276", none, none, L"sz:1111", none, L"dword:1", earlier, L"dword:5", noKey},
        {"no location", true, 0, {}, none, none, none, L"sz:1111", none, L"dword:1", earlier, L"dword:5", noKey},
        {"page not opened", true, 826, {}, L"dword:826", travel, account, pin, home, L"dword:44", earlier, L"dword:0", L"dword:0"},
        {"nothing selected", true, 826, {true, 0, L"", false}, L"dword:826", travel, account, pin, home, L"dword:44", earlier, L"dword:0", L"dword:0"},
        {"selected, empty list text", true, 826, {true, 40, L"", false}, L"dword:40", travel, account, pin, home, L"dword:43", earlier, L"dword:0", L"dword:0"},
        {"selected with list text", true, 826, {true, 40, L"Austria", false}, L"dword:40", travel, account, pin, home, L"dword:43", L"sz:Austria", L"dword:0", L"dword:0"},
        {"stored location not in country.dat", true, 555, {}, L"dword:555", travel, account, pin, home, L"dword:1", earlier, L"dword:5", noKey},
    };
    for (const Case& c : cases) {
        Reset(7, c.withProfile);
        if (c.stored)
            WriteNumber(kRoot, L"CurrentLocation", c.stored);
        WriteText(kDefaults, L"Name", L"Old card");
        WriteText(kDefaults, L"PIN", L"1111");
        WriteNumber(kDefaults, L"CountryCode", 1);
        WriteText(kDefaults, L"CountryName", L"Earlier");
        WriteNumber(kInternational, L"Length", 5);
        ASSERT_TRUE(PublishDialerConfig(c.inputs)) << c.what;
        ExpectValues(c.what, {{kRoot, L"CurrentLocation", c.location}, {kDefaults, L"Name", c.name},
                              {kDefaults, L"AccountNumber", c.account}, {kDefaults, L"PIN", c.pin},
                              {kDefaults, L"HomeCountryCode", c.home}, {kDefaults, L"CountryCode", c.code},
                              {kDefaults, L"CountryName", c.countryName}, {kInternational, L"Length", c.length},
                              {kLocal, L"Length", c.local}});
    }
}

TEST_F(DialerConfigTest, SlotsTakeTheirOwnNumberElseTheProvidersFirst)
{
    struct Case {
        // Card settings (provider, code, home; provider 0: none), kept only in settings.dat when inFile, with
        // their own numbers; access numbers loaded and a file deleted before OK; what each slot gets.
        const char* what;
        uint32_t provider;
        DWORD location;
        int32_t record[3];
        bool inFile;
        const wchar_t *own0, *own1, *preload, *remove, *number0, *number1;
        DWORD length0, length1;
    } cases[] = {
        {"no card settings: first of two numbers", 7, 276, {}, false, L"", L"", nullptr, nullptr, L"08001234567", L"08001234567", 0, 0},
        {"slot 1 without its own number", 7, 826, {7, 44, 49}, false, L"0800 INT", L"", nullptr, nullptr, L"0800 INT", L"08081570123", 10, 0},
        {"other provider's settings", 7, 826, {8, 44, 49}, false, L"X", L"X", nullptr, nullptr, L"08081570123", L"08081570123", 0, 0},
        {"other location's settings", 7, 826, {7, 49, 49}, false, L"X", L"X", nullptr, nullptr, L"08081570123", L"08081570123", 0, 0},
        {"other home's settings", 7, 826, {7, 44, 44}, false, L"X", L"X", nullptr, nullptr, L"08081570123", L"08081570123", 0, 0},
        {"settings from the file", 7, 826, {7, 44, 49}, true, L"800", L"", nullptr, nullptr, L"800", L"08081570123", 10, 0},
        {"own numbers need no provider file", 7, 276, {7, 49, 49}, false, L"111", L"222", nullptr, L"manufacturers.dat", L"111", L"222", 10, 6},
        {"missing access-number file", 7, 276, {}, false, L"", L"", nullptr, L"Brightwren.dat", L"", L"", 0, 0},
        {"unknown provider", 99, 276, {}, false, L"", L"", nullptr, nullptr, L"", L"", 0, 0},
        {"loaded numbers are kept", 7, 276, {}, false, L"", L"", L"Brightwren", L"Brightwren.dat", L"08001234567", L"08001234567", 0, 0},
        {"another provider's numbers replaced", 8, 276, {}, false, L"", L"", L"Brightwren", nullptr, L"0800555", L"0800555", 0, 0},
    };
    for (const Case& c : cases) {
        Reset(c.provider);
        cardSettingsStore.Load((install / L"settings.dat").c_str());  // no file yet: keeps the path for Save
        RegSetKeyValueW(HKEY_CURRENT_USER, kInternational, L"Sequence", REG_BINARY, "\xFF\xFF\xFF", 3);
        if (c.record[0]) {
            CardSettingsRecord* record = cardSettingsStore.FindOrAdd(c.record[0], c.record[1], c.record[2]);
            CardSettingsStore::SetSequence(*record, 0, kSequence0, sizeof(kSequence0));
            CardSettingsStore::SetSequence(*record, 1, kSequence1, sizeof(kSequence1));
            lstrcpyW(record->accessNumbers[0], c.own0);
            lstrcpyW(record->accessNumbers[1], c.own1);
        }
        if (c.inFile) {
            cardSettingsStore.Save();
            cardSettingsStore.Clear();
        }
        if (c.preload)
            LoadAccessNumberTable(c.preload);
        if (c.remove)
            DeleteFileW((install / c.remove).c_str());
        ASSERT_TRUE(PublishDialerConfig(DialerPageInputs{true, c.location, L"Shown", false})) << c.what;
        ExpectValues(c.what, {{kInternational, L"Length", L"dword:" + std::to_wstring(c.length0)},
                              {kInternational, L"Sequence", c.length0 ? kShown0 : kZeros},
                              {kInternational, L"AccessNumber", L"sz:" + std::wstring(c.number0)},
                              {kLocal, L"Length", L"dword:" + std::to_wstring(c.length1)},
                              {kLocal, L"Sequence", c.length1 ? kShown1 : kZeros},
                              {kLocal, L"AccessNumber", L"sz:" + std::wstring(c.number1)}});
    }
}

// A table that fails to load is reported, not kept, and nothing is written from it.
TEST_F(DialerConfigTest, FailingTableWritesNothingFromIt)
{
    struct Case {
        const char* what;
        const wchar_t* file;
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
        WriteNumber(kDefaults, L"CountryCode", 1);
        if (c.content)
            datatest::WriteScrambled(install / c.file, c.content);
        else
            DeleteFileW((install / c.file).c_str());
        CTableException failure;
        EXPECT_FALSE(PublishDialerConfig(DialerPageInputs{true, 276, L"Germany", false}, &failure)) << c.what;
        EXPECT_EQ(failure.code, c.code) << c.what;
        EXPECT_EQ(std::wstring(failure.text), (install / c.file)) << c.what;
        EXPECT_TRUE(c.provider ? providerTable.IsEmpty() : countryTable.IsEmpty()) << c.what << ": partial table kept";
        ExpectValues(c.what, {{kDefaults, L"Name", L"sz:Travel"}, {kDefaults, L"CountryCode", c.provider ? L"dword:49" : L"dword:1"},
                              {kInternational, L"Length", L"no key"}, {kLocal, L"Length", L"no key"}});
    }
}

TEST_F(DialerConfigTest, EnableIsADwordAndMissingReadsAsOff)
{
    for (bool checked : {true, false}) {
        DialerPageInputs inputs{false, 0, L"", checked};
        SyncEnable(true, inputs);
        ExpectValues("saved", {{kRoot, L"Enable", checked ? L"dword:1" : L"dword:0"}});
    }
    for (DWORD stored : {0, 7}) {
        WriteNumber(kRoot, L"Enable", stored);
        DialerPageInputs inputs{false, 0, L"", stored == 0};
        SyncEnable(false, inputs);
        EXPECT_EQ(inputs.enableChecked, stored != 0) << "stored " << stored;
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRoot, L"Enable");
    DialerPageInputs inputs{false, 0, L"", true};
    SyncEnable(false, inputs);
    EXPECT_FALSE(inputs.enableChecked) << "missing is off";
}

}  // namespace
