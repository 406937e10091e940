// Where data files are, reading and unscrambling, line cutting, table errors and their box.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/datafile.h"
#include "datatest.h"

using namespace datatest;

namespace {

std::wstring PathText(CString* path)
{
    return path ? std::wstring(path->Text()) : std::wstring(L"<null>");
}

TEST(DataPath, JoinsDirectoryAndNameWithOneBackslash)
{
    {
        InstallDirScope dir(L"C:\\Dialpass");
        EXPECT_EQ(PathText(GetDataPath(L"profiles.dat")), L"C:\\Dialpass\\profiles.dat");
        EXPECT_EQ(PathText(GetDataPath(L"%s.dat", L"Brightwren")), L"C:\\Dialpass\\Brightwren.dat");
        EXPECT_EQ(PathText(GetDataPath(L"\\profiles.dat")), L"C:\\Dialpass\\profiles.dat");
        EXPECT_EQ(PathText(GetDataPath(nullptr)), L"C:\\Dialpass");
    }
    {
        InstallDirScope dir(L"C:\\Dialpass\\");
        EXPECT_EQ(PathText(GetDataPath(L"profiles.dat")), L"C:\\Dialpass\\profiles.dat");
        EXPECT_EQ(PathText(GetDataPath(nullptr)), L"C:\\Dialpass\\");
    }
    {
        InstallDirScope dir(L"");
        EXPECT_EQ(PathText(GetDataPath(L"profiles.dat")), L"profiles.dat");
    }
    {
        InstallDirScope dir(nullptr);  // an absent value reads as the empty text
        EXPECT_EQ(PathText(GetDataPath(L"profiles.dat")), L"profiles.dat");
        EXPECT_EQ(PathText(GetDataPath(nullptr)), L"");
    }
}

TEST(DataPath, ReadsTheDirectoryAnewOnEveryCall)
{
    InstallDirScope first(L"D:\\One");
    EXPECT_EQ(PathText(GetDataPath(L"country.dat")), L"D:\\One\\country.dat");
    InstallDirScope second(L"D:\\Two");
    EXPECT_EQ(PathText(GetDataPath(L"country.dat")), L"D:\\Two\\country.dat");
}

TEST(DataPath, CutsTheFormattedNameAt255Characters)
{
    InstallDirScope dir(L"C:\\D");
    std::wstring name(300, L'n');
    std::wstring path = PathText(GetDataPath(L"%s", name.c_str()));
    EXPECT_EQ(path, L"C:\\D\\" + std::wstring(255, L'n'));
}

TEST(Scrambling, KeyIsFiftyBytesAndTheOperationIsItsOwnInverse)
{
    EXPECT_EQ(sizeof(kScrambleKey), 50u);
    unsigned nonzero = 0;
    for (unsigned char byte : kScrambleKey)
        nonzero += byte != 0;
    EXPECT_GT(nonzero, 40u);

    std::string plain(137, '\0');
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = char('A' + i % 26);
    std::string bytes = plain;
    Scramble(&bytes[0], bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(plain[i]) ^ kScrambleKey[i % 50])
            << "offset " << i;
    // In pieces, with their file offsets, the result is the same.
    std::string pieces = plain;
    Scramble(&pieces[0], 7, 0);
    Scramble(&pieces[7], 93, 7);
    Scramble(&pieces[100], 37, 100);
    EXPECT_EQ(pieces, bytes);
    Scramble(&bytes[0], bytes.size());
    EXPECT_EQ(bytes, plain);
}

TEST(ReadDataFile, ReadsWholeAndUnscrambles)
{
    TempDir dir;
    std::string plain = "1;Germany;49\r\n2;France;33\r\n";
    plain += std::string(100, 'x');
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat", plain));
    DataFileBuffer buffer;
    ReadDataFile(buffer, (dir / L"country.dat").c_str());
    ASSERT_EQ(buffer.size, plain.size());
    EXPECT_EQ(std::string(buffer.data, buffer.size), plain);
}

TEST(ReadDataFile, MissingFileThrowsCodeTwoWithThePath)
{
    TempDir dir;
    std::wstring path = dir / L"missing.dat";
    try {
        DataFileBuffer buffer;
        ReadDataFile(buffer, path.c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 2);
        EXPECT_EQ(std::wstring(error.text), path);
        EXPECT_EQ(std::wstring(TableErrorText(error)->Text()), L"Unable to open file !\n\n" + path);
    }
}

TEST(ReadDataFile, LockedFileThrowsCodeTwo)
{
    TempDir dir;
    std::wstring path = dir / L"country.dat";
    ASSERT_TRUE(WriteScrambled(path, "1;A;1\r\n"));
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    DataFileBuffer buffer;
    try {
        ReadDataFile(buffer, path.c_str());
        ADD_FAILURE() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 2);
    }
    CloseHandle(lock);
}

TEST(ReadDataFile, AcceptsUpTo65535BytesAndRefusesMoreWithCodeThree)
{
    TempDir dir;
    std::string largest(65535, 'a');
    ASSERT_TRUE(WriteScrambled(dir / L"big.dat", largest));
    DataFileBuffer buffer;
    ReadDataFile(buffer, (dir / L"big.dat").c_str());
    EXPECT_EQ(buffer.size, 65535u);
    EXPECT_EQ(std::string(buffer.data, buffer.size), largest);

    ASSERT_TRUE(WriteScrambled(dir / L"toobig.dat", std::string(65536, 'a')));
    try {
        ReadDataFile(buffer, (dir / L"toobig.dat").c_str());
        FAIL() << "no exception";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, 3);
        EXPECT_EQ(std::wstring(error.text), dir / L"toobig.dat");
        EXPECT_EQ(std::wstring(TableErrorText(error)->Text()), L"Unable to read file !\n\n" + (dir / L"toobig.dat"));
    }
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.size, 0u);
}

