// profiles.dat and settings.dat byte for byte, tolerant loading and safe saving.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "data/safefile.h"
#include "data/stores.h"
#include "datatest.h"

using namespace datatest;

namespace {

std::string U16(uint16_t v)
{
    return std::string{char(v & 0xFF), char(v >> 8)};
}

std::string U32(uint32_t v)
{
    return U16(uint16_t(v)) + U16(uint16_t(v >> 16));
}

std::string Wide(const wchar_t* text)
{
    std::string bytes;
    for (; *text; ++text)
        bytes += U16(uint16_t(*text));
    return bytes;
}

std::string ProfileHeader(uint16_t count, uint16_t current = 0, uint16_t reserved = 0, const char* magic = "KDPR",
                          uint16_t version = 257)
{
    return std::string(magic, 4) + U16(version) + U16(count) + U16(current) + U16(reserved);
}

std::string ProfileBytes(const wchar_t* name, const wchar_t* account, const wchar_t* pin, uint32_t provider,
                         uint32_t homeCode, uint32_t homeId)
{
    std::string bytes = Wide(name);
    bytes.resize(64, '\0');
    bytes += Wide(account);
    bytes.resize(96, '\0');
    bytes += Wide(pin);
    bytes.resize(128, '\0');
    return bytes + U32(provider) + U32(homeCode) + U32(homeId);
}

void Fill(ProfileRecord& record, const wchar_t* name, const wchar_t* account, const wchar_t* pin, uint32_t provider,
          uint32_t homeCode, uint32_t homeId)
{
    lstrcpynW(record.name, name, 32);
    lstrcpynW(record.account, account, 16);
    lstrcpynW(record.pin, pin, 16);
    record.provider = provider;
    record.homeCode = homeCode;
    record.homeId = homeId;
}

// ---- profiles.dat ----

TEST(ProfileStore, ANewStoreSavesTheDefaultHeader)
{
    TempDir dir;
    ProfileStore store;
    EXPECT_FALSE(store.Load((dir / L"profiles.dat").c_str()));  // missing: false, path kept
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), ProfileHeader(0));
}

TEST(ProfileStore, RecordsAreStoredByteForByte)
{
    TempDir dir;
    ProfileStore store;
    store.Load((dir / L"profiles.dat").c_str());
    EXPECT_EQ(store.AddNew(), 0);
    EXPECT_EQ(store.AddNew(), 1);
    ProfileRecord* record = nullptr;
    ASSERT_TRUE(store.Get(0, record));
    for (size_t i = 0; i < sizeof(ProfileRecord); ++i)
        ASSERT_EQ(reinterpret_cast<unsigned char*>(record)[i], 0) << "a new record is all zero";
    Fill(*record, L"Business", L"123456789", L"4321", 7, 49, 276);
    ASSERT_TRUE(store.Get(1, record));
    Fill(*record, L"Private \x0160", L"", L"0000", 1, 43, 40);
    EXPECT_TRUE(store.SetCurrent(1));
    EXPECT_FALSE(store.Get(2, record));
    EXPECT_FALSE(store.SetCurrent(2));
    ASSERT_TRUE(store.Save());

    std::string expected = ProfileHeader(2, 1) + ProfileBytes(L"Business", L"123456789", L"4321", 7, 49, 276) +
                           ProfileBytes(L"Private \x0160", L"", L"0000", 1, 43, 40);
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), expected);
    EXPECT_EQ(expected.size(), 12u + 2 * 140);

    ProfileStore again;
    EXPECT_TRUE(again.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(again.Count(), 2u);
    EXPECT_EQ(again.Current(), 1);
    ASSERT_TRUE(again.Get(0, record));
    EXPECT_STREQ(record->name, L"Business");
    EXPECT_EQ(record->homeId, 276u);
}

TEST(ProfileStore, AnEmptyFileKeepsItsCurrentIndexAndReservedField)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", ProfileHeader(0, 5, 0xBEEF)));
    ProfileStore store;
    EXPECT_TRUE(store.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(store.Current(), 5);
    EXPECT_EQ(store.Header().reserved, 0xBEEF);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), ProfileHeader(0, 5, 0xBEEF));
}

