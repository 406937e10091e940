// Database records: the four record types, their lookups and the applet-wide tables.
// Each Parse takes one line (without its CR; not zero-terminated) and returns null when the line
// fits, else what is wrong. Numbers read like atoi (16-bit fields are cut to 16 bits; digits past
// the 32-bit range wrap around modulo 2^32); text fields are taken byte for byte.
#pragma once
#include <cstdint>

#include "data/recordpool.h"
#include "data/recordtable.h"

// country.dat: id;name;code, for example 1;Germany;49.
struct CountryRecord {
    uint16_t id = 0;
    char name[32] = {};  // at most 31 bytes, zero-terminated
    uint16_t code = 0;   // the country code, for example 49

    const char* Parse(const char* line, uint32_t length);
    DIALPASS_POOLED_RECORD(CountryRecord)
};

// providers.dat: operator;code; read as by sscanf "%d;%d;" (the closing ";" is optional).
struct OperatorRecord {
    int32_t op = 0;    // mobile country code and network code as one number, for example 26201
    int32_t code = 0;  // the country code of the country the operator works in

    const char* Parse(const char* line, uint32_t length);
    DIALPASS_POOLED_RECORD(OperatorRecord)
};

// manufacturers.dat: id;shortName;displayName (the display name runs to the end of the line).
struct ProviderRecord {
    uint16_t id = 0;
    char shortName[16] = {};    // at most 15 bytes; shortName + ".dat" is the access-number file
    char displayName[60] = {};  // at most 59 bytes

    const char* Parse(const char* line, uint32_t length);
    DIALPASS_POOLED_RECORD(ProviderRecord)
};

// The access-number file of a card provider: code;number;[text] (description) — the description is
// there only when the first blank or tab after the second ";" is directly followed by "(".
struct AccessNumberRecord {
    uint16_t code = 0;
    char number[20] = {};          // at most 19 bytes
    char* description = nullptr;   // owned (a DescriptionPool slot), at most 63 bytes and the terminator; or none

    // Descriptions come from pooled slots of the longest one's size: one per line of a long file,
    // where the heap costs more than parsing the line.
    using DescriptionPool = RecordPool<64>;

    AccessNumberRecord() = default;
    ~AccessNumberRecord() { DescriptionPool::Release(description); }
    AccessNumberRecord(const AccessNumberRecord&) = delete;
    AccessNumberRecord& operator=(const AccessNumberRecord&) = delete;

    const char* Parse(const char* line, uint32_t length);
    DIALPASS_POOLED_RECORD(AccessNumberRecord)
};

using CountryTable = RecordTable<CountryRecord>;
using OperatorTable = RecordTable<OperatorRecord>;
using ProviderTable = RecordTable<ProviderRecord>;
using AccessNumberTable = RecordTable<AccessNumberRecord>;
// Made once, in records.cpp (built for speed): every loader of the four tables runs that code.
extern template class RecordTable<CountryRecord>;
extern template class RecordTable<OperatorRecord>;
extern template class RecordTable<ProviderRecord>;
extern template class RecordTable<AccessNumberRecord>;

// Lookups walk the table with Next from its first record; the earliest matching line wins.
// The first country with this id, or null.
CountryRecord* FindCountry(CountryTable& table, uint16_t id);
// Country code of the first operator with this operator code; 0 when there is none.
int32_t FindNetworkCountryCode(OperatorTable& table, int32_t op);
// The first card provider with this id, or null.
ProviderRecord* FindProvider(ProviderTable& table, uint16_t id);
// Access numbers of a country one by one, in file order (the first is the default); null past the last.
AccessNumberRecord* NextAccessNumber(AccessNumberTable& table, uint16_t code, bool first);

// The applet-wide tables, alive while the library is loaded.
extern CountryTable countryTable;
extern OperatorTable operatorTable;
extern ProviderTable providerTable;
extern AccessNumberTable accessNumberTable;

// Load on first use: each loads its file from GetDataPath only while the table is empty.
// All throw CTableException from Load.
void LoadCountryTable();      // "country.dat"
void LoadOperatorTable();     // "providers.dat"
void LoadProviderTable();     // "manufacturers.dat"
// The file shortName + ".dat": a table loaded from another path (compared case-insensitively) is
// cleared first; the table is then loaded when empty. shortName is ANSI text (CP_ACP), 15 bytes at most.
// A short name that is not a plain file name (separators, "..", device names) throws code 2.
void LoadAccessNumberTable(const char* shortName);
// The same with the provider's short name already wide.
void LoadAccessNumberTable(const wchar_t* shortName);
// After an update: empties the four tables so that their next use reads the new files.
void ClearDatabaseTables();

// The tables never combine two sets of database files: a load that finds the folder holding another
// set (FolderLock::Set) than the tables already loaded keeps what it read and empties the others, so
// that their next use reads them from the same set. Each such change (and ClearDatabaseTables)
// counts one more generation: a page that shows table contents refills when it changed.
unsigned DatabaseGeneration();
// Whether the folder of the installation still holds the set the tables came from; when it does not,
// empties the tables (a new generation). Takes the folder's lock for a moment; a folder busy with a
// writer counts as unchanged until the next check. For a page about to be shown.
void CheckDatabaseSet();
// After the applet's own commit in the installation folder under lock: the set it named anew still
// holds the database files that the tables came from (when no one else wrote in between).
void KeepDatabaseSetAfterOwnWrite(const FolderLock& lock);
// Whether lock, still held, is the installation folder's and names the set the tables came from:
// no writer can change that set meanwhile, so CheckDatabaseSet has nothing to find.
bool DatabaseSetHeldBy(const FolderLock& lock);
