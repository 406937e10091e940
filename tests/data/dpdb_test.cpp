// The dpdb tool, run as a program beside the tests: check, build, scramble, arguments and exit codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "data/datafile.h"
#include "datatest.h"

using namespace datatest;

namespace {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr together, UTF-8

    bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
    // Lines that report a problem ("...: " and not the summary).
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < output.size()) {
            size_t end = output.find('\n', start);
            if (end == std::string::npos)
                end = output.size();
            std::string line = output.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            start = end + 1;
        }
        return lines;
    }
    // The problem lines without warnings.
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> errors;
        for (const std::string& line : Lines()) {
            if (line.find(": warning: ") == std::string::npos)
                errors.push_back(line);
        }
        return errors;
    }
};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += char(c);
    return out;
}

ToolRun Dpdb(const std::wstring& arguments)
{
    ToolRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = nullptr;
    std::wstring program = ProgramDir() + L"\\dpdb.exe";
    std::wstring command = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read)
            run.output.append(buffer, read);
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return run;
}

std::wstring Quote(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

TEST(Dpdb, TheBuiltSampleDatabaseChecksClean)
{
    ToolRun run = Dpdb(L"check " + Quote(SampleDir()));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    std::vector<std::string> lines = run.Lines();
    ASSERT_EQ(lines.size(), 1u) << run.output;  // the summary alone: no error, no warning
    EXPECT_TRUE(run.Has("7 files, 1080 records")) << run.output;
    EXPECT_TRUE(run.Has(": clean")) << run.output;
}

TEST(Dpdb, ThePlainSourcesCheckCleanAsPlainAndNotAsScrambled)
{
    TempDir dir;
    CopySample(dir.Path());
    // Unscramble the copy into plain sources with the tool itself.
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Brightwren.dat",
                                L"Quillmoor.dat", L"Sundrel.dat", L"Orvalis.dat"}) {
        ToolRun run = Dpdb(L"unscramble " + Quote(dir / name) + L" " + Quote(dir / name));
        ASSERT_EQ(run.exitCode, 0u) << run.output;
    }
    EXPECT_EQ(ReadBytes(dir / L"manufacturers.dat").substr(0, 33), "1;Brightwren;Brightwren Telecard\r");
    ToolRun plain = Dpdb(L"check --plain " + Quote(dir.Path()));
    EXPECT_EQ(plain.exitCode, 0u) << plain.output;
    ToolRun scrambled = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(scrambled.exitCode, 1u) << scrambled.output;
}

class DamagedCopy : public testing::Test {
protected:
    void SetUp() override { CopySample(dir.Path()); }
    std::string Path(const wchar_t* name) { return Narrow(dir / name); }
    TempDir dir;
};

TEST_F(DamagedCopy, EveryBadLineIsReportedWithItsNumber)
{
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat",
                               "1;Germany;49\r\n"
                               "2;" + std::string(32, 'L') + ";1\r\n"
                               "3;Fine;3\r\n"
                               "\r\n"
                               "5 Nowhere 5\r\n"
                               "6;Last;6\r\n"));
    ASSERT_TRUE(WriteScrambled(dir / L"providers.dat", "26201;49;\r\n26202\r\n"));
    ASSERT_TRUE(WriteScrambled(dir / L"Orvalis.dat", "43;0800123456; (kostenlos\r\n41;1;\r\n"));
    ToolRun run = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    std::vector<std::string> lines = run.Errors();
    std::vector<std::string> expected = {
        Path(L"country.dat") + ":2: name longer than 31 bytes",
        Path(L"country.dat") + ":4: empty line (every line of a database file is a record)",
        Path(L"country.dat") + ":5: no ';' after the id (expected id;name;code)",
        Path(L"providers.dat") + ":2: no ';' directly after the operator number (expected operator;code;)",
        Path(L"Orvalis.dat") + ":1: '(' of the description without ')'",
    };
    ASSERT_GE(lines.size(), expected.size() + 1) << run.output;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]);
    EXPECT_TRUE(run.Has("5 errors")) << run.output;
}

TEST_F(DamagedCopy, AMissingAccessNumberFileIsReportedAtTheProviderLine)
{
    ASSERT_TRUE(DeleteFileW((dir / L"Sundrel.dat").c_str()));
    ToolRun run = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.Lines()[0], Path(L"manufacturers.dat") + ":3: its access-number file Sundrel.dat cannot be opened (missing?)")
        << run.output;
}

TEST_F(DamagedCopy, MissingEmptyAndOversizedFiles)
{
    ASSERT_TRUE(DeleteFileW((dir / L"country.dat").c_str()));
    ASSERT_TRUE(WriteBytes(dir / L"providers.dat", ""));
    ASSERT_TRUE(WriteScrambled(dir / L"manufacturers.dat", std::string(65536, 'x')));
    ToolRun run = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(run.exitCode, 1u);
    std::vector<std::string> lines = run.Lines();
    ASSERT_GE(lines.size(), 3u) << run.output;
    EXPECT_EQ(lines[0], Path(L"country.dat") + ": cannot be opened (missing?)");
    EXPECT_EQ(lines[1], Path(L"providers.dat") + ": empty file: a database file must hold at least one record");
    EXPECT_EQ(lines[2], Path(L"manufacturers.dat") +
                            ": too large: a database file must be smaller than 65,536 bytes (the reader keeps line "
                            "offsets in 16 bits)");
}

