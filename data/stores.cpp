#include "data/stores.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "data/fileset.h"
#include "data/safefile.h"

ProfileStore profileStore;
CardSettingsStore cardSettingsStore;

namespace {

// Takes bytes off the front of a file read whole; false when fewer remain than asked for.
class ByteReader {
public:
    explicit ByteReader(const std::string& bytes) : next(bytes.data()), end(bytes.data() + bytes.size()) {}
    bool Take(void* out, size_t size)
    {
        if (size_t(end - next) < size)
            return false;
        if (size)
            memcpy(out, next, size);
        next += size;
        return true;
    }

private:
    const char* next;
    const char* end;
};

// A store of more records than its 16-bit count can say is not written.
bool TooManyRecords(const wchar_t* path, FileSetError* error)
{
    if (error) {
        *error = FileSetError();
        error->file = path;
        error->what = L"holds more records than the file can";
        error->code = ERROR_FILE_TOO_LARGE;
    }
    return false;
}

void Append(std::string& out, const void* bytes, size_t size)
{
    out.append(static_cast<const char*>(bytes), size);
}

} // namespace

// ---- ProfileStore ----

ProfileStore::~ProfileStore()
{
    Clear();
}

void ProfileStore::Clear()
{
    for (ProfileRecord* record : records)
        delete record;
    records.clear();
}

bool ProfileStore::Load(const wchar_t* path)
{
    lstrcpynW(this->path, path ? path : L"", 260);
    std::string bytes;
    if (!ReadWholeFile(this->path, bytes))
        return false;
    ByteReader in(bytes);
    StoreHeader read;
    if (!in.Take(&read, sizeof(read)))
        return false;
    header = read;
    for (unsigned i = 0; i < header.count; ++i) {
        ProfileRecord* record = records.size() < kMaxStoreRecords ? new (std::nothrow) ProfileRecord() : nullptr;
        if (!record || !in.Take(record, sizeof(ProfileRecord))) {
            delete record;
            return false;
        }
        records.push_back(record);
    }
    return true;
}

bool ProfileStore::Encode(std::string& bytes, FileSetError* error) const
{
    if (records.size() > kMaxStoreRecords)
        return TooManyRecords(path, error);
    StoreHeader written = header;
    written.count = uint16_t(records.size());
    bytes.clear();
    bytes.reserve(sizeof(written) + records.size() * sizeof(ProfileRecord));
    Append(bytes, &written, sizeof(written));
    for (const ProfileRecord* record : records)
        Append(bytes, record, sizeof(ProfileRecord));
    return true;
}

bool ProfileStore::Save(FolderWriter* writer, FileSetError* error)
{
    std::string bytes;
    return Encode(bytes, error) && WriteWholeFile(path, std::move(bytes), error, writer);
}

uint16_t ProfileStore::AddNew()
{
    if (records.size() >= kMaxStoreRecords)
        return uint16_t(kMaxStoreRecords);
    ProfileRecord* record = new (std::nothrow) ProfileRecord();
    if (!record)
        return uint16_t(kMaxStoreRecords);
    records.push_back(record);
    header.count = uint16_t(records.size());
    return uint16_t(records.size() - 1);
}

bool ProfileStore::Get(unsigned index, ProfileRecord*& record) const
{
    if (index >= records.size())
        return false;
    record = records[index];
    return true;
}

bool ProfileStore::Remove(unsigned index)
{
    if (index >= records.size())
        return false;
    delete records[index];
    records.erase(records.begin() + index);
    if (header.count)
        --header.count;
    return true;
}

bool ProfileStore::SetCurrent(unsigned index)
{
    if (index >= records.size())
        return false;
    header.current = uint16_t(index);
    return true;
}

// ---- CardSettingsStore ----

CardSettingsRecord::~CardSettingsRecord()
{
    delete[] sequences[0];
    delete[] sequences[1];
}

CardSettingsStore::~CardSettingsStore()
{
    Clear();
}

void CardSettingsStore::Clear()
{
    for (CardSettingsRecord* record : records)
        delete record;
    records.clear();
}

namespace {

// Reads one settings.dat record; false on a short read or a slot over its limits.
bool ReadCardSettings(ByteReader& in, CardSettingsRecord& record)
{
    int32_t keys[3];
    if (!in.Take(keys, sizeof(keys)))
        return false;
    record.provider = keys[0];
    record.code = keys[1];
    record.homeCode = keys[2];
    for (int slot = 0; slot < 2; ++slot) {
        uint16_t sizes[2];  // n: access number units, m: sequence bytes
        if (!in.Take(sizes, sizeof(sizes)))
            return false;
        if (sizes[0] > kMaxAccessNumberUnits || sizes[1] > kMaxSequenceBytes)
            return false;
        if (!in.Take(record.accessNumbers[slot], sizes[0] * sizeof(wchar_t)))
            return false;
        record.accessNumbers[slot][sizes[0]] = 0;
        record.lengths[slot] = sizes[1];
        if (sizes[1]) {
            record.sequences[slot] = new (std::nothrow) unsigned char[sizes[1]];
            if (!record.sequences[slot] || !in.Take(record.sequences[slot], sizes[1]))
                return false;
        }
    }
    return true;
}

// A slot's sizes as saved: access number units, sequence bytes.
void SlotSizes(const CardSettingsRecord& record, int slot, uint16_t sizes[2])
{
    sizes[0] = uint16_t(wcsnlen(record.accessNumbers[slot], kMaxAccessNumberUnits));
    sizes[1] = record.sequences[slot] ? record.lengths[slot] : 0;
    if (sizes[1] > kMaxSequenceBytes)
        sizes[1] = kMaxSequenceBytes;
}

} // namespace