TEST(ReadDataFile, ZeroByteFileReadsAsNoData)
{
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"empty.dat", ""));
    DataFileBuffer buffer;
    ReadDataFile(buffer, (dir / L"empty.dat").c_str());
    EXPECT_EQ(buffer.size, 0u);
    const char* cursor = nullptr;
    EXPECT_FALSE(NextLine(buffer, cursor));
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
    EXPECT_EQ(Lines("a\n\r\n"), (LineList{"a\n"}));
    EXPECT_EQ(Lines("a\r\n\n"), (LineList{"a", "\n"}));       // only one LF is skipped
    EXPECT_EQ(Lines("\r\n"), (LineList{""}));
    EXPECT_EQ(Lines("\r"), (LineList{""}));
    EXPECT_EQ(Lines("x"), (LineList{"x"}));
    EXPECT_EQ(Lines(""), LineList{});
}

TEST(NextLine, NoDataMeansNoLine)
{
    const char* cursor = nullptr;
    EXPECT_FALSE(NextLine(nullptr, 0, cursor));
    DataFileBuffer empty;
    EXPECT_FALSE(NextLine(empty, cursor));
}

TEST(NextLine, TheLastOffsetOfTheLargestFileStillStartsALine)
{
    std::string data(65533, 'a');
    data += "\r\n";  // 65,535 bytes: the next start would be 65,535, which is not below the size
    EXPECT_EQ(Lines(data).size(), 1u);
    data[65533] = '\r';
    data[65534] = 'b';  // "...\rb": the last line starts at 65,534
    LineList lines = Lines(data);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "b");
}

TEST(TableException, CopiesTheCodeAndAtMost259CharactersWithTheTerminator)
{
    std::wstring longText(400, L'p');
    CTableException error(1, longText.c_str());
    EXPECT_EQ(std::wstring(error.text), std::wstring(259, L'p'));
    CTableException copy = error;
    EXPECT_EQ(copy.code, 1);
    EXPECT_EQ(std::wstring(copy.text), std::wstring(259, L'p'));
    CTableException bare(2);
    EXPECT_EQ(bare.text[0], L'\0');
}

TEST(TableException, BoxTextByCode)
{
    CTableException corrupt(1, L"C:\\D\\country.dat");
    CTableException open(2, L"C:\\D\\country.dat");
    CTableException read(3, L"C:\\D\\country.dat");
    EXPECT_EQ(std::wstring(TableErrorText(corrupt)->Text()), L"Unable to load file !\n\nC:\\D\\country.dat");
    EXPECT_EQ(std::wstring(TableErrorText(open)->Text()), L"Unable to open file !\n\nC:\\D\\country.dat");
    EXPECT_EQ(std::wstring(TableErrorText(read)->Text()), L"Unable to read file !\n\nC:\\D\\country.dat");
    EXPECT_EQ(std::wstring(TableErrorText(CTableException(7, L"x"))->Text()), L"\n\nx");
}

// The box through the real window: caption, text, icon and the OK button.
TEST(TableException, ShowTableErrorShowsAnExclamationBoxWithOk)
{
    std::atomic<bool> done{false};
    std::wstring seenText, seenCaption;
    HICON icon = nullptr;
    bool hadOk = false, hadCancel = true;
    std::thread watcher([&] {
        DWORD deadline = GetTickCount() + 10000;
        HWND box = nullptr;
        while (!box && GetTickCount() < deadline) {
            HWND candidate = FindWindowW(L"#32770", L"Kestrova Dialpass");
            DWORD process = 0;
            if (candidate)
                GetWindowThreadProcessId(candidate, &process);
            if (candidate && process == GetCurrentProcessId())
                box = candidate;
            else
                Sleep(20);
        }
        if (!box)
            return;
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        seenText = text;
        GetWindowTextW(box, text, 512);
        seenCaption = text;
        // The icon static: SS_ICON with an icon set.
        EnumChildWindows(
            box,
            [](HWND child, LPARAM found) -> BOOL {
                wchar_t name[32] = {};
                GetClassNameW(child, name, 32);
                if (lstrcmpiW(name, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                    SendMessageW(child, STM_GETICON, 0, 0))
                    *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&icon));
        hadOk = GetDlgItem(box, IDOK) != nullptr;
        hadCancel = GetDlgItem(box, IDCANCEL) != nullptr;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        done = true;
    });
    ShowTableError(nullptr, CTableException(1, L"C:\\Dialpass\\country.dat"));
    watcher.join();
    ASSERT_TRUE(done) << "no message box appeared";
    EXPECT_EQ(seenCaption, L"Kestrova Dialpass");
    EXPECT_EQ(seenText, L"Unable to load file !\n\nC:\\Dialpass\\country.dat");
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(icon, LoadIconW(nullptr, IDI_EXCLAMATION));
    EXPECT_TRUE(hadOk);
    EXPECT_FALSE(hadCancel);
}

} // namespace
