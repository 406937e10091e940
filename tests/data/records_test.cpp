// The four record formats, the loader, tables, lookups and the applet-wide tables.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "data/records.h"
#include "datatest.h"

using namespace datatest;

namespace {

template <class Record>
const char* Parse(Record& record, const std::string& line)
{
    return record.Parse(line.data(), uint32_t(line.size()));
}

// ---- country.dat ----

TEST(CountryRecord, GoodLines)
{
    struct Case {
        const char* line;
        uint16_t id;
        const char* name;
        uint16_t code;
    } cases[] = {
        {"1;Germany;49", 1, "Germany", 49},
        {"1;Nowhere;0", 1, "Nowhere", 0},
        {"276;Germany;49;extra", 276, "Germany", 49},     // anything after the code's digits is ignored
        {"  7;A;  +44x", 7, "A", 44},                     // blanks and a sign before numbers
        {"x;Name;y", 0, "Name", 0},                       // no digits read as 0
        {"70000;Big;70001", 4464, "Big", 4465},           // cut to 16 bits
        {"-1;Minus;-2", 65535, "Minus", 65534},
        {"5;;1", 5, "", 1},
        {"5; Spaced ;1", 5, " Spaced ", 1},               // text taken as it stands
        {"5;Name;", 5, "Name", 0},
        {"5;Name\n;1", 5, "Name\n", 1},                   // LF belongs to the line
        {"4294967297;Wrap;1", 1, "Wrap", 1},              // past 32 bits the digits wrap around
    };
    for (const Case& c : cases) {
        CountryRecord record;
        EXPECT_EQ(Parse(record, c.line), nullptr) << c.line;
        EXPECT_EQ(record.id, c.id) << c.line;
        EXPECT_STREQ(record.name, c.name) << c.line;
        EXPECT_EQ(record.code, c.code) << c.line;
    }
}

TEST(CountryRecord, NameOf31BytesFits32DoNot)
{
    CountryRecord record;
    EXPECT_EQ(Parse(record, "1;" + std::string(31, 'n') + ";49"), nullptr);
    EXPECT_EQ(std::string(record.name), std::string(31, 'n'));
    CountryRecord longer;
    EXPECT_NE(Parse(longer, "1;" + std::string(32, 'n') + ";49"), nullptr);
}

TEST(CountryRecord, CorruptLines)
{
    const char* cases[] = {"", "1", "1;Germany", "Germany", "1,Germany,49", ";"};
    for (const char* line : cases) {
        CountryRecord record;
        EXPECT_NE(Parse(record, line), nullptr) << '"' << line << '"';
    }
}

// ---- providers.dat ----

TEST(OperatorRecord, GoodLines)
{
    struct Case {
        const char* line;
        int32_t op;
        int32_t code;
    } cases[] = {
        {"26201;49;", 26201, 49},
        {"26201;49", 26201, 49},          // the closing ";" is not required
        {" 310260; 1;", 310260, 1},       // blanks before either number
        {"405025;91;junk", 405025, 91},
        {"-5;+7;", -5, 7},
        {"1;2x", 1, 2},
        {"\t12;\t34;", 12, 34},
    };
    for (const Case& c : cases) {
        OperatorRecord record;
        EXPECT_EQ(Parse(record, c.line), nullptr) << c.line;
        EXPECT_EQ(record.op, c.op) << c.line;
        EXPECT_EQ(record.code, c.code) << c.line;
    }
}

TEST(OperatorRecord, CorruptLines)
{
    const char* cases[] = {"", "26201", "26201;", "26201 ;49;", ";49;", "x;49;", "26201;x;", "26201;;49", "-;49;",
                           "26201,49;"};
    for (const char* line : cases) {
        OperatorRecord record;
        EXPECT_NE(Parse(record, line), nullptr) << '"' << line << '"';
    }
}

TEST(OperatorRecord, TheSecondNumberIsLookedForOnlyWithinTheLine)
{
    std::string data = "26201;\r\n49;";
    OperatorTable table;
    EXPECT_THROW(table.ParseBuffer(data.data(), uint32_t(data.size())), CTableException);
    EXPECT_TRUE(table.IsEmpty());
}

// ---- manufacturers.dat ----

TEST(ProviderRecord, GoodLines)
{
    ProviderRecord record;
    EXPECT_EQ(Parse(record, "7;Sample;Sample phone card"), nullptr);
    EXPECT_EQ(record.id, 7);
    EXPECT_STREQ(record.shortName, "Sample");
    EXPECT_STREQ(record.displayName, "Sample phone card");

    ProviderRecord semicolons;
    EXPECT_EQ(Parse(semicolons, "2;Quillmoor;Quillmoor Calling Card; Europe & Americas"), nullptr);
    EXPECT_STREQ(semicolons.displayName, "Quillmoor Calling Card; Europe & Americas");

    ProviderRecord widest;
    EXPECT_EQ(Parse(widest, "3;" + std::string(15, 's') + ";" + std::string(59, 'd')), nullptr);
    EXPECT_EQ(std::string(widest.shortName), std::string(15, 's'));
    EXPECT_EQ(std::string(widest.displayName), std::string(59, 'd'));

    ProviderRecord empty;
    EXPECT_EQ(Parse(empty, "4;;"), nullptr);
    EXPECT_STREQ(empty.shortName, "");
    EXPECT_STREQ(empty.displayName, "");
}

TEST(ProviderRecord, CorruptLines)
{
    std::string cases[] = {"", "7", "7;Sample", "7;" + std::string(16, 's') + ";x", "7;s;" + std::string(60, 'd')};
    for (const std::string& line : cases) {
        ProviderRecord record;
        EXPECT_NE(Parse(record, line), nullptr) << '"' << line << '"';
    }
}

// ---- access-number files ----

TEST(AccessNumberRecord, DescriptionRule)
{
    struct Case {
        const char* line;
        uint16_t code;
        const char* number;
        const char* description;  // null: none
    } cases[] = {
        {"49;800; (toll free)", 49, "800", "toll free"},
        {"49;226;", 49, "226", nullptr},
        {"49;226;(toll free)", 49, "226", nullptr},       // no blank before the bracket
        {"49;800;\t(tab)", 49, "800", "tab"},
        {"49;800; x (free)", 49, "800", nullptr},         // the first blank is followed by x
        {"49;800;x (free)", 49, "800", "free"},           // the first blank is followed by "("
        {"49;800;  (two blanks)", 49, "800", nullptr},
        {"49;800; ()", 49, "800", ""},
        {"49;800; (a) b)", 49, "800", "a"},               // up to the next ")"
        {"49;800; (kostenlos \x80)", 49, "800", "kostenlos \x80"},
        {"49;800; ", 49, "800", nullptr},                 // a blank at the end of the line
        {"49;800;x", 49, "800", nullptr},
        {"1;555;\t(a;b)", 1, "555", "a;b"},
    };
    for (const Case& c : cases) {
        AccessNumberRecord record;
        EXPECT_EQ(Parse(record, c.line), nullptr) << c.line;
        EXPECT_EQ(record.code, c.code) << c.line;
        EXPECT_STREQ(record.number, c.number) << c.line;
        if (c.description) {
            ASSERT_NE(record.description, nullptr) << c.line;
            EXPECT_STREQ(record.description, c.description) << c.line;
        } else {
            EXPECT_EQ(record.description, nullptr) << c.line;
        }
    }
}

TEST(AccessNumberRecord, Widths)
{
    AccessNumberRecord number19;
    EXPECT_EQ(Parse(number19, "49;" + std::string(19, '1') + ";"), nullptr);
    AccessNumberRecord number20;
    EXPECT_NE(Parse(number20, "49;" + std::string(20, '1') + ";"), nullptr);
    AccessNumberRecord description63;
    EXPECT_EQ(Parse(description63, "49;1; (" + std::string(63, 'd') + ")"), nullptr);
    ASSERT_NE(description63.description, nullptr);
    EXPECT_EQ(strlen(description63.description), 63u);
    AccessNumberRecord description64;
    EXPECT_NE(Parse(description64, "49;1; (" + std::string(64, 'd') + ")"), nullptr);
    EXPECT_EQ(description64.description, nullptr);
}

TEST(AccessNumberRecord, CorruptLines)
{
    const char* cases[] = {"", "49", "49;800", "49;800; (open", "49;800; (", ";"};
    for (const char* line : cases) {
        AccessNumberRecord record;
        EXPECT_NE(Parse(record, line), nullptr) << '"' << line << '"';
    }
}

TEST(AccessNumberRecord, TheClosingBracketIsLookedForOnlyWithinTheLine)
{
    std::string data = "49;800; (open\r\n)\r\n";
    AccessNumberTable table;
    EXPECT_THROW(table.ParseBuffer(data.data(), uint32_t(data.size())), CTableException);
}

// ---- tables ----

// A record type that counts its live instances and fails on lines that start with "!".
struct CountedRecord {
    static int live;
    std::string text;
    CountedRecord() { ++live; }
    ~CountedRecord() { --live; }
    const char* Parse(const char* line, uint32_t length)
    {
        text.assign(line, length);
        return length && line[0] == '!' ? "bad" : nullptr;
    }
};
int CountedRecord::live = 0;

TEST(RecordTable, ARecordWhoseParseFailsIsFreedAndEarlierRecordsStay)
{
    TempDir dir;
    ASSERT_TRUE(WriteScrambled(dir / L"t.dat", "a\r\nb\r\n!c\r\nd\r\n"));
    {
        RecordTable<CountedRecord> table;
        try {
            table.Load((dir / L"t.dat").c_str());
            FAIL() << "no exception";
        } catch (const CTableException& error) {
            EXPECT_EQ(error.code, 1);
            EXPECT_EQ(std::wstring(error.text), dir / L"t.dat");
        }
        EXPECT_EQ(table.Count(), 2u);
        EXPECT_EQ(CountedRecord::live, 2);
        EXPECT_EQ(table.Next(true)->text, "a");
        EXPECT_EQ(table.Next(false)->text, "b");
        EXPECT_EQ(table.Next(false), nullptr);
        table.Clear();
        EXPECT_EQ(CountedRecord::live, 0);
        EXPECT_EQ(std::wstring(table.Path()), dir / L"t.dat");  // the path stays
    }
    EXPECT_EQ(CountedRecord::live, 0);
}

TEST(RecordTable, NextWalksInFileOrder)
{
    std::string data = "a\r\nb\r\nc";
    RecordTable<CountedRecord> table;
    table.ParseBuffer(data.data(), uint32_t(data.size()));
    EXPECT_EQ(table.Next(true)->text, "a");
    EXPECT_EQ(table.Next(true)->text, "a");  // twice with first = true: both the first record
    EXPECT_EQ(table.Next(false)->text, "b");
    EXPECT_EQ(table.Next(false)->text, "c");
    EXPECT_EQ(table.Next(false), nullptr);
    EXPECT_EQ(table.Next(false), nullptr);
    EXPECT_EQ(table.Next(true)->text, "a");
    RecordTable<CountedRecord> empty;
    EXPECT_EQ(empty.Next(true), nullptr);
    EXPECT_EQ(empty.Next(false), nullptr);
}

TEST(RecordTable, LoadWithANullPathDoesNothing)
{
    std::string data = "a";
    RecordTable<CountedRecord> table;
    table.ParseBuffer(data.data(), 1);
    EXPECT_NO_THROW(table.Load(nullptr));
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_STREQ(table.Path(), L"");
}

TEST(RecordTable, LoadAppendsAndKeepsDuplicates)
{
    TempDir dir;
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat", "1;A;10\r\n1;B;20\r\n"));
    CountryTable table;
    table.Load((dir / L"country.dat").c_str());
    table.Load((dir / L"country.dat").c_str());  // loading never empties first
    EXPECT_EQ(table.Count(), 4u);
    EXPECT_EQ(FindCountryCode(table, 1), 10);   // the earlier line wins
}

TEST(RecordTable, MissingFileGivesCodeTwoAndAnEmptyTable)
{
    TempDir dir;
    CountryTable table;
    try {
        table.Load((dir / L"country.dat").c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 2);
        EXPECT_EQ(std::wstring(error.text), dir / L"country.dat");
    }
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(std::wstring(table.Path()), dir / L"country.dat");
}

TEST(RecordTable, ZeroByteFileIsACorruptFile)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"country.dat", ""));
    CountryTable table;
    try {
        table.Load((dir / L"country.dat").c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(std::wstring(TableErrorText(error)->Text()), L"Unable to load file !\n\n" + (dir / L"country.dat"));
    }
    EXPECT_TRUE(table.IsEmpty());
}

