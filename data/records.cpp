#include "data/records.h"

#include <cstring>
#include <string>

#include "base/path.h"
#include "data/fileset.h"

template class RecordTable<CountryRecord>;
template class RecordTable<OperatorRecord>;
template class RecordTable<ProviderRecord>;
template class RecordTable<AccessNumberRecord>;

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of the digits at p (up to end), moving p past them; 0 when there are none. Most numbers
// of a file are a few digits, which one eight-byte load reads without a branch per digit.
uint32_t ReadDigits(const char*& p, const char* end)
{
    uint32_t value = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end - p >= 8) {
        uint64_t chunk;
        memcpy(&chunk, p, 8);
        uint64_t x = chunk ^ 0x3030303030303030ull;  // the digits become the bytes 0 to 9
        uint64_t other = (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
        if (other) {  // eight digits in a row may go on: the loop below takes them
            unsigned count = unsigned(__builtin_ctzll(other)) / 8;
            if (count == 0)
                return 0;
            uint64_t v = x << (8 * (8 - count));  // the digits alone, as if behind leading zeros
            v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
            v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
            p += count;
            return uint32_t(v * 10000 + (v >> 32));
        }
    }
#endif
    for (unsigned digit; p < end && (digit = unsigned(*p) - '0') <= 9; ++p)
        value = value * 10 + digit;
    return value;
}

// Reads a number as atoi and sscanf's %d do, within [p, end): blanks, an optional sign, digits.
// Returns the value (wrapping modulo 2^32); digits tells whether any digit was read.
int32_t ReadNumber(const char*& p, const char* end, bool& digits)
{
    while (p < end && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const char* first = p;
    uint32_t value = ReadDigits(p, end);
    digits = p != first;
    return int32_t(negative ? 0u - value : value);
}

int32_t Atoi(const char* p, const char* end)
{
    bool digits;
    return ReadNumber(p, end, digits);
}

const char* Find(const char* from, const char* end, char c)
{
    return FindByte(from, end, c);
}

// Copies a text field into a fixed array of width bytes; false when it does not fit with its zero.
bool CopyField(char* field, size_t width, const char* from, const char* to)
{
    size_t n = size_t(to - from);
    if (n >= width)
        return false;
    // Fields are a few bytes: a loop costs less than a call into the C library.
    for (size_t i = 0; i < n; ++i)
        field[i] = from[i];
    field[n] = 0;
    return true;
}

const char kEmptyLine[] = "empty line (every line of a database file is a record)";

} // namespace

const char* CountryRecord::Parse(const char* line, uint32_t length)
{
    const char* end = line + length;
    if (length == 0)
        return kEmptyLine;
    const char* first = Find(line, end, ';');
    if (!first)
        return "no ';' after the id (expected id;name;code)";
    const char* second = Find(first + 1, end, ';');
    if (!second)
        return "no ';' after the name (expected id;name;code)";
    if (!CopyField(name, sizeof(name), first + 1, second))
        return "name longer than 31 bytes";
    id = uint16_t(Atoi(line, end));
    code = uint16_t(Atoi(second + 1, end));
    return nullptr;
}

const char* OperatorRecord::Parse(const char* line, uint32_t length)
{
    const char* end = line + length;
    if (length == 0)
        return kEmptyLine;
    const char* p = line;
    bool digits;
    int32_t first = ReadNumber(p, end, digits);
    if (!digits)
        return "no operator number at the start (expected operator;code;)";
    if (p >= end || *p != ';')
        return "no ';' directly after the operator number (expected operator;code;)";
    ++p;
    int32_t second = ReadNumber(p, end, digits);
    if (!digits)
        return "no country code after the operator number (expected operator;code;)";
    op = first;
    code = second;
    return nullptr;
}

const char* ProviderRecord::Parse(const char* line, uint32_t length)
{
    const char* end = line + length;
    if (length == 0)
        return kEmptyLine;
    const char* first = Find(line, end, ';');
    if (!first)
        return "no ';' after the id (expected id;shortName;displayName)";
    const char* second = Find(first + 1, end, ';');
    if (!second)
        return "no ';' after the short name (expected id;shortName;displayName)";
    if (!CopyField(shortName, sizeof(shortName), first + 1, second))
        return "short name longer than 15 bytes";
    if (!CopyField(displayName, sizeof(displayName), second + 1, end))
        return "display name longer than 59 bytes";
    id = uint16_t(Atoi(line, end));
    return nullptr;
}

const char* AccessNumberRecord::Parse(const char* line, uint32_t length)
{
    const char* end = line + length;
    if (length == 0)
        return kEmptyLine;
    const char* first = Find(line, end, ';');
    if (!first)
        return "no ';' after the country code (expected code;number;[ (description)])";
    const char* second = Find(first + 1, end, ';');
    if (!second)
        return "no ';' after the access number (expected code;number;[ (description)])";
    if (!CopyField(number, sizeof(number), first + 1, second))
        return "access number longer than 19 bytes";
    code = uint16_t(Atoi(line, end));

    // The first blank or tab after the second ";" decides: directly followed by "(" or no description.
    const char* blank = second + 1;
    while (blank < end && *blank != ' ' && *blank != '\t')
        ++blank;
    if (blank + 1 < end && blank[1] == '(') {
        const char* open = blank + 1;
        const char* close = Find(open + 1, end, ')');
        if (!close)
            return "'(' of the description without ')'";
        size_t n = size_t(close - open - 1);
        if (n >= 64)
            return "description longer than 63 bytes";
        char* text = static_cast<char*>(DescriptionPool::Allocate());
        memcpy(text, open + 1, n);
        text[n] = 0;
        DescriptionPool::Release(description);
        description = text;
    }
    return nullptr;
}