TEST(ProfileStore, OtherMagicAndVersionAreWrittenBackUnchanged)
{
    TempDir dir;
    std::string file = ProfileHeader(1, 0, 3, "ABCD", 0x0202) + ProfileBytes(L"X", L"1", L"2", 3, 4, 5);
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", file));
    ProfileStore store;
    EXPECT_TRUE(store.Load((dir / L"profiles.dat").c_str()));
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), file);
}

TEST(ProfileStore, ATruncatedFileKeepsTheWholeRecordsAndTheNextSaveCorrectsTheCount)
{
    TempDir dir;
    std::string file = ProfileHeader(3) + ProfileBytes(L"A", L"", L"", 1, 1, 1) + ProfileBytes(L"B", L"", L"", 2, 2, 2) +
                       std::string(70, 'x');
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", file));
    ProfileStore store;
    EXPECT_FALSE(store.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(store.Count(), 2u);
    EXPECT_EQ(store.Header().count, 3);  // as read, until the next save
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"),
              ProfileHeader(2) + ProfileBytes(L"A", L"", L"", 1, 1, 1) + ProfileBytes(L"B", L"", L"", 2, 2, 2));
}

TEST(ProfileStore, AShortHeaderFailsAndKeepsWhatTheStoreHeld)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", ProfileHeader(0, 4).substr(0, 11)));
    ProfileStore store;
    store.AddNew();
    EXPECT_FALSE(store.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(store.Count(), 1u);
    EXPECT_EQ(store.Current(), 0);
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", ""));
    EXPECT_FALSE(store.Load((dir / L"profiles.dat").c_str()));
}

TEST(ProfileStore, BytesAfterTheLastRecordAreIgnored)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", ProfileHeader(1) + ProfileBytes(L"A", L"", L"", 1, 1, 1) + "tail"));
    ProfileStore store;
    EXPECT_TRUE(store.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(store.Count(), 1u);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), ProfileHeader(1) + ProfileBytes(L"A", L"", L"", 1, 1, 1));
}

TEST(ProfileStore, RemoveMovesLaterRecordsDownAndKeepsTheCurrentIndex)
{
    ProfileStore store;
    for (int i = 0; i < 3; ++i) {
        ProfileRecord* record = nullptr;
        ASSERT_TRUE(store.Get(store.AddNew(), record));
        record->provider = uint32_t(i + 10);
    }
    EXPECT_TRUE(store.SetCurrent(1));
    EXPECT_TRUE(store.Remove(1));
    EXPECT_FALSE(store.Remove(2));
    EXPECT_EQ(store.Count(), 2u);
    EXPECT_EQ(store.Header().count, 2);
    EXPECT_EQ(store.Current(), 1);  // still the old number
    ProfileRecord* record = nullptr;
    ASSERT_TRUE(store.Get(1, record));
    EXPECT_EQ(record->provider, 12u);
}

TEST(ProfileStore, LoadDoesNotEmptyTheStoreFirst)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat", ProfileHeader(1) + ProfileBytes(L"A", L"", L"", 1, 1, 1)));
    ProfileStore store;
    store.AddNew();
    EXPECT_TRUE(store.Load((dir / L"profiles.dat").c_str()));
    EXPECT_EQ(store.Count(), 2u);
}

// ---- settings.dat ----

TEST(CardSettingsStore, TheExampleRecordTakes32Bytes)
{
    TempDir dir;
    CardSettingsStore store;
    EXPECT_FALSE(store.Load((dir / L"settings.dat").c_str()));
    CardSettingsRecord* record = store.FindOrAdd(7, 49, 49);
    ASSERT_NE(record, nullptr);
    const unsigned char sequence[6] = {1, 0, 2, 0, 3, 0};
    CardSettingsStore::SetSequence(*record, 0, sequence, 6);
    lstrcpynW(record->accessNumbers[0], L"800", 20);
    ASSERT_TRUE(store.Save());

    std::string expected = std::string("KDPR", 4) + U16(257) + U16(1) + U32(7) + U32(49) + U32(49) + U16(3) + U16(6) +
                           Wide(L"800") + std::string(reinterpret_cast<const char*>(sequence), 6) + U16(0) + U16(0);
    std::string file = ReadBytes(dir / L"settings.dat");
    EXPECT_EQ(file, expected);
    EXPECT_EQ(file.size(), 8u + 32u);

    CardSettingsStore again;
    EXPECT_TRUE(again.Load((dir / L"settings.dat").c_str()));
    ASSERT_EQ(again.Count(), 1u);
    CardSettingsRecord* read = nullptr;
    ASSERT_TRUE(again.Find(7, 49, 49, read));
    EXPECT_STREQ(read->accessNumbers[0], L"800");
    EXPECT_STREQ(read->accessNumbers[1], L"");
    unsigned char buffer[128];
    uint16_t length = 99;
    CardSettingsStore::GetSequence(*read, 0, buffer, length);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(memcmp(buffer, sequence, 6), 0);
    CardSettingsStore::GetSequence(*read, 1, buffer, length);
    EXPECT_EQ(length, 0);
}