TEST(RecordTable, FileOf65536BytesIsRefusedWholeAndOf65535IsRead)
{
    TempDir dir;
    std::string line = "26201;49;\r\n";  // 11 bytes
    std::string data;
    while (data.size() + line.size() <= 65535)
        data += line;
    data.append(65535 - data.size() - 4, '1');  // a last line without CR: "111...111;49;" pads to 65,535
    data += ";49;";
    ASSERT_EQ(data.size(), 65535u);
    ASSERT_TRUE(WriteScrambled(dir / L"providers.dat", data));
    OperatorTable table;
    table.Load((dir / L"providers.dat").c_str());
    EXPECT_EQ(table.Count(), 65535u / 11 + 1);

    ASSERT_TRUE(WriteScrambled(dir / L"big.dat", data + "\r"));
    OperatorTable refused;
    try {
        refused.Load((dir / L"big.dat").c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 3);
    }
    EXPECT_TRUE(refused.IsEmpty());
}

TEST(RecordTable, EmptyLinesMakeAFileCorrupt)
{
    const char* files[] = {
        "1;A;1\r\n\r\n2;B;2\r\n",  // between two records
        "1;A;1\r\n2;B;2\r\n\r\n",  // after the last record's line end
        "\r\n1;A;1\r\n",           // before the first
    };
    for (const char* file : files) {
        CountryTable table;
        EXPECT_THROW(table.ParseBuffer(file, uint32_t(strlen(file))), CTableException) << file;
    }
    std::string good = "1;A;1\r\n2;B;2\r\n";
    CountryTable table;
    table.ParseBuffer(good.data(), uint32_t(good.size()));
    EXPECT_EQ(table.Count(), 2u);
}

