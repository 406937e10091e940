// Publishing the dialer configuration into Wine's registry from fixture database files and stores.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/registry.h"
#include "data/records.h"
#include "data/stores.h"
#include "pages/dialerconfig.h"
#include "data/datatest.h"

namespace {

const wchar_t kDefaults[] = L"SOFTWARE\\Kestrova\\Dialpass\\Defaults";
const wchar_t kInternational[] = L"SOFTWARE\\Kestrova\\Dialpass\\International";
const wchar_t kLocal[] = L"SOFTWARE\\Kestrova\\Dialpass\\Local";
const wchar_t kRoot[] = L"SOFTWARE\\Kestrova\\Dialpass";

struct RegData {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    DWORD Number() const
    {
        DWORD value = 0;
        memcpy(&value, bytes.data(), bytes.size() < 4 ? bytes.size() : 4);
        return value;
    }
    std::wstring Text() const
    {
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
};

bool KeyExists(const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

RegData Read(const wchar_t* path, const wchar_t* name)
{
    RegData data;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return data;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &data.type, nullptr, &size) == ERROR_SUCCESS) {
        data.bytes.resize(size);
        data.exists = RegQueryValueExW(key, name, nullptr, &data.type, data.bytes.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return data;
}

void Write(const wchar_t* path, const wchar_t* name, DWORD type, const void* bytes, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size);
    RegCloseKey(key);
}

void WriteNumber(const wchar_t* path, const wchar_t* name, DWORD value)
{
    Write(path, name, REG_DWORD, &value, sizeof(value));
}

void WriteText(const wchar_t* path, const wchar_t* name, const wchar_t* text)
{
    Write(path, name, REG_SZ, text, DWORD((wcslen(text) + 1) * sizeof(wchar_t)));
}

std::wstring Describe(const RegData& data)
{
    if (!data.exists)
        return L"(missing)";
    return L"type " + std::to_wstring(data.type) + L", " + std::to_wstring(data.bytes.size()) + L" bytes";
}

class DialerConfigTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* key : {kDefaults, kInternational, kLocal})
            RegDeleteKeyW(HKEY_CURRENT_USER, key);
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_ALL_ACCESS, &root) == ERROR_SUCCESS) {
            RegDeleteValueW(root, L"CurrentLocation");
            RegDeleteValueW(root, L"Enable");
            RegCloseKey(root);
        }
        datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n40;Austria;43\r\n");
        datatest::WriteScrambled(install / L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n8;Quillmoor;Quillmoor Card\r\n");
        datatest::WriteScrambled(install / L"Brightwren.dat",
                                  "44;08081570123; (Freephone)\r\n49;08001234567; (toll free)\r\n49;069123456780;\r\n");
        datatest::WriteScrambled(install / L"Quillmoor.dat", "49;0800555;\r\n");
        ClearDatabaseTables();
        profileStore.Clear();
        cardSettingsStore.Clear();
    }
    void TearDown() override
    {
        ClearDatabaseTables();
        profileStore.Clear();
        cardSettingsStore.Clear();
    }

    // The current profile: "Travel", provider 7, home Germany (49).
    ProfileRecord* AddProfile(uint32_t provider = 7, uint32_t homeCode = 49)
    {
        ProfileRecord* profile = nullptr;
        uint16_t index = profileStore.AddNew();
        profileStore.Get(index, profile);
        lstrcpyW(profile->name, L"Travel");
        lstrcpyW(profile->account, L"12345");
        lstrcpyW(profile->pin, L"9876");
        profile->provider = provider;
        profile->homeCode = homeCode;
        profile->homeId = 276;
        profileStore.SetCurrent(index);
        return profile;
    }

    DialerPageInputs Selected(DWORD location, const wchar_t* text)
    {
        DialerPageInputs inputs;
        inputs.cardSettingsInitialised = true;
        inputs.selectedLocation = location;
        lstrcpynW(inputs.locationText, text, 260);
        return inputs;
    }

    void ExpectSlot(const wchar_t* key, DWORD length, const std::vector<BYTE>& start, const wchar_t* accessNumber)
    {
        RegData lengthValue = Read(key, L"Length");
        RegData sequence = Read(key, L"Sequence");
        RegData number = Read(key, L"AccessNumber");
        EXPECT_EQ(lengthValue.Number(), length) << key;
        ASSERT_EQ(sequence.bytes.size(), 128u) << key << " " << Describe(sequence);
        EXPECT_EQ(std::vector<BYTE>(sequence.bytes.begin(), sequence.bytes.begin() + start.size()), start) << key;
        for (size_t i = length; i < 128; ++i)
            ASSERT_EQ(sequence.bytes[i], 0) << key << " byte " << i;
        EXPECT_EQ(number.Text(), accessNumber) << key;
    }

    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
};