TEST(CardSettingsStore, FindOrAddNeverDuplicatesAKeyTriple)
{
    CardSettingsStore store;
    CardSettingsRecord* first = store.FindOrAdd(1, 49, 49);
    CardSettingsRecord* other = store.FindOrAdd(1, 49, 43);
    EXPECT_NE(first, other);
    EXPECT_EQ(store.FindOrAdd(1, 49, 49), first);
    EXPECT_EQ(store.FindOrAdd(1, 49, 43), other);
    EXPECT_EQ(store.Count(), 2u);
    CardSettingsRecord* found = nullptr;
    EXPECT_FALSE(store.Find(2, 49, 49, found));
    EXPECT_FALSE(store.Find(1, 43, 49, found));
    EXPECT_TRUE(store.Find(1, 49, 43, found));
    EXPECT_EQ(found, other);
}

TEST(CardSettingsStore, SetSequenceCopiesAndLengthZeroEmptiesTheSlot)
{
    CardSettingsStore store;
    CardSettingsRecord* record = store.FindOrAdd(1, 2, 3);
    unsigned char bytes[200];
    for (int i = 0; i < 200; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    CardSettingsStore::SetSequence(*record, 1, bytes, 127);
    bytes[0] = 0xEE;  // a copy, not the caller's bytes
    unsigned char buffer[128];
    uint16_t length = 0;
    CardSettingsStore::GetSequence(*record, 1, buffer, length);
    EXPECT_EQ(length, 127);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[126], 126);

    CardSettingsStore::SetSequence(*record, 1, bytes, 0);
    CardSettingsStore::GetSequence(*record, 1, buffer, length);
    EXPECT_EQ(length, 0);
    CardSettingsStore::SetSequence(*record, 1, bytes, 5);
    CardSettingsStore::SetSequence(*record, 1, nullptr, 5);
    CardSettingsStore::GetSequence(*record, 1, buffer, length);
    EXPECT_EQ(length, 0);

    CardSettingsStore::SetSequence(*record, 0, bytes, 200);  // more than the buffer holds: 128 kept
    CardSettingsStore::GetSequence(*record, 0, buffer, length);
    EXPECT_EQ(length, 128);
}

TEST(CardSettingsStore, AnEmptySlotTakesFourBytesAndReadsBackEmpty)
{
    TempDir dir;
    CardSettingsStore store;
    store.Load((dir / L"settings.dat").c_str());
    store.FindOrAdd(-1, 0, 65536);
    ASSERT_TRUE(store.Save());
    std::string expected =
        std::string("KDPR", 4) + U16(257) + U16(1) + U32(0xFFFFFFFF) + U32(0) + U32(65536) + U32(0) + U32(0);
    EXPECT_EQ(ReadBytes(dir / L"settings.dat"), expected);
    CardSettingsStore again;
    EXPECT_TRUE(again.Load((dir / L"settings.dat").c_str()));
    CardSettingsRecord* record = nullptr;
    ASSERT_TRUE(again.Find(-1, 0, 65536, record));
    EXPECT_EQ(record->lengths[0], 0);
    EXPECT_EQ(record->lengths[1], 0);
    EXPECT_STREQ(record->accessNumbers[1], L"");
}

std::string SettingsRecordBytes(int32_t provider, uint16_t n, uint16_t m, char fill = 'q')
{
    std::string bytes = U32(uint32_t(provider)) + U32(49) + U32(49);
    bytes += U16(n) + U16(m);
    for (uint16_t i = 0; i < n; ++i)
        bytes += U16(uint16_t('0' + i % 10));
    bytes += std::string(m, fill);
    return bytes + U16(0) + U16(0);
}