TEST(RecordTable, CorruptLineInTheMiddleKeepsTheRecordsBeforeIt)
{
    TempDir dir;
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat", "1;A;10\r\n2;B;20\r\n3 C 30\r\n4;D;40\r\n"));
    CountryTable table;
    try {
        table.Load((dir / L"country.dat").c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(std::wstring(TableErrorText(error)->Text()), L"Unable to load file !\n\n" + (dir / L"country.dat"));
    }
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(FindCountryCode(table, 2), 20);
    EXPECT_EQ(FindCountryCode(table, 4), 0);
}

TEST(RecordTable, LastLineWithoutCarriageReturnStillCounts)
{
    std::string data = "1;A;10\r\n2;B;20";
    CountryTable table;
    table.ParseBuffer(data.data(), uint32_t(data.size()));
    EXPECT_EQ(FindCountryCode(table, 2), 20);
}

TEST(RecordTable, ClearFreesDescriptions)
{
    std::string data = "49;1; (one)\r\n49;2;\r\n";
    AccessNumberTable table;
    table.ParseBuffer(data.data(), uint32_t(data.size()));
    EXPECT_EQ(table.Count(), 2u);
    table.Clear();
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.Next(true), nullptr);
}

// ---- lookups ----

TEST(Lookups, FirstMatchWinsAndMissesAnswerZeroOrNone)
{
    std::string countries = "1;Germany;49\r\n2;Canada;1\r\n3;Jamaica;1\r\n1;Dup;99\r\n";
    CountryTable countryRecords;
    countryRecords.ParseBuffer(countries.data(), uint32_t(countries.size()));
    EXPECT_EQ(FindCountryCode(countryRecords, 1), 49);
    EXPECT_EQ(FindCountryCode(countryRecords, 9), 0);
    EXPECT_STREQ(FindCountry(countryRecords, 3)->name, "Jamaica");
    EXPECT_EQ(FindCountry(countryRecords, 9), nullptr);
    CountryRecord* one = NextCountryWithCode(countryRecords, 1, true);
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one->name, "Canada");
    one = NextCountryWithCode(countryRecords, 1, false);
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one->name, "Jamaica");
    EXPECT_EQ(NextCountryWithCode(countryRecords, 1, false), nullptr);

    std::string operators = "26201;49;\r\n26202;49;\r\n26201;7;\r\n";
    OperatorTable operatorRecords;
    operatorRecords.ParseBuffer(operators.data(), uint32_t(operators.size()));
    EXPECT_EQ(FindNetworkCountryCode(operatorRecords, 26201), 49);
    EXPECT_EQ(FindNetworkCountryCode(operatorRecords, 12345), 0);

    std::string providers = "1;A;First\r\n7;S;Seven\r\n7;T;Later\r\n";
    ProviderTable providerRecords;
    providerRecords.ParseBuffer(providers.data(), uint32_t(providers.size()));
    ASSERT_NE(FindProvider(providerRecords, 7), nullptr);
    EXPECT_STREQ(FindProvider(providerRecords, 7)->displayName, "Seven");
    EXPECT_EQ(FindProvider(providerRecords, 2), nullptr);

    std::string numbers = "49;111;\r\n43;222;\r\n49;333; (second)\r\n";
    AccessNumberTable numberRecords;
    numberRecords.ParseBuffer(numbers.data(), uint32_t(numbers.size()));
    AccessNumberRecord* number = NextAccessNumber(numberRecords, 49, true);
    ASSERT_NE(number, nullptr);
    EXPECT_STREQ(number->number, "111");  // the first is the default
    number = NextAccessNumber(numberRecords, 49, false);
    ASSERT_NE(number, nullptr);
    EXPECT_STREQ(number->number, "333");
    EXPECT_STREQ(number->description, "second");
    EXPECT_EQ(NextAccessNumber(numberRecords, 49, false), nullptr);
    EXPECT_EQ(NextAccessNumber(numberRecords, 33, true), nullptr);
}