bool CardSettingsStore::Load(const wchar_t* path)
{
    lstrcpynW(this->path, path ? path : L"", 260);
    std::string bytes;
    if (!ReadWholeFile(this->path, bytes))
        return false;
    ByteReader in(bytes);
    StoreHeader read;
    if (!in.Take(&read, 8))
        return false;
    memcpy(header.magic, read.magic, sizeof(header.magic));
    header.version = read.version;
    header.count = read.count;
    Clear();
    for (unsigned i = 0; i < header.count; ++i) {
        CardSettingsRecord* record = new (std::nothrow) CardSettingsRecord();
        if (!record || !ReadCardSettings(in, *record)) {
            delete record;
            return false;
        }
        records.push_back(record);
    }
    return true;
}

bool CardSettingsStore::Encode(std::string& bytes, FileSetError* error) const
{
    if (records.size() > kMaxStoreRecords)
        return TooManyRecords(path, error);
    StoreHeader written = header;
    written.count = uint16_t(records.size());
    // Sized first: a thousand records grown piece by piece would be copied over and over.
    size_t total = 8;
    for (const CardSettingsRecord* record : records) {
        total += 3 * sizeof(int32_t);
        for (int slot = 0; slot < 2; ++slot) {
            uint16_t sizes[2];
            SlotSizes(*record, slot, sizes);
            total += sizeof(sizes) + sizes[0] * sizeof(wchar_t) + sizes[1];
        }
    }
    bytes.clear();
    bytes.reserve(total);
    Append(bytes, &written, 8);
    for (const CardSettingsRecord* record : records) {
        int32_t keys[3] = {record->provider, record->code, record->homeCode};
        Append(bytes, keys, sizeof(keys));
        for (int slot = 0; slot < 2; ++slot) {
            uint16_t sizes[2];
            SlotSizes(*record, slot, sizes);
            Append(bytes, sizes, sizeof(sizes));
            Append(bytes, record->accessNumbers[slot], sizes[0] * sizeof(wchar_t));
            Append(bytes, record->sequences[slot], sizes[1]);
        }
    }
    return true;
}

bool CardSettingsStore::Save(FolderWriter* writer, FileSetError* error)
{
    std::string bytes;
    return Encode(bytes, error) && WriteWholeFile(path, std::move(bytes), error, writer);
}

bool CardSettingsStore::Find(int32_t provider, int32_t code, int32_t homeCode, CardSettingsRecord*& record)
{
    for (CardSettingsRecord* candidate : records) {
        if (candidate->provider == provider && candidate->code == code && candidate->homeCode == homeCode) {
            record = candidate;
            return true;
        }
    }
    return false;
}

CardSettingsRecord* CardSettingsStore::FindOrAdd(int32_t provider, int32_t code, int32_t homeCode)
{
    CardSettingsRecord* record = nullptr;
    if (Find(provider, code, homeCode, record))
        return record;
    if (records.size() >= kMaxStoreRecords)
        return nullptr;
    record = new (std::nothrow) CardSettingsRecord();
    if (!record)
        return nullptr;
    record->provider = provider;
    record->code = code;
    record->homeCode = homeCode;
    records.push_back(record);
    header.count = uint16_t(records.size());
    return record;
}

void CardSettingsStore::GetSequence(const CardSettingsRecord& record, int slot, unsigned char* buffer,
                                    uint16_t& length)
{
    length = 0;
    if (slot < 0 || slot > 1 || !record.sequences[slot] || !buffer)
        return;
    length = record.lengths[slot] > kMaxSequenceBytes ? uint16_t(kMaxSequenceBytes) : record.lengths[slot];
    memcpy(buffer, record.sequences[slot], length);
}

void CardSettingsStore::SetSequence(CardSettingsRecord& record, int slot, const unsigned char* bytes,
                                    unsigned length)
{
    if (slot < 0 || slot > 1)
        return;
    if (!bytes || length == 0) {
        record.lengths[slot] = 0;
        return;
    }
    if (length > kMaxSequenceBytes)
        length = kMaxSequenceBytes;
    unsigned char* copy = new (std::nothrow) unsigned char[length];
    if (!copy)
        return;
    memcpy(copy, bytes, length);
    delete[] record.sequences[slot];
    record.sequences[slot] = copy;
    record.lengths[slot] = uint16_t(length);
}