TEST_F(DamagedCopy, LineFeedLineEndsAreAWarning)
{
    ASSERT_TRUE(WriteScrambled(dir / L"Sundrel.dat", "1;555;\n44;666;\r\n"));
    ToolRun run = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(run.exitCode, 0u) << run.output;  // the applet reads it (as one record), so only a warning
    EXPECT_TRUE(run.Has(Path(L"Sundrel.dat") + ":1: warning: line feed without a carriage return")) << run.output;
}

TEST(Dpdb, BuildWritesTheScrambledFilesAndRefusesBadSources)
{
    TempDir source, target;
    ASSERT_TRUE(WriteBytes(source / L"country.dat", "276;Germany;49\r\n40;Austria;43\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"providers.dat", "26201;49;\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"manufacturers.dat", "7;Sample;Sample phone card\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"Sample.dat", "49;800; (toll free)\r\n43;0800;\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"Stray.dat", "1;1;\r\n"));
    std::wstring out = target / L"nested\\install";
    ToolRun run = Dpdb(L"build " + Quote(source.Path()) + L" " + Quote(out));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(run.Has("Stray.dat: warning: not named by manufacturers.dat; not installed")) << run.output;
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Sample.dat"}) {
        std::string expected = ReadBytes(source / name);
        Scramble(&expected[0], expected.size());
        EXPECT_EQ(ReadBytes(out + L"\\" + name), expected) << Narrow(name);
    }
    EXPECT_FALSE(FileExists(out + L"\\Stray.dat"));

    ASSERT_TRUE(WriteBytes(source / L"country.dat", "276;Germany\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"providers.dat", "1;1;\r\n"));
    TempDir refused;
    ToolRun bad = Dpdb(L"build " + Quote(source.Path()) + L" " + Quote(refused / L"out"));
    EXPECT_EQ(bad.exitCode, 1u) << bad.output;
    EXPECT_TRUE(bad.Has(Narrow(source / L"country.dat") + ":1: no ';' after the name")) << bad.output;
    EXPECT_TRUE(bad.Has("nothing was written")) << bad.output;
    EXPECT_FALSE(FileExists(refused / L"out"));
}

TEST(Dpdb, ScrambleAndUnscrambleAreTheKeyOperation)
{
    TempDir dir;
    std::string plain = "49;800; (toll free)\r\n" + std::string(120, 'z');
    ASSERT_TRUE(WriteBytes(dir / L"plain.txt", plain));
    ToolRun scramble = Dpdb(L"scramble " + Quote(dir / L"plain.txt") + L" " + Quote(dir / L"s.dat"));
    EXPECT_EQ(scramble.exitCode, 0u) << scramble.output;
    std::string expected = plain;
    Scramble(&expected[0], expected.size());
    EXPECT_EQ(ReadBytes(dir / L"s.dat"), expected);
    ToolRun unscramble = Dpdb(L"unscramble " + Quote(dir / L"s.dat") + L" " + Quote(dir / L"back.txt"));
    EXPECT_EQ(unscramble.exitCode, 0u) << unscramble.output;
    EXPECT_EQ(ReadBytes(dir / L"back.txt"), plain);
}

TEST(Dpdb, ArgumentsAndExitCodes)
{
    TempDir dir;
    ToolRun help = Dpdb(L"--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(help.Has("Usage: dpdb COMMAND")) << help.output;
    EXPECT_TRUE(help.Has("check [--plain] DIR")) << help.output;

    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        const char* says;
    } cases[] = {
        {L"", 2, "dpdb: no command given"},
        {L"frobnicate", 2, "dpdb: unknown command \"frobnicate\""},
        {L"scramble onlyone", 2, "scramble takes two arguments: IN OUT"},
        {L"check", 2, "check takes one directory"},
        {L"check --plain", 2, "check takes one directory"},
        {L"check --strict x", 2, "check takes one directory"},
        {L"check --strict", 2, "unknown option \"--strict\""},
        {L"build a", 2, "build takes two directories"},
        {L"check " + Quote(dir / L"nothere"), 3, "not a directory"},
        {L"build " + Quote(dir / L"nothere") + L" " + Quote(dir / L"out"), 3, "not a directory"},
        {L"scramble " + Quote(dir / L"nothere.dat") + L" " + Quote(dir / L"out.dat"), 3, "cannot be opened"},
        {L"scramble " + Quote(SampleDir() + L"\\country.dat") + L" " + Quote(dir / L"no\\such\\dir\\x.dat"), 3,
         "cannot be written"},
    };
    for (const Case& c : cases) {
        ToolRun run = Dpdb(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(c.arguments) << "\n" << run.output;
        EXPECT_TRUE(run.Has(c.says)) << Narrow(c.arguments) << "\n" << run.output;
    }
}

} // namespace
