// The record table: the parsed records of one database file, in file order.
#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/datafile.h"

// Record must offer `const char* Parse(const char* line, uint32_t length)`, which returns null when
// the line fits the record format and otherwise a short English text of what is wrong.
template <class Record>
class RecordTable {
public:
    RecordTable() = default;
    ~RecordTable() { Clear(); }
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Null path: nothing. Else keeps the path (259 characters at most), reads and unscrambles the
    // file while holding its folder (HoldDataFolder), notes the set the file belongs to, and appends
    // one record per line. Throws CTableException (code 1 with this path for a bad line, 2 and 3 from
    // HoldDataFolder and ReadDataFile); records before a bad line stay, and so does the set noted.
    void Load(const wchar_t* path)
    {
        if (!path)
            return;
        lstrcpynW(this->path, path, 260);
        DataFileBuffer buffer;
        {
            FolderReadHold hold;
            setKnown = false;
            HoldDataFolder(hold, path);
            set = hold.Set();
            setKnown = true;
            ReadDataFile(buffer, path);
        }
        try {
            ParseBuffer(buffer.data, buffer.size);
        } catch (CTableException& error) {
            if (error.code == kTableCorrupt && !error.text[0])
                lstrcpynW(error.text, this->path, 260);
            throw;
        }
    }

    // Parses unscrambled data, one record per line, appending each; a bad line throws code 1 without
    // text. A zero-byte file is an empty table, not a corrupt one.
    // The lines are those of NextLine and LineLength, found in one pass: the CR that ends a line
    // also gives the start of the next.
    void ParseBuffer(const char* data, uint32_t size)
    {
        if (!data || size == 0)
            return;
        const char* end = data + size;
        for (uint32_t at = 0;;) {
            const char* line = data + at;
            const char* cr = FindByte(line, end, '\r');
            std::unique_ptr<Record> record(new Record());
            if (record->Parse(line, cr ? uint32_t(cr - line) : size - at))
                throw CTableException(kTableCorrupt);  // the record is freed on the way out
            Add(record.release());
            if (!cr)
                return;
            uint32_t next = uint32_t(cr - data) + 1;
            if (next < size && data[next] == '\n')
                ++next;
            if (uint16_t(next) >= size || next >= size)  // the 16-bit rule of NextLine
                return;
            at = next;
        }
    }

    // Appends record; the table owns it from then on.
    void Add(Record* record) { records.push_back(record); }

    // first: the cursor goes to the first record, else one on; the record there, or null past the end.
    Record* Next(bool first)
    {
        if (first)
            cursor = 0;
        else if (cursor < records.size())
            ++cursor;
        return cursor < records.size() ? records[cursor] : nullptr;
    }

    // Frees every record (and what it owns) and empties the table; the path stays.
    void Clear()
    {
        for (Record* record : records)
            delete record;
        records.clear();
        cursor = 0;
        set = 0;
        setKnown = false;
    }

    bool IsEmpty() const { return records.empty(); }
    size_t Count() const { return records.size(); }
    // The path the table was last loaded from (empty before the first Load).
    const wchar_t* Path() const { return path; }
    // The set of files (FolderLock::Set, 0 in a folder never named) of the last Load, when it got
    // as far as holding the folder; not known after Clear.
    bool SetKnown() const { return setKnown; }
    uint64_t Set() const { return set; }

private:
    std::vector<Record*> records;
    wchar_t path[260] = {};
    size_t cursor = 0;
    uint64_t set = 0;
    bool setKnown = false;
};