CountryRecord* FindCountry(CountryTable& table, uint16_t id)
{
    for (CountryRecord* record = table.Next(true); record; record = table.Next(false)) {
        if (record->id == id)
            return record;
    }
    return nullptr;
}

int32_t FindNetworkCountryCode(OperatorTable& table, int32_t op)
{
    for (OperatorRecord* record = table.Next(true); record; record = table.Next(false)) {
        if (record->op == op)
            return record->code;
    }
    return 0;
}

ProviderRecord* FindProvider(ProviderTable& table, uint16_t id)
{
    for (ProviderRecord* record = table.Next(true); record; record = table.Next(false)) {
        if (record->id == id)
            return record;
    }
    return nullptr;
}

AccessNumberRecord* NextAccessNumber(AccessNumberTable& table, uint16_t code, bool first)
{
    for (AccessNumberRecord* record = table.Next(first); record; record = table.Next(false)) {
        if (record->code == code)
            return record;
    }
    return nullptr;
}

namespace {

// Defined before the tables, so destroyed after them: gives the records' storage back at unload.
struct RecordStorageTrimmer {
    ~RecordStorageTrimmer()
    {
        RecordPool<sizeof(CountryRecord)>::Trim();
        RecordPool<sizeof(OperatorRecord)>::Trim();
        RecordPool<sizeof(ProviderRecord)>::Trim();
        RecordPool<sizeof(AccessNumberRecord)>::Trim();
        AccessNumberRecord::DescriptionPool::Trim();
    }
} recordStorageTrimmer;

} // namespace

CountryTable countryTable;
OperatorTable operatorTable;
ProviderTable providerTable;
AccessNumberTable accessNumberTable;

namespace {

// The set the loaded tables came from, when any was loaded since they were last emptied together.
bool setKnown = false;
uint64_t heldSet = 0;
unsigned generation = 0;

// Empties every table but keep (none when null) and counts a new generation.
void EmptyTablesBut(const void* keep)
{
    if (keep != &countryTable)
        countryTable.Clear();
    if (keep != &operatorTable)
        operatorTable.Clear();
    if (keep != &providerTable)
        providerTable.Clear();
    if (keep != &accessNumberTable)
        accessNumberTable.Clear();
    ++generation;
}

// After table was loaded (whole or not): a load from another set than the one held empties the
// others; the new table stays, as the first of its set.
template <class Table>
void NoteSet(Table& table)
{
    if (!table.SetKnown())
        return;
    if (setKnown && heldSet != table.Set())
        EmptyTablesBut(&table);
    heldSet = table.Set();
    setKnown = true;
}

// Loads table with load, then makes sure it and the tables held come from one set.
template <class Table, class Load>
void LoadOneSet(Table& table, Load load)
{
    try {
        load();
    } catch (const CTableException&) {
        NoteSet(table);
        throw;
    }
    NoteSet(table);
}

template <class Table>
void LoadWhenEmpty(Table& table, const wchar_t* name)
{
    if (!table.IsEmpty())
        return;
    CString* path = GetDataPath(name);
    LoadOneSet(table, [&] { table.Load(path ? path->Text() : nullptr); });
}

} // namespace

void LoadCountryTable()
{
    LoadWhenEmpty(countryTable, L"country.dat");
}

void LoadOperatorTable()
{
    LoadWhenEmpty(operatorTable, L"providers.dat");
}

void LoadProviderTable()
{
    LoadWhenEmpty(providerTable, L"manufacturers.dat");
}

void LoadAccessNumberTable(const wchar_t* shortName)
{
    CString* path = GetDataPath(L"%s.dat", shortName ? shortName : L"");
    if (!path)
        return;
    if (!accessNumberTable.IsEmpty() && !SameName(path->Text(), accessNumberTable.Path()))
        accessNumberTable.Clear();
    // A short name such as "..\x" would name a file outside the installation folder.
    if (!IsPlainFileName(std::wstring(shortName ? shortName : L"") + L".dat"))
        throw CTableException(kTableOpenFailed, path->Text());
    if (accessNumberTable.IsEmpty())
        LoadOneSet(accessNumberTable, [&] { accessNumberTable.Load(path->Text()); });
}

void LoadAccessNumberTable(const char* shortName)
{
    wchar_t wide[16] = {};
    if (shortName) {
        int n = MultiByteToWideChar(CP_ACP, 0, shortName, int(strnlen(shortName, 15)), wide, 15);
        wide[n > 0 ? n : 0] = 0;
    }
    LoadAccessNumberTable(wide);
}

void ClearDatabaseTables()
{
    EmptyTablesBut(nullptr);
    setKnown = false;
}

unsigned DatabaseGeneration()
{
    return generation;
}

void CheckDatabaseSet()
{
    if (!setKnown)
        return;
    CString* path = GetDataPath(nullptr);
    FolderReadHold hold;
    if (path && hold.Take(path->Text(), 0) && hold.Set() != heldSet)
        ClearDatabaseTables();
}

void KeepDatabaseSetAfterOwnWrite(const FolderLock& lock)
{
    if (setKnown && heldSet == lock.FoundSet())
        heldSet = lock.Set();
}

bool DatabaseSetHeldBy(const FolderLock& lock)
{
    return setKnown && lock.Held() && heldSet == lock.Set();
}
