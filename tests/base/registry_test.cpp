#include <gtest/gtest.h>

#include <string>

#include "base/registry.h"
#include "base/collector.h"

namespace {

// Each test starts with no key.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
    void Store(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data, size), ERROR_SUCCESS);
    }

    const std::wstring path = L"SOFTWARE\\Kestrova\\RegistryTest";
};

// (Reading a value of a key that failed to open is the missing value's case below.)
TEST_F(RegistryTest, CreatesTheKeyOrOpensTheRootAndAFailedOneReportsWrites)
{
    CRegKey created(HKEY_CURRENT_USER, path.c_str()), root(HKEY_CURRENT_USER, L"");  // "": the root itself
    EXPECT_EQ(created.Error(), ERROR_SUCCESS);
    EXPECT_EQ(root.Error(), ERROR_SUCCESS);
    EXPECT_NE(root.Handle(), nullptr);
    EXPECT_TRUE(created.Close());
    EXPECT_EQ(created.Handle(), nullptr);
    // Below a handle that is no key nothing is created: the key stays closed.
    CRegKey broken(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x8000DEAD)), L"Nowhere");
    EXPECT_NE(broken.Error(), ERROR_SUCCESS);
    EXPECT_EQ(broken.Handle(), nullptr);
    CRegValue value = broken.Value("Enable");
    value.SetNumber(1);
    EXPECT_NE(value.Error(), ERROR_SUCCESS);
}

// Texts are stored with their terminator. (Read back through Wine, which adds a missing one, the published
// values would not show it; numbers, Exists and Delete are the publishing tests' cases.)
TEST_F(RegistryTest, ValuesReadWithTheirDefaultsAndTextsAreStoredWithTheirTerminator)
{
    const wchar_t twoCharacters[] = L"ab";
    Store(L"Text", REG_SZ, twoCharacters, sizeof(twoCharacters));
    DWORD number = 0x12345678;
    Store(L"Number", REG_DWORD, &number, sizeof(number));
    Store(L"FourBytes", REG_BINARY, "\x01\x02\x03\x04", 4);
    struct Case { const char* name; bool read; DWORD value; LONG error; } cases[] = {
        {"Missing", false, 77, ERROR_FILE_NOT_FOUND},
        {"Text", false, 77, ERROR_MORE_DATA},
        {"Number", true, 0x12345678, ERROR_SUCCESS},
        {"FourBytes", true, 0x04030201, ERROR_SUCCESS},
    };
    CRegKey key(HKEY_CURRENT_USER, path.c_str());
    for (const Case& c : cases) {
        CRegValue value = key.Value(c.name);
        DWORD out = 0;
        EXPECT_EQ(value.GetNumber(out, 77), c.read) << c.name;
        EXPECT_EQ(out, c.value) << c.name;
        EXPECT_EQ(value.Error(), c.error) << c.name;
    }
    EXPECT_EQ(key.Value("Missing").GetNumber(), 0u);
    // A temporary text takes up to 511 characters.
    std::wstring fits(511, L'a'), tooLong(512, L'b');
    Store(L"Fits", REG_SZ, fits.c_str(), DWORD((fits.size() + 1) * 2));
    Store(L"TooLong", REG_SZ, tooLong.c_str(), DWORD((tooLong.size() + 1) * 2));
    EXPECT_EQ(std::wstring(key.Value("Fits").GetTextTemp()->Text()), fits);
    EXPECT_STREQ(key.Value("TooLong").GetTextTemp()->Text(), L"");
    EXPECT_STREQ(key.Value("Missing").GetTextTemp()->Text(), L"");
    wchar_t buffer[8];
    EXPECT_FALSE(key.Value("Missing").GetText(buffer, 8, L"default"));
    EXPECT_STREQ(buffer, L"default");
    garbageCollector.Collect();
    key.Value("Empty").SetText(L"");
    key.Value("Name").SetText(L"Card");
    struct Stored { const wchar_t* name; DWORD size; } stored[] = {{L"Empty", 2}, {L"Name", 10}};
    for (const Stored& c : stored) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExW(key.Handle(), c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(type, DWORD(REG_SZ)) << c.name;
        EXPECT_EQ(size, c.size) << c.name;
    }
}

} // namespace
