// profiles.dat and settings.dat byte for byte, tolerant loading and safe saving.
#include <gtest/gtest.h>

#include <algorithm>

#include "data/fileset.h"
#include "data/safefile.h"
#include "data/stores.h"
#include "datatest.h"

using namespace datatest;

namespace {

std::string U16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }

// A zero-terminated wide text in a field of units characters (or without terminator when units is 0).
std::string Wide(const wchar_t* text, size_t units = 0)
{
    std::string bytes;
    for (; *text; ++text)
        bytes += U16(uint16_t(*text));
    bytes.resize(std::max(bytes.size(), units * 2), '\0');
    return bytes;
}

std::string ProfileHeader(uint16_t count, uint16_t current = 0, uint16_t reserved = 0, const char* magic = "KDPR")
{
    return std::string(magic, 4) + U16(257) + U16(count) + U16(current) + U16(reserved);
}
std::string ProfileBytes(const wchar_t* name, const wchar_t* account, const wchar_t* pin, uint32_t provider)
{
    return Wide(name, 32) + Wide(account, 16) + Wide(pin, 16) + U32(provider) + U32(49) + U32(276);
}

TEST(ProfileStore, RecordsAreStoredByteForByteAndLoadKeepsWhatItCan)
{
    TempDir dir;
    std::wstring path = dir / L"profiles.dat";
    ProfileStore store;
    EXPECT_FALSE(store.Load(path.c_str()));  // missing: false, path kept
    store.AddNew();
    ProfileRecord* record = nullptr;
    ASSERT_TRUE(store.Get(store.AddNew(), record));  // the second record, by the bytes below
    *record = {L"Private \x0160", L"123456789012345", L"0000", 7, 49, 276};
    EXPECT_TRUE(store.SetCurrent(1));
    EXPECT_FALSE(store.Get(2, record));
    EXPECT_FALSE(store.SetCurrent(2));
    ASSERT_TRUE(store.Save());
    std::string expected = ProfileHeader(2, 1) + std::string(140, '\0') +  // a new record is all zero
                           ProfileBytes(L"Private \x0160", L"123456789012345", L"0000", 7);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_TRUE(store.Remove(0));  // later records move down, the current index stays
    EXPECT_FALSE(store.Remove(1));
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(path), ProfileHeader(1, 1) + expected.substr(12 + 140));

    std::string a = ProfileBytes(L"A", L"", L"", 1), b = ProfileBytes(L"B", L"1", L"2", 2);
    std::string odd = ProfileHeader(1, 5, 0xBEEF, "ABCD") + a;  // every header field is written back as read
    // count: after loading into a store that held one record (nothing is emptied first); saved: by a fresh store
    struct Case { std::string file; bool loads; unsigned count; std::string saved; } cases[] = {
        {odd, true, 2, odd},
        {ProfileHeader(3) + a + b + std::string(70, 'x'), false, 3, ProfileHeader(2) + a + b},  // truncated
        {ProfileHeader(1) + a + "tail", true, 2, ProfileHeader(1) + a},
        {ProfileHeader(0, 4).substr(0, 11), false, 1, ProfileHeader(0)},  // a short header is not taken
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(path, c.file));
        ProfileStore held, alone;
        held.AddNew();
        EXPECT_EQ(held.Load(path.c_str()), c.loads) << c.file.size();
        EXPECT_EQ(held.Count(), c.count) << c.file.size();
        alone.Load(path.c_str());
        ASSERT_TRUE(alone.Save());
        EXPECT_EQ(ReadBytes(path), c.saved) << c.file.size();
    }
}

std::string SettingsHeader(uint16_t count) { return std::string("KDPR", 4) + U16(257) + U16(count); }

std::string SettingsBytes(int32_t provider, uint16_t n, uint16_t m)
{
    std::string bytes = U32(uint32_t(provider)) + U32(49) + U32(49) + U16(n) + U16(m);
    for (uint16_t i = 0; i < n; ++i)
        bytes += U16(uint16_t('0' + i % 10));
    return bytes + std::string(m, 'q') + U16(0) + U16(0);
}

