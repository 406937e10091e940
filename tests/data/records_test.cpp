// Where data files are, line cutting, the record formats, the table loader and its errors, lookups, applet tables.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "data/datafile.h"
#include "data/records.h"
#include "datatest.h"

using namespace datatest;

namespace {

TEST(GetDataPath, JoinsTheInstallDirAndTheFormattedName)
{
    std::wstring longName(300, L'n');
    // installDir null: the value is absent
    struct Case { const wchar_t *installDir, *format, *argument; std::wstring expected; } cases[] = {
        {L"C:\\Dialpass", L"profiles.dat", nullptr, L"C:\\Dialpass\\profiles.dat"},
        {L"C:\\Dialpass", L"%s.dat", L"Brightwren", L"C:\\Dialpass\\Brightwren.dat"},
        {L"C:\\Dialpass", L"\\profiles.dat", nullptr, L"C:\\Dialpass\\profiles.dat"},
        {L"C:\\Dialpass", nullptr, nullptr, L"C:\\Dialpass"},
        {L"C:\\Dialpass\\", L"profiles.dat", nullptr, L"C:\\Dialpass\\profiles.dat"},
        {L"", L"profiles.dat", nullptr, L"profiles.dat"},
        {nullptr, L"profiles.dat", nullptr, L"profiles.dat"},  // read anew on every call
        {nullptr, nullptr, nullptr, L""},
        {L"C:\\D", L"%s", longName.c_str(), L"C:\\D\\" + std::wstring(255, L'n')},  // the name is cut at 255
    };
    for (const Case& c : cases) {
        InstallDirScope dir(c.installDir);
        CString* path = GetDataPath(c.format, c.argument);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(std::wstring(path->Text()), c.expected) << (c.installDir ? c.installDir : L"<absent>");
    }
}

std::vector<std::string> Lines(const std::string& data)
{
    std::vector<std::string> lines;
    const char* cursor = nullptr;
    while (NextLine(data.data(), uint32_t(data.size()), cursor))
        lines.emplace_back(cursor, LineLength(data.data(), uint32_t(data.size()), cursor));
    return lines;
}

using LineList = std::vector<std::string>;

TEST(NextLine, CutsAtCarriageReturnWithAnOptionalLineFeed)
{
    // (A last line without CR, empty lines between and at the end, and no bytes at all: the whole files below.)
    EXPECT_EQ(Lines("a\rb\rc"), (LineList{"a", "b", "c"}));
    EXPECT_EQ(Lines("a\nb\r\nc"), (LineList{"a\nb", "c"}));   // LF alone belongs to the line
    EXPECT_EQ(Lines("a\r\r\n"), (LineList{"a", ""}));
    EXPECT_EQ(Lines("a\r\n\n"), (LineList{"a", "\n"}));       // only one LF is skipped
    EXPECT_EQ(Lines("\r\n"), (LineList{""}));
    const char* cursor = nullptr;
    EXPECT_FALSE(NextLine(nullptr, 0, cursor));
    // The largest file, 65,535 bytes: a next start of 65,535 is not below the size; 65,534 still starts a line.
    const std::string longest(65533, 'a');
    EXPECT_EQ(Lines(longest + "\r\n"), (LineList{longest}));
    EXPECT_EQ(Lines(longest + "\rb"), (LineList{longest, "b"}));
}

// A read failure's box text (a file too large; codes 1 and 2 are the profile dialog's and the card workflow's), and
// at most 259 characters of path.
TEST(TableError, BoxTextAndAtMost259CharactersOfPath)
{
    const wchar_t* path = L"C:\\D\\country.dat";
    EXPECT_EQ(std::wstring(TableErrorText(CTableException(kTableReadFailed, path))->Text()),
              std::wstring(L"Unable to read file !\n\n") + path);
    EXPECT_EQ(std::wstring(CTableException(1, std::wstring(400, L'p').c_str()).text), std::wstring(259, L'p'));
}

// A record's fields as "a|b|c", or "corrupt" when its parser refuses the line.
std::string Fields(const CountryRecord& r) { return std::to_string(r.id) + "|" + r.name + "|" + std::to_string(r.code); }
std::string Fields(const OperatorRecord& r) { return std::to_string(r.op) + "|" + std::to_string(r.code); }
std::string Fields(const ProviderRecord& r) { return std::to_string(r.id) + "|" + r.shortName + "|" + r.displayName; }
std::string Fields(const AccessNumberRecord& r)
{
    return std::to_string(r.code) + "|" + r.number + "|" + (r.description ? r.description : "<none>");
}

template <class Table>
void Parse(Table& table, const std::string& data) { table.ParseBuffer(data.data(), uint32_t(data.size())); }

template <class Record>
void ExpectLines(std::initializer_list<std::pair<std::string, std::string>> cases)
{
    for (const auto& c : cases) {
        Record record;
        bool parsed = record.Parse(c.first.data(), uint32_t(c.first.size())) == nullptr;
        EXPECT_EQ(parsed ? Fields(record) : "corrupt", c.second) << '"' << c.first << '"';
    }
}

TEST(RecordTypes, GoodAndCorruptLines)
{
    const std::string s15(15, 's'), d59(59, 'd'), d63(63, 'd'), n19(19, '1'), n31(31, 'n');
    ExpectLines<CountryRecord>({
        {"276;Germany;49;extra", "276|Germany|49"},  // anything after the code's digits is ignored
        {"  7;A;  +44x", "7|A|44"},                  // blanks and a sign before numbers
        {"x;Name;y", "0|Name|0"},                    // no digits read as 0
        {"1;A;49:2345678", "1|A|49"},                // ':' follows '9' in ASCII but is no digit
        {"70000;Big;70001", "4464|Big|4465"},        // cut to 16 bits
        {"4294967297;Wrap;1", "1|Wrap|1"},           // past 32 bits the digits wrap around
        {"5; Spaced ;", "5| Spaced |0"},             // text taken as it stands
        {"5;Name\n;1", "5|Name\n|1"},                // LF belongs to the line
        {"1;" + n31 + ";49", "1|" + n31 + "|49"},        // one byte more is dpdb's damaged copy
        {"", "corrupt"}, {"1;Germany", "corrupt"}, {"1,Germany,49", "corrupt"}, {";", "corrupt"},
    });
    ExpectLines<OperatorRecord>({
        {"26201;49;", "26201|49"}, {"26201;49", "26201|49"},  // the closing ";" is not required
        {" 310260;\t1;", "310260|1"},                 // blanks before either number
        {"405025;91;junk", "405025|91"},
        {"-5;+7x", "-5|7"},
        {"1234567;12345678901;", "1234567|-539222987"},  // long lines: digits read eight bytes at a time
        {"12345678;9;padding", "12345678|9"},            // and on one by one past eight, wrapping at 32 bits
        {"9\xB9;49;padding", "corrupt"},                  // a byte above 127 is no digit
        {"", "corrupt"}, {"26201", "corrupt"}, {"26201;", "corrupt"}, {"26201 ;49;", "corrupt"}, {";49;", "corrupt"},
        {"x;49;", "corrupt"}, {"26201;x;", "corrupt"}, {"26201;;49", "corrupt"}, {"-;49;", "corrupt"},
    });
    ExpectLines<ProviderRecord>({
        {"7;Sample;Sample phone card", "7|Sample|Sample phone card"},
        {"2;Quillmoor;Card; Europe", "2|Quillmoor|Card; Europe"},  // the rest of the line is the name
        {"3;" + s15 + ";" + d59, "3|" + s15 + "|" + d59}, {"4;;", "4||"},
        {"3;" + s15 + "s;d", "corrupt"}, {"3;s;" + d59 + "d", "corrupt"}, {"", "corrupt"}, {"7;Sample", "corrupt"},
    });
    ExpectLines<AccessNumberRecord>({
        {"49;800; (toll free)", "49|800|toll free"},
        {"49;800;\t(tab)", "49|800|tab"},
        {"49;226;", "49|226|<none>"},
        {"49;226;(toll free)", "49|226|<none>"},      // no blank before the bracket
        {"49;800; x (free)", "49|800|<none>"},        // the first blank is followed by x
        {"49;800;x (free)", "49|800|free"},           // the first blank is followed by "("
        {"49;800; ()", "49|800|"},
        {"49;800; (a;b) c)", "49|800|a;b"},           // up to the next ")"
        {"49;800; (kostenlos \x80)", "49|800|kostenlos \x80"},
        {"49;800; ", "49|800|<none>"},                // a blank at the end of the line
        {"49;" + n19 + ";", "49|" + n19 + "|<none>"}, {"49;1; (" + d63 + ")", "49|1|" + d63},
        {"49;" + n19 + "1;", "corrupt"}, {"49;1; (" + d63 + "d)", "corrupt"}, {"", "corrupt"}, {"49;800", "corrupt"},
        {"49;800; (open", "corrupt"}, {"49;800; (", "corrupt"},
    });
}

// A record type that counts its live instances and fails on lines that start with "!".
struct CountedRecord {
    static inline int live = 0;
    std::string text;
    CountedRecord() { ++live; }
    ~CountedRecord() { --live; }
    const char* Parse(const char* line, uint32_t length) { return text.assign(line, length)[0] == '!' ? "bad" : nullptr; }
};

TEST(RecordTable, AFailedRecordIsFreedEarlierOnesStayNextWalksThemAndTheEarliestMatchingCountryIsFound)
{
    {
        RecordTable<CountedRecord> table;
        EXPECT_THROW(Parse(table, "a\r\nb\r\n!c\r\nd"), CTableException);
        EXPECT_EQ(CountedRecord::live, 2);  // the failed record is freed, the earlier ones stay
        EXPECT_EQ(table.Next(true)->text, "a");
        EXPECT_EQ(table.Next(false)->text, "b");
        EXPECT_EQ(table.Next(false), nullptr);
        table.Clear();
        EXPECT_EQ(CountedRecord::live, 0);
        EXPECT_EQ(table.Next(true), nullptr);
        Parse(table, "x");  // freed by the destructor
    }
    EXPECT_EQ(CountedRecord::live, 0);
    CountryTable countries;
    Parse(countries, "1;Germany;49\r\n2;Canada;1\r\n3;Jamaica;1\r\n1;Dup;99");
    EXPECT_EQ(FindCountry(countries, 1), countries.Next(true));  // which starts the walk again
    EXPECT_EQ(FindCountry(countries, 9), nullptr);
}

// Whole files through the reader: a failure throws its code (0: none) with the path and keeps earlier records.
TEST(RecordTable, WholeFiles)
{
    TempDir dir;
    std::wstring path = dir / L"providers.dat";
    std::string largest;
    for (int i = 0; i < 5957; ++i)
        largest += "26201;49;\r\n";
    largest += "1111;49;";  // 65,535 bytes, the last line without CR
    struct Case { const char* what; std::string file; int code; size_t count; } cases[] = {  // what, bytes, code, records
        {"last line without CR", "1;49;\r\n2;43;", 0, 2},
        {"corrupt third line", "1;49;\r\n2;43;\r\n3 44\r\n4;1;\r\n", 1, 2},
        {"a field looked for past the line's end", "26201;\r\n49;\r\n", 1, 0},
        {"empty line between", "1;49;\r\n\r\n2;43;\r\n", 1, 1},
        {"empty line at the end", "1;49;\r\n2;43;\r\n\r\n", 1, 2},
        {"zero bytes: an empty table", "", 0, 0},
        {"65,535 bytes", largest, 0, 5958},
        {"65,536 bytes", largest + "\r", 3, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteScrambled(path, c.file));
        OperatorTable table;
        int code = 0;
        try {
            table.Load(path.c_str());
        } catch (const CTableException& error) {
            code = error.code;
            EXPECT_EQ(std::wstring(error.text), path) << c.what;
        }
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(table.Count(), c.count) << c.what;
    }
}

// The access-number file is the provider's short name in the installation folder, never one outside it.
TEST(AppletRecordTables, LoadOnFirstUseAndTheAccessNumberFileByProviderCaseInsensitively)
{
    TempDir dir;
    InstallFolder install(dir.Path());
    CopySample(install.Path());
    ASSERT_TRUE(WriteScrambled(dir / L"Outside.dat", "1;1;\r\n"));
    ClearDatabaseTables();
    auto numbers = [](const char* shortName) {
        return [=] { LoadAccessNumberTable("Brightwren"), LoadAccessNumberTable(shortName); };
    };
    size_t (*countries)() = [] { return countryTable.Count(); }, (*operators)() = [] { return operatorTable.Count(); };
    size_t (*providers)() = [] { return providerTable.Count(); }, (*accessNumbers)() = [] { return accessNumberTable.Count(); };
    // the file changed first (bytes, "-": deleted; none), the load, what it throws (0: nothing), the table's records
    // after it: a table read once is not read again, one that failed is; a short name outside the folder, a device
    // or an absent file empties the table held before.
    struct Step { const wchar_t* file; const char* bytes; std::function<void()> load; int code;
                  size_t (*count)(); size_t records; } steps[] = {
        {nullptr, nullptr, LoadCountryTable, 0, countries, 242},
        {L"country.dat", "1;Only;1\r\n", LoadCountryTable, 0, countries, 242},
        {nullptr, nullptr, LoadOperatorTable, 0, operators, 818},
        {L"providers.dat", "-", LoadOperatorTable, 0, operators, 818},
        {L"manufacturers.dat", "broken\r\n", LoadProviderTable, kTableCorrupt, providers, 0},
        {L"manufacturers.dat", "1;A;B\r\n", LoadProviderTable, 0, providers, 1},
        {nullptr, nullptr, [] { LoadAccessNumberTable("Brightwren"); }, 0, accessNumbers, 4},
        {L"Brightwren.dat", "1;1;\r\n", [] { LoadAccessNumberTable(L"BRIGHTWREN"); }, 0, accessNumbers, 4},
        {nullptr, nullptr, numbers("..\\Outside"), kTableOpenFailed, accessNumbers, 0},
        {nullptr, nullptr, numbers("CON"), kTableOpenFailed, accessNumbers, 0},
        {nullptr, nullptr, numbers("Nobody"), kTableOpenFailed, accessNumbers, 0},
    };
    for (const Step& step : steps) {
        int at = int(&step - steps), code = 0;
        std::wstring path = install / (step.file ? step.file : L"");
        bool changed = !step.file || (step.bytes[0] == '-' ? DeleteFileW(path.c_str()) != 0 : WriteScrambled(path, step.bytes));
        ASSERT_TRUE(changed) << at;
        try {
            step.load();
        } catch (const CTableException& error) {
            code = error.code;
        }
        EXPECT_EQ(code, step.code) << "step " << at;
        EXPECT_EQ(step.count(), step.records) << "step " << at;
    }
    ClearDatabaseTables();
}

} // namespace