// ---- applet-wide tables ----

class AppletTables : public testing::Test {
protected:
    void SetUp() override
    {
        ClearDatabaseTables();
        CopySample(dir.Path());
    }
    void TearDown() override { ClearDatabaseTables(); }

    TempDir dir;
    InstallDirScope installDir{dir.Path().c_str()};
};

TEST_F(AppletTables, TheSampleDatabaseLoadsWhole)
{
    LoadCountryTable();
    LoadOperatorTable();
    LoadProviderTable();
    EXPECT_EQ(countryTable.Count(), 242u);
    EXPECT_EQ(operatorTable.Count(), 818u);
    EXPECT_EQ(providerTable.Count(), 4u);
    EXPECT_EQ(std::wstring(countryTable.Path()), dir / L"country.dat");

    CountryRecord* germany = FindCountry(countryTable, 276);
    ASSERT_NE(germany, nullptr);
    EXPECT_STREQ(germany->name, "Germany");
    EXPECT_EQ(germany->code, 49);
    EXPECT_EQ(FindNetworkCountryCode(operatorTable, 26201), 49);
    EXPECT_EQ(FindNetworkCountryCode(operatorTable, 310260), 1);
    ProviderRecord* quillmoor = FindProvider(providerTable, 2);
    ASSERT_NE(quillmoor, nullptr);
    EXPECT_STREQ(quillmoor->displayName, "Quillmoor Calling Card; Europe & Americas");

    LoadAccessNumberTable("Brightwren");
    AccessNumberRecord* first = NextAccessNumber(accessNumberTable, 49, true);
    AccessNumberRecord* second = NextAccessNumber(accessNumberTable, 49, false);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_STRNE(first->number, second->number);
}

