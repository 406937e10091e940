// Profile and card settings stores: the user's binary files profiles.dat and
// settings.dat, little-endian, not scrambled. Saves write a new file beside the target and replace
// the target only when the whole store was written, so a failed save leaves the old file intact.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

class FolderWriter;
struct FileSetError;

#pragma pack(push, 1)
// The common header; profiles.dat adds current and reserved (12 bytes), settings.dat stops at count (8).
struct StoreHeader {
    char magic[4] = {'K', 'D', 'P', 'R'};
    uint16_t version = 257;
    uint16_t count = 0;
    uint16_t current = 0;   // profiles.dat only
    uint16_t reserved = 0;  // profiles.dat only
};
#pragma pack(pop)
static_assert(sizeof(StoreHeader) == 12, "profiles.dat header is 12 bytes");

// One card profile: 140 bytes, stored in the file exactly as held in memory.
struct ProfileRecord {
    wchar_t name[32];      // at most 31 characters, zero-terminated
    wchar_t account[16];   // at most 15 characters
    wchar_t pin[16];       // at most 15 characters, as typed
    uint32_t provider;     // id of a ProviderRecord
    uint32_t homeCode;     // country code of the home location
    uint32_t homeId;       // id of the home location's CountryRecord
};
static_assert(sizeof(ProfileRecord) == 140, "a profile record is 140 bytes");

class ProfileStore {
public:
    ProfileStore() = default;
    ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // Keeps the path for Save, then appends the file's records (nothing is emptied first); false
    // when the file is missing, the header is short (header kept) or a record is short (records
    // before it kept).
    bool Load(const wchar_t* path);
    // Writes the header (count = records held) and every record to the path (under writer's lock
    // when given); false and the old file untouched when anything fails, error (when given) says why.
    bool Save(FolderWriter* writer = nullptr, FileSetError* error = nullptr);
    // The file's bytes as Save writes them; false (error says why, when given) for a store too large.
    bool Encode(std::string& bytes, FileSetError* error = nullptr) const;
    // Appends an all-zero record and returns its index; 65,535 (no record added) when the store is full.
    uint16_t AddNew();
    // false when index is not below the number of records.
    bool Get(unsigned index, ProfileRecord*& record) const;
    // Takes record index out (later ones move down) and frees it; the current index stays.
    bool Remove(unsigned index);
    // Sets the current index; false when out of range.
    bool SetCurrent(unsigned index);

    uint16_t Current() const { return header.current; }
    unsigned Count() const { return unsigned(records.size()); }
    const StoreHeader& Header() const { return header; }
    const wchar_t* Path() const { return path; }
    // Frees every record; the header and path stay.
    void Clear();

private:
    wchar_t path[260] = {};
    std::vector<ProfileRecord*> records;
    StoreHeader header;
};

// Settings of one card provider for (current location's country code, home country code).
// Slot 0: international calls; slot 1: local calls at home or home calls from abroad.
struct CardSettingsRecord {
    int32_t provider = 0;
    int32_t code = 0;
    int32_t homeCode = 0;
    uint16_t lengths[2] = {};             // byte length of each slot's sequence; 0 = none
    wchar_t accessNumbers[2][20] = {};    // zero-terminated, at most 19 characters
    unsigned char* sequences[2] = {};     // owned, exactly lengths[slot] bytes, or none

    CardSettingsRecord() = default;
    ~CardSettingsRecord();
    CardSettingsRecord(const CardSettingsRecord&) = delete;
    CardSettingsRecord& operator=(const CardSettingsRecord&) = delete;
};

class CardSettingsStore {
public:
    CardSettingsStore() = default;
    ~CardSettingsStore();
    CardSettingsStore(const CardSettingsStore&) = delete;
    CardSettingsStore& operator=(const CardSettingsStore&) = delete;

    // Keeps the path; a missing file or short header returns false and keeps the records held;
    // otherwise replaces them with the file's. A short record, an access number of 20 or more units or
    // a sequence over 128 bytes returns false and keeps the records read before it.
    bool Load(const wchar_t* path);
    // Writes the 8-byte header (count = records held) and every record (under writer's lock when
    // given); false and the old file untouched when anything fails, error (when given) says why.
    bool Save(FolderWriter* writer = nullptr, FileSetError* error = nullptr);
    bool Encode(std::string& bytes, FileSetError* error = nullptr) const;
    // The first record whose three keys all match, or false.
    bool Find(int32_t provider, int32_t code, int32_t homeCode, CardSettingsRecord*& record);
    // Find, else a new record with these keys and empty slots; null only when 65,535 are held.
    CardSettingsRecord* FindOrAdd(int32_t provider, int32_t code, int32_t homeCode);

    // Copies the slot's sequence into buffer (room for 128 bytes); length 0 when there is none.
    static void GetSequence(const CardSettingsRecord& record, int slot, unsigned char* buffer, uint16_t& length);
    // No bytes or length 0 empties the slot; else a copy of exactly length bytes (128 at most).
    static void SetSequence(CardSettingsRecord& record, int slot, const unsigned char* bytes, unsigned length);

    unsigned Count() const { return unsigned(records.size()); }
    bool IsEmpty() const { return records.empty(); }
    // Record i in list order, or null.
    CardSettingsRecord* At(unsigned index) const { return index < records.size() ? records[index] : nullptr; }
    const StoreHeader& Header() const { return header; }
    const wchar_t* Path() const { return path; }
    // Frees every record and its sequences; the header and path stay.
    void Clear();

private:
    wchar_t path[260] = {};
    std::vector<CardSettingsRecord*> records;
    StoreHeader header;  // only magic, version and count belong to settings.dat
};

// The applet-wide stores, alive while the library is loaded.
extern ProfileStore profileStore;
extern CardSettingsStore cardSettingsStore;

// Size limits of the stores' files.
constexpr unsigned kMaxStoreRecords = 65535;
constexpr unsigned kMaxSequenceBytes = 128;
constexpr unsigned kMaxAccessNumberUnits = 19;