TEST_F(DialerConfigTest, EveryValueHasItsTypeAndSize)
{
    AddProfile();
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    struct Case {
        const wchar_t* key;
        const wchar_t* name;
        DWORD type;
        size_t size;
    } cases[] = {
        {kRoot, L"CurrentLocation", REG_DWORD, 4},
        {kDefaults, L"Name", REG_SZ, 2 * (6 + 1)},
        {kDefaults, L"AccountNumber", REG_SZ, 2 * (5 + 1)},
        {kDefaults, L"PIN", REG_SZ, 2 * (4 + 1)},
        {kDefaults, L"HomeCountryCode", REG_DWORD, 4},
        {kDefaults, L"CountryCode", REG_DWORD, 4},
        {kDefaults, L"CountryName", REG_SZ, 2 * (7 + 1)},
        {kInternational, L"Length", REG_DWORD, 4},
        {kInternational, L"Sequence", REG_BINARY, 128},
        {kInternational, L"AccessNumber", REG_SZ, 2 * (11 + 1)},
        {kLocal, L"Length", REG_DWORD, 4},
        {kLocal, L"Sequence", REG_BINARY, 128},
        {kLocal, L"AccessNumber", REG_SZ, 2 * (11 + 1)},
    };
    for (const Case& c : cases) {
        RegData data = Read(c.key, c.name);
        EXPECT_TRUE(data.exists && data.type == c.type && data.bytes.size() == c.size)
            << c.key << " " << c.name << ": " << Describe(data);
    }
    EXPECT_EQ(Read(kRoot, L"CurrentLocation").Number(), 276u);
    EXPECT_EQ(Read(kDefaults, L"Name").Text(), L"Travel");
    EXPECT_EQ(Read(kDefaults, L"AccountNumber").Text(), L"12345");
    EXPECT_EQ(Read(kDefaults, L"PIN").Text(), L"9876");
    EXPECT_EQ(Read(kDefaults, L"HomeCountryCode").Number(), 49u);
    EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 49u);
    EXPECT_EQ(Read(kDefaults, L"CountryName").Text(), L"Germany");
}

TEST_F(DialerConfigTest, WithoutProfileOnlyNameIsDeleted)
{
    WriteText(kDefaults, L"Name", L"Old card");
    WriteText(kDefaults, L"PIN", L"1111");
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    EXPECT_EQ(Read(kRoot, L"CurrentLocation").Number(), 276u) << "the page's selection is still stored";
    EXPECT_TRUE(KeyExists(kDefaults));
    EXPECT_FALSE(Read(kDefaults, L"Name").exists);
    EXPECT_EQ(Read(kDefaults, L"PIN").Text(), L"1111");
    EXPECT_FALSE(Read(kDefaults, L"CountryCode").exists);
    EXPECT_FALSE(KeyExists(kInternational));
    EXPECT_FALSE(KeyExists(kLocal));
}