TEST(CardSettingsStore, LimitsOfASlotEndTheLoadAndKeepEarlierRecords)
{
    TempDir dir;
    std::string header = std::string("KDPR", 4) + U16(257) + U16(2);
    struct Case {
        uint16_t n, m;
        bool loads;
    } cases[] = {{19, 128, true}, {20, 0, false}, {0, 129, false}};
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(dir / L"settings.dat", header + SettingsRecordBytes(1, 1, 1) + SettingsRecordBytes(2, c.n, c.m)));
        CardSettingsStore store;
        EXPECT_EQ(store.Load((dir / L"settings.dat").c_str()), c.loads) << c.n << " " << c.m;
        EXPECT_EQ(store.Count(), c.loads ? 2u : 1u);
        if (c.loads) {
            CardSettingsRecord* record = nullptr;
            ASSERT_TRUE(store.Find(2, 49, 49, record));
            EXPECT_EQ(std::wstring(record->accessNumbers[0]), L"0123456789012345678");
            EXPECT_EQ(record->lengths[0], 128);
        }
    }
}

TEST(CardSettingsStore, TruncatedFilesAtEveryLength)
{
    TempDir dir;
    std::string whole = std::string("KDPR", 4) + U16(257) + U16(2) + SettingsRecordBytes(1, 3, 6) +
                        SettingsRecordBytes(2, 2, 4);
    size_t firstEnd = 8 + SettingsRecordBytes(1, 3, 6).size();
    for (size_t size = 0; size < whole.size(); ++size) {
        ASSERT_TRUE(WriteBytes(dir / L"settings.dat", whole.substr(0, size)));
        CardSettingsStore store;
        store.FindOrAdd(9, 9, 9);  // held before the load
        EXPECT_FALSE(store.Load((dir / L"settings.dat").c_str())) << size;
        if (size < 8) {
            EXPECT_EQ(store.Count(), 1u) << size;  // a short header keeps the records held
        } else {
            EXPECT_EQ(store.Count(), size >= firstEnd ? 1u : 0u) << size;
            CardSettingsRecord* record = nullptr;
            EXPECT_FALSE(store.Find(9, 9, 9, record));
        }
    }
    ASSERT_TRUE(WriteBytes(dir / L"settings.dat", whole + "tail"));
    CardSettingsStore store;
    EXPECT_TRUE(store.Load((dir / L"settings.dat").c_str()));
    EXPECT_EQ(store.Count(), 2u);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"settings.dat"), whole);  // round trip, count as held
}

TEST(CardSettingsStore, AMissingFileKeepsTheRecordsHeldAndSetsThePath)
{
    TempDir dir;
    CardSettingsStore store;
    store.FindOrAdd(1, 2, 3);
    EXPECT_FALSE(store.Load((dir / L"settings.dat").c_str()));
    EXPECT_EQ(store.Count(), 1u);
    EXPECT_TRUE(store.Save());
    EXPECT_TRUE(FileExists(dir / L"settings.dat"));
}

TEST(CardSettingsStore, CountZeroEmptiesTheStore)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"settings.dat", std::string("XXXX", 4) + U16(9) + U16(0)));
    CardSettingsStore store;
    store.FindOrAdd(1, 2, 3);
    EXPECT_TRUE(store.Load((dir / L"settings.dat").c_str()));
    EXPECT_TRUE(store.IsEmpty());
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadBytes(dir / L"settings.dat"), std::string("XXXX", 4) + U16(9) + U16(0));
}

TEST(CardSettingsStore, AnAccessNumberWithoutTerminatorIsSavedWith19Units)
{
    TempDir dir;
    CardSettingsStore store;
    store.Load((dir / L"settings.dat").c_str());
    CardSettingsRecord* record = store.FindOrAdd(1, 1, 1);
    for (int i = 0; i < 20; ++i)
        record->accessNumbers[1][i] = L'9';
    ASSERT_TRUE(store.Save());
    CardSettingsStore again;
    EXPECT_TRUE(again.Load((dir / L"settings.dat").c_str()));
    ASSERT_TRUE(again.Find(1, 1, 1, record));
    EXPECT_EQ(std::wstring(record->accessNumbers[1]), std::wstring(19, L'9'));
}

// ---- saves never lose the old file ----