TEST(CardSettingsStore, TheExampleRecordTakes32BytesAndTruncatedAndOverLongFiles)
{
    TempDir dir;
    CardSettingsStore store;
    EXPECT_FALSE(store.Load((dir / L"settings.dat").c_str()));
    const unsigned char sequence[6] = {1, 0, 2, 0, 3, 0};
    CardSettingsRecord* example = store.FindOrAdd(7, 49, 49);
    CardSettingsStore::SetSequence(*example, 0, sequence, 6);
    lstrcpyW(example->accessNumbers[0], L"800");
    CardSettingsRecord* other = store.FindOrAdd(-1, 0, 65536);
    std::fill(std::begin(other->accessNumbers[1]), std::end(other->accessNumbers[1]), L'9');  // saved as 19 units
    EXPECT_EQ(store.FindOrAdd(7, 49, 49), example);  // never a second record for a key triple
    EXPECT_FALSE(store.Find(7, 49, 43, other));
    ASSERT_TRUE(store.Save());
    std::string bytes = U32(7) + U32(49) + U32(49) + U16(3) + U16(6) + Wide(L"800") +
                        std::string(reinterpret_cast<const char*>(sequence), 6) + U16(0) + U16(0);
    std::string file = SettingsHeader(2) + bytes + U32(0xFFFFFFFF) + U32(0) + U32(65536) + U32(0) + U16(19) +
                       U16(0) + Wide(std::wstring(19, L'9').c_str());
    EXPECT_EQ(ReadBytes(dir / L"settings.dat"), file);
    // (Sequences read back by slot are the dialer configuration's case.)
    unsigned char big[200] = {};
    CardSettingsStore::SetSequence(*example, 1, big, 200);  // at most 128 bytes are kept
    EXPECT_EQ(example->lengths[1], 128);
    CardSettingsStore::SetSequence(*example, 1, nullptr, 5);  // no bytes: emptied
    EXPECT_EQ(example->lengths[1], 0);

    std::string first = SettingsBytes(1, 3, 6), whole = SettingsHeader(2) + first + SettingsBytes(2, 19, 128);
    for (size_t size = 0; size <= whole.size(); ++size) {
        ASSERT_TRUE(WriteBytes(dir / L"settings.dat", whole.substr(0, size)));
        CardSettingsStore store;
        store.FindOrAdd(9, 9, 9);  // held before the load: kept only when the header is short
        EXPECT_EQ(store.Load((dir / L"settings.dat").c_str()), size == whole.size()) << size;
        EXPECT_EQ(store.Count(), size < 8 ? 1u : size < 8 + first.size() ? 0u : size < whole.size() ? 1u : 2u)
            << size;
    }
    // count: the record held before the load is dropped
    struct Case { const char* what; std::string file; bool loads; unsigned count; } cases[] = {
        {"an access number of 20 units", SettingsHeader(2) + first + SettingsBytes(2, 20, 0), false, 1},
        {"a sequence of 129 bytes", SettingsHeader(2) + first + SettingsBytes(2, 0, 129), false, 1},
        {"bytes after the last record", whole + "tail", true, 2},
        {"count zero", std::string("XXXX", 4) + U16(9) + U16(0), true, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(dir / L"settings.dat", c.file));
        CardSettingsStore store;
        store.FindOrAdd(9, 9, 9);
        EXPECT_EQ(store.Load((dir / L"settings.dat").c_str()), c.loads) << c.what;
        EXPECT_EQ(store.Count(), c.count) << c.what;
        ASSERT_TRUE(store.Save());
        EXPECT_EQ(ReadBytes(dir / L"settings.dat"), c.loads ? c.file.substr(0, whole.size()) : SettingsHeader(1) + first)
            << c.what;
    }
}

// Saves that fail for want of room leave the old file and say which file and the system's reason (for the message
// of OK); the changes are still held and saved whole once the disk has room. (The file set's tests show the rest.)
TEST(StoreSave, AFailedSaveLeavesTheOldFileIntact)
{
    TempDir dir;
    ProfileStore profiles;
    CardSettingsStore settings;
    profiles.Load((dir / L"profiles.dat").c_str());
    settings.Load((dir / L"settings.dat").c_str());
    profiles.AddNew();
    settings.FindOrAdd(1, 2, 3);
    ASSERT_TRUE(profiles.Save());
    ASSERT_TRUE(settings.Save());
    profiles.AddNew();  // changes that a failed save must not bring to disk
    unsigned char sequence[100] = {};
    CardSettingsStore::SetSequence(*settings.FindOrAdd(4, 5, 6), 0, sequence, 100);
    auto failThenSave = [&](auto& store, const wchar_t* name, size_t size) {
        std::string old = ReadBytes(dir / name);
        FileSetError error;
        SafeFileWriter::SetWriteLimitForTesting(147);  // settings.dat would take 148 bytes, profiles.dat more
        EXPECT_FALSE(store.Save(nullptr, &error));
        SafeFileWriter::SetWriteLimitForTesting(-1);
        EXPECT_EQ(ToUtf8(error.file), ToUtf8(dir / name));
        EXPECT_EQ(error.code, DWORD(ERROR_DISK_FULL)) << ToUtf8(name);
        EXPECT_EQ(ReadBytes(dir / name), old);
        EXPECT_TRUE(store.Save());
        EXPECT_EQ(ReadBytes(dir / name).size(), size);
    };
    failThenSave(profiles, L"profiles.dat", 12 + 2 * 140);
    failThenSave(settings, L"settings.dat", 148);
}

} // namespace