TEST_F(AppletTables, EachTableIsReadOnlyWhileEmpty)
{
    LoadCountryTable();
    size_t count = countryTable.Count();
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat", "1;Only;1\r\n"));
    LoadCountryTable();
    EXPECT_EQ(countryTable.Count(), count);  // still what the first use read

    ClearDatabaseTables();  // as after an update
    LoadCountryTable();
    EXPECT_EQ(countryTable.Count(), 1u);
    EXPECT_STREQ(countryTable.Next(true)->name, "Only");
}

TEST_F(AppletTables, ATableThatFailedOnItsFirstLineIsReadAgainAtItsNextUse)
{
    ASSERT_TRUE(WriteScrambled(dir / L"manufacturers.dat", "broken\r\n"));
    EXPECT_THROW(LoadProviderTable(), CTableException);
    EXPECT_TRUE(providerTable.IsEmpty());
    ASSERT_TRUE(WriteScrambled(dir / L"manufacturers.dat", "1;A;B\r\n"));
    LoadProviderTable();
    EXPECT_EQ(providerTable.Count(), 1u);
}

TEST_F(AppletTables, TheAccessNumberTableFollowsTheProviderCaseInsensitively)
{
    LoadAccessNumberTable("Brightwren");
    size_t brightwren = accessNumberTable.Count();
    ASSERT_GT(brightwren, 0u);
    EXPECT_EQ(std::wstring(accessNumberTable.Path()), dir / L"Brightwren.dat");

    // The same file under another case: the table is not read again.
    ASSERT_TRUE(WriteScrambled(dir / L"Brightwren.dat", "1;1;\r\n"));
    LoadAccessNumberTable(L"BRIGHTWREN");
    EXPECT_EQ(accessNumberTable.Count(), brightwren);

    // Another provider: cleared and read from its file.
    LoadAccessNumberTable("Orvalis");
    EXPECT_EQ(std::wstring(accessNumberTable.Path()), dir / L"Orvalis.dat");
    AccessNumberRecord* austria = NextAccessNumber(accessNumberTable, 43, true);
    ASSERT_NE(austria, nullptr);
    ASSERT_NE(austria->description, nullptr);
    EXPECT_STREQ(austria->description, "kostenlos");

    // A provider without a file: cleared, the load throws, the table stays empty.
    EXPECT_THROW(LoadAccessNumberTable("Nobody"), CTableException);
    EXPECT_TRUE(accessNumberTable.IsEmpty());
    EXPECT_EQ(std::wstring(accessNumberTable.Path()), dir / L"Nobody.dat");
}

} // namespace