class FailedSave : public testing::Test {
protected:
    void SetUp() override
    {
        profiles.Load((dir / L"profiles.dat").c_str());
        ProfileRecord* record = nullptr;
        ASSERT_TRUE(profiles.Get(profiles.AddNew(), record));
        Fill(*record, L"Old", L"1", L"2", 3, 4, 5);
        ASSERT_TRUE(profiles.Save());
        settings.Load((dir / L"settings.dat").c_str());
        settings.FindOrAdd(1, 2, 3);
        ASSERT_TRUE(settings.Save());
        oldProfiles = ReadBytes(dir / L"profiles.dat");
        oldSettings = ReadBytes(dir / L"settings.dat");
        // Changes that a failed save must not bring to disk.
        ASSERT_TRUE(profiles.Get(profiles.AddNew(), record));
        Fill(*record, L"New", L"", L"", 0, 0, 0);
        unsigned char sequence[100] = {};
        CardSettingsStore::SetSequence(*settings.FindOrAdd(4, 5, 6), 0, sequence, 100);
    }
    void TearDown() override { SafeFileWriter::SetWriteLimitForTesting(-1); }

    void ExpectOldFilesIntact()
    {
        EXPECT_EQ(ReadBytes(dir / L"profiles.dat"), oldProfiles);
        EXPECT_EQ(ReadBytes(dir / L"settings.dat"), oldSettings);
        EXPECT_FALSE(FileExists(dir / L"profiles.dat.new"));
        EXPECT_FALSE(FileExists(dir / L"settings.dat.new"));
    }

    TempDir dir;
    ProfileStore profiles;
    CardSettingsStore settings;
    std::string oldProfiles, oldSettings;
};

TEST_F(FailedSave, DiskFullPartwayThrough)
{
    for (long long limit : {0ll, 5ll, 8ll, 12ll, 100ll, 147ll}) {  // settings.dat would take 148 bytes
        SafeFileWriter::SetWriteLimitForTesting(limit);
        EXPECT_FALSE(profiles.Save()) << limit;
        EXPECT_FALSE(settings.Save()) << limit;
        ExpectOldFilesIntact();
    }
    SafeFileWriter::SetWriteLimitForTesting(-1);
    EXPECT_TRUE(profiles.Save());
    EXPECT_TRUE(settings.Save());
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat").size(), 12u + 2 * 140);
}

TEST_F(FailedSave, TargetLockedByAnotherProgram)
{
    HANDLE lock = CreateFileW((dir / L"profiles.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(profiles.Save());
    CloseHandle(lock);
    ExpectOldFilesIntact();
}

TEST_F(FailedSave, NewFileCannotBeCreated)
{
    ASSERT_TRUE(CreateDirectoryW((dir / L"settings.dat.new").c_str(), nullptr));
    EXPECT_FALSE(settings.Save());
    EXPECT_EQ(ReadBytes(dir / L"settings.dat"), oldSettings);
    RemoveDirectoryW((dir / L"settings.dat.new").c_str());
}

TEST_F(FailedSave, AStaleNewFileFromAKilledSaveIsReplaced)
{
    ASSERT_TRUE(WriteBytes(dir / L"profiles.dat.new", "half a store"));
    ProfileStore fresh;
    EXPECT_TRUE(fresh.Load((dir / L"profiles.dat").c_str()));  // the old file, not the stale one
    EXPECT_EQ(fresh.Count(), 1u);
    EXPECT_TRUE(profiles.Save());
    EXPECT_FALSE(FileExists(dir / L"profiles.dat.new"));
    EXPECT_EQ(ReadBytes(dir / L"profiles.dat").size(), 12u + 2 * 140);
}

TEST(SafeFileWriter, AbandonedWriterLeavesTheTargetAlone)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"t.bin", "old"));
    {
        SafeFileWriter writer;
        ASSERT_TRUE(writer.Open((dir / L"t.bin").c_str()));
        EXPECT_TRUE(writer.Write("new content", 11));
        EXPECT_TRUE(FileExists(dir / L"t.bin.new"));
    }
    EXPECT_EQ(ReadBytes(dir / L"t.bin"), "old");
    EXPECT_FALSE(FileExists(dir / L"t.bin.new"));
    EXPECT_TRUE(WriteWholeFile((dir / L"t.bin").c_str(), "new", 3));
    EXPECT_EQ(ReadBytes(dir / L"t.bin"), "new");
    SafeFileWriter none;
    EXPECT_FALSE(none.Open(L""));
    EXPECT_FALSE(none.Commit());
}

} // namespace
