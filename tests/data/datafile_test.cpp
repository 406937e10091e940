// Where data files are, line cutting, table errors and their box text (reading files: records_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "data/datafile.h"
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
    EXPECT_EQ(Lines("a\r\nb\r\n"), (LineList{"a", "b"}));
    EXPECT_EQ(Lines("a\rb\rc"), (LineList{"a", "b", "c"}));
    EXPECT_EQ(Lines("a\r\nb"), (LineList{"a", "b"}));         // a last line without CR still counts
    EXPECT_EQ(Lines("a\nb\r\nc"), (LineList{"a\nb", "c"}));   // LF alone belongs to the line
    EXPECT_EQ(Lines("a\r\n\r\nb\r\n"), (LineList{"a", "", "b"}));
    EXPECT_EQ(Lines("a\r\n\r\n"), (LineList{"a", ""}));       // an empty line after the last one
    EXPECT_EQ(Lines("a\r\r\n"), (LineList{"a", ""}));
    EXPECT_EQ(Lines("a\r\n\n"), (LineList{"a", "\n"}));       // only one LF is skipped
    EXPECT_EQ(Lines("\r\n"), (LineList{""}));
    EXPECT_EQ(Lines(""), LineList{});
    const char* cursor = nullptr;
    EXPECT_FALSE(NextLine(nullptr, 0, cursor));
    // The largest file, 65,535 bytes: a next start of 65,535 is not below the size; 65,534 still starts a line.
    const std::string longest(65533, 'a');
    EXPECT_EQ(Lines(longest + "\r\n"), (LineList{longest}));
    EXPECT_EQ(Lines(longest + "\rb"), (LineList{longest, "b"}));
}

TEST(TableError, BoxTextByCodeAndAtMost259CharactersOfPath)
{
    const wchar_t* path = L"C:\\D\\country.dat";
    // code, text (codes 1 and 2 are the profile dialog's and the card workflow's messages)
    std::pair<int, std::wstring> cases[] = {{3, L"Unable to read file !"}, {7, L""}};
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(TableErrorText(CTableException(c.first, path))->Text()), c.second + L"\n\n" + path)
            << c.first;
    }
    CTableException error(1, std::wstring(400, L'p').c_str());
    EXPECT_EQ(std::wstring(error.text), std::wstring(259, L'p'));
    EXPECT_EQ(CTableException(2).text[0], L'\0');
}

} // namespace