TEST_F(DialerConfigTest, WithoutLocationOnlyNameIsDeleted)
{
    AddProfile();
    WriteText(kDefaults, L"Name", L"Old card");
    WriteNumber(kInternational, L"Length", 6);
    DialerPageInputs notOpened;  // Card settings never opened, nothing stored
    ASSERT_TRUE(PublishDialerConfig(notOpened));
    EXPECT_FALSE(Read(kDefaults, L"Name").exists);
    EXPECT_FALSE(Read(kDefaults, L"AccountNumber").exists);
    EXPECT_FALSE(Read(kRoot, L"CurrentLocation").exists);
    EXPECT_EQ(Read(kInternational, L"Length").Number(), 6u);
    EXPECT_FALSE(KeyExists(kLocal));
}

TEST_F(DialerConfigTest, StoredLocationIsUsedWhenThePageGivesNone)
{
    AddProfile();
    WriteNumber(kRoot, L"CurrentLocation", 826);
    WriteText(kDefaults, L"CountryName", L"Earlier name");
    struct Case {
        const char* what;
        DialerPageInputs inputs;
    } cases[] = {
        {"page not opened", DialerPageInputs()},
        {"page opened, nothing selected", Selected(0, L"")},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(PublishDialerConfig(c.inputs)) << c.what;
        EXPECT_EQ(Read(kRoot, L"CurrentLocation").Number(), 826u) << c.what;
        EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 44u) << c.what;
        EXPECT_EQ(Read(kDefaults, L"CountryName").Text(), L"Earlier name") << c.what;
        EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), L"08081570123") << c.what;
    }
}

TEST_F(DialerConfigTest, CountryNameOnlyFromANonEmptyListText)
{
    AddProfile();
    WriteText(kDefaults, L"CountryName", L"Earlier name");
    ASSERT_TRUE(PublishDialerConfig(Selected(40, L"")));
    EXPECT_EQ(Read(kDefaults, L"CountryName").Text(), L"Earlier name");
    EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 43u);
    ASSERT_TRUE(PublishDialerConfig(Selected(40, L"Austria (shown)")));
    EXPECT_EQ(Read(kDefaults, L"CountryName").Text(), L"Austria (shown)");
}

TEST_F(DialerConfigTest, WithoutCardSettingsBothSlotsTakeTheProvidersFirstNumber)
{
    AddProfile();
    const BYTE junk[128] = {0xFF, 0xFF, 0xFF};
    Write(kInternational, L"Sequence", REG_BINARY, junk, 3);
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    // Two numbers for 49 in the file: the first one in file order.
    ExpectSlot(kInternational, 0, {}, L"08001234567");
    ExpectSlot(kLocal, 0, {}, L"08001234567");
}

TEST_F(DialerConfigTest, ASlotCountsOnlyWithItsOwnAccessNumber)
{
    AddProfile();
    CardSettingsRecord* record = cardSettingsStore.FindOrAdd(7, 44, 49);
    const BYTE international[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0};
    const BYTE local[] = {1, 0, 2, 0, 3, 0};
    CardSettingsStore::SetSequence(*record, 0, international, sizeof(international));
    lstrcpyW(record->accessNumbers[0], L"0800 INT");
    CardSettingsStore::SetSequence(*record, 1, local, sizeof(local));
    ASSERT_TRUE(PublishDialerConfig(Selected(826, L"United Kingdom")));
    ExpectSlot(kInternational, sizeof(international), std::vector<BYTE>(international, international + sizeof(international)),
               L"0800 INT");
    ExpectSlot(kLocal, 0, {}, L"08081570123");
}

TEST_F(DialerConfigTest, CardSettingsAreFoundByTheExactKeyTriple)
{
    AddProfile(7, 49);
    struct Case {
        int32_t provider, code, homeCode;
        const wchar_t* expected;
    } cases[] = {
        {7, 44, 49, L"0800 OWN"},
        {8, 44, 49, L"08081570123"},   // another provider
        {7, 49, 49, L"08081570123"},   // another location
        {7, 44, 44, L"08081570123"},   // another home
    };
    for (const Case& c : cases) {
        cardSettingsStore.Clear();
        CardSettingsRecord* record = cardSettingsStore.FindOrAdd(c.provider, c.code, c.homeCode);
        lstrcpyW(record->accessNumbers[0], L"0800 OWN");
        ASSERT_TRUE(PublishDialerConfig(Selected(826, L"United Kingdom")));
        EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), c.expected)
            << c.provider << "/" << c.code << "/" << c.homeCode;
    }
}

TEST_F(DialerConfigTest, CardSettingsAreReadFromTheFileWhenTheStoreIsEmpty)
{
    AddProfile(7, 49);
    // Header, then provider 7, code 44, home 49; slot 0 "800" with 4 sequence bytes, slot 1 empty.
    std::string file("KDPR\x01\x01\x01\x00", 8);
    const int32_t keys[] = {7, 44, 49};
    file.append(reinterpret_cast<const char*>(keys), sizeof(keys));
    const uint16_t sizes[] = {3, 4};
    file.append(reinterpret_cast<const char*>(sizes), sizeof(sizes));
    file.append(reinterpret_cast<const char*>(L"800"), 6);
    file.append("\x01\x00\x05\x00", 4);
    file.append(4, '\0');
    datatest::WriteBytes(install / L"settings.dat", file);
    ASSERT_TRUE(PublishDialerConfig(Selected(826, L"United Kingdom")));
    ExpectSlot(kInternational, 4, {1, 0, 5, 0}, L"800");
    ExpectSlot(kLocal, 0, {}, L"08081570123");
}

TEST_F(DialerConfigTest, MissingAccessNumberFileGivesEmptyNumbers)
{
    AddProfile();
    DeleteFileW((install / L"Brightwren.dat").c_str());
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    for (const wchar_t* key : {kInternational, kLocal}) {
        RegData number = Read(key, L"AccessNumber");
        EXPECT_TRUE(number.exists && number.type == REG_SZ && number.bytes.size() == 2) << key << " " << Describe(number);
        EXPECT_EQ(Read(key, L"Length").Number(), 0u) << key;
    }
}

TEST_F(DialerConfigTest, UnknownProviderGivesEmptyNumbers)
{
    AddProfile(99, 49);
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), L"");
    EXPECT_EQ(Read(kLocal, L"AccessNumber").Text(), L"");
}

TEST_F(DialerConfigTest, LoadedAccessNumbersAreNotReadAgain)
{
    AddProfile();
    LoadAccessNumberTable(L"Brightwren");
    DeleteFileW((install / L"Brightwren.dat").c_str());  // any read now would fail
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), L"08001234567");
    EXPECT_EQ(Read(kLocal, L"AccessNumber").Text(), L"08001234567");
}

TEST_F(DialerConfigTest, AnotherProvidersNumbersAreReplaced)
{
    AddProfile(8, 49);
    LoadAccessNumberTable(L"Brightwren");
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), L"0800555");
    EXPECT_EQ(std::wstring(accessNumberTable.Path()), (install / L"Quillmoor.dat"));
}

TEST_F(DialerConfigTest, LocationMissingFromCountryFileKeepsEverythingButTheProfile)
{
    AddProfile();
    WriteNumber(kRoot, L"CurrentLocation", 555);
    WriteNumber(kDefaults, L"CountryCode", 1);
    WriteText(kDefaults, L"CountryName", L"Gone");
    WriteNumber(kInternational, L"Length", 5);
    ASSERT_TRUE(PublishDialerConfig(DialerPageInputs()));
    EXPECT_EQ(Read(kDefaults, L"Name").Text(), L"Travel");
    EXPECT_EQ(Read(kDefaults, L"AccountNumber").Text(), L"12345");
    EXPECT_EQ(Read(kDefaults, L"PIN").Text(), L"9876");
    EXPECT_EQ(Read(kDefaults, L"HomeCountryCode").Number(), 49u);
    EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 1u);
    EXPECT_EQ(Read(kDefaults, L"CountryName").Text(), L"Gone");
    EXPECT_EQ(Read(kInternational, L"Length").Number(), 5u);
    EXPECT_FALSE(Read(kInternational, L"Sequence").exists);
    EXPECT_FALSE(KeyExists(kLocal));
}

TEST_F(DialerConfigTest, FailingCountryFileWritesNothingFromIt)
{
    AddProfile();
    WriteNumber(kDefaults, L"CountryCode", 1);
    struct Case {
        const char* what;
        const char* file;  // null: no file
        int32_t code;
    } cases[] = {
        {"missing", nullptr, kTableOpenFailed},
        {"corrupt after the location's line", "276;Germany;49\r\nno separator\r\n", kTableCorrupt},
    };
    for (const Case& c : cases) {
        if (c.file)
            datatest::WriteScrambled(install / L"country.dat", c.file);
        else
            DeleteFileW((install / L"country.dat").c_str());
        CTableException failure;
        EXPECT_FALSE(PublishDialerConfig(Selected(276, L"Germany"), &failure)) << c.what;
        EXPECT_EQ(failure.code, c.code) << c.what;
        EXPECT_EQ(std::wstring(failure.text), (install / L"country.dat")) << c.what;
        EXPECT_TRUE(countryTable.IsEmpty()) << c.what << ": the partial table is not kept";
        EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 1u) << c.what;
        EXPECT_FALSE(KeyExists(kInternational)) << c.what;
        EXPECT_EQ(Read(kDefaults, L"Name").Text(), L"Travel") << c.what;
    }
}

TEST_F(DialerConfigTest, FailingProviderFileWritesNoSlot)
{
    AddProfile();
    datatest::WriteScrambled(install / L"manufacturers.dat", "7;Brightwren;Brightwren Telecard\r\n\r\n");
    CTableException failure;
    EXPECT_FALSE(PublishDialerConfig(Selected(276, L"Germany"), &failure));
    EXPECT_EQ(failure.code, kTableCorrupt);
    EXPECT_TRUE(providerTable.IsEmpty());
    EXPECT_EQ(Read(kDefaults, L"CountryCode").Number(), 49u) << "written before the provider file was needed";
    EXPECT_FALSE(KeyExists(kInternational));
    EXPECT_FALSE(KeyExists(kLocal));
}

TEST_F(DialerConfigTest, SlotsFromTheStoreNeedNoProviderFile)
{
    AddProfile();
    DeleteFileW((install / L"manufacturers.dat").c_str());
    CardSettingsRecord* record = cardSettingsStore.FindOrAdd(7, 49, 49);
    lstrcpyW(record->accessNumbers[0], L"111");
    lstrcpyW(record->accessNumbers[1], L"222");
    ASSERT_TRUE(PublishDialerConfig(Selected(276, L"Germany")));
    EXPECT_EQ(Read(kInternational, L"AccessNumber").Text(), L"111");
    EXPECT_EQ(Read(kLocal, L"AccessNumber").Text(), L"222");
}

TEST_F(DialerConfigTest, EnableIsWrittenAsADwordAndReadBackWithMissingAsOff)
{
    DialerPageInputs inputs;
    for (bool checked : {true, false}) {
        inputs.enableChecked = checked;
        SyncEnable(true, inputs);
        RegData enable = Read(kRoot, L"Enable");
        EXPECT_TRUE(enable.type == REG_DWORD && enable.bytes.size() == 4) << Describe(enable);
        EXPECT_EQ(enable.Number(), checked ? 1u : 0u);
    }
    struct Case {
        bool stored;
        DWORD value;
        bool expected;
    } cases[] = {{false, 0, false}, {true, 0, false}, {true, 1, true}, {true, 7, true}};
    for (const Case& c : cases) {
        HKEY root = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_ALL_ACCESS, &root);
        RegDeleteValueW(root, L"Enable");
        RegCloseKey(root);
        if (c.stored)
            WriteNumber(kRoot, L"Enable", c.value);
        inputs.enableChecked = !c.expected;
        SyncEnable(false, inputs);
        EXPECT_EQ(inputs.enableChecked, c.expected) << "stored " << c.stored << " value " << c.value;
    }
}

}  // namespace
