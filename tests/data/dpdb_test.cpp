// The dpdb tool, run as a program beside the tests: check, build, scramble, arguments and exit codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/fileset.h"
#include "datatest.h"

using namespace datatest;

namespace {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr together

    bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
    // The output's lines, without those that hold warnings.
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> lines;
        for (size_t start = 0, end; start < output.size(); start = end + 1) {
            end = std::min(output.find('\n', start), output.size());
            std::string line = output.substr(start, end - start - (end > start && output[end - 1] == '\r'));
            if (line.find(": warning: ") == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }
};

std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

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
    startup.hStdOutput = startup.hStdError = writeEnd;
    std::wstring program = ProgramDir() + L"\\dpdb.exe", command = Quote(program) + L" " + arguments;
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

TEST(Dpdb, TheBuiltSampleDatabaseChecksClean)
{
    ToolRun run = Dpdb(L"check " + Quote(SampleDir()));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.Errors().size(), 1u) << run.output;  // the summary alone
    EXPECT_TRUE(run.Has("7 files, 1080 records") && run.Has(": clean") && !run.Has("warning")) << run.output;
}

TEST(Dpdb, CheckReportsEveryBadLineOfADamagedCopyWithItsNumber)
{
    TempDir dir;
    CopySample(dir.Path());
    ASSERT_TRUE(WriteScrambled(dir / L"country.dat", "1;Germany;49\r\n2;" + std::string(32, 'L') +
                                                         ";1\r\n3;Fine;3\r\n\r\n5 Nowhere 5\r\n6;Last;6\r\n"));
    ASSERT_TRUE(WriteScrambled(dir / L"providers.dat", "26201;49;\r\n26202\r\n"));
    ASSERT_TRUE(WriteScrambled(dir / L"Quillmoor.dat", "1;555;\n44;666;\r\n"));  // the applet reads one record
    ASSERT_TRUE(DeleteFileW((dir / L"Sundrel.dat").c_str()));
    ASSERT_TRUE(WriteScrambled(dir / L"Orvalis.dat", "43;0800123456; (kostenlos\r\n41;1;\r\n"));
    ToolRun run = Dpdb(L"check " + Quote(dir.Path()));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    auto at = [&](const wchar_t* name, const char* line) { return Narrow(dir / name) + line; };
    std::vector<std::string> expected = {
        at(L"country.dat", ":2: name longer than 31 bytes"),
        at(L"country.dat", ":4: empty line (every line of a database file is a record)"),
        at(L"country.dat", ":5: no ';' after the id (expected id;name;code)"),
        at(L"providers.dat", ":2: no ';' directly after the operator number (expected operator;code;)"),
        at(L"Quillmoor.dat", ":1: line feed without a carriage return before it: the applet ends lines only at CR, "
                             "so the text after it belongs to this line"),
        at(L"manufacturers.dat", ":3: its access-number file Sundrel.dat cannot be opened: ") +
            Narrow(SystemErrorText(ERROR_FILE_NOT_FOUND)),
        at(L"Orvalis.dat", ":1: '(' of the description without ')'"),
    };
    std::vector<std::string> errors = run.Errors();
    errors.resize(expected.size());
    EXPECT_EQ(errors, expected) << run.output;
    EXPECT_TRUE(run.Has("7 errors")) << run.output;
}

// The sample database every test reads is itself made by `dpdb build`; here the cases it does not show.
TEST(Dpdb, BuildInstallsOnlyNamedFilesAndRefusesBadSources)
{
    TempDir source, target;
    ASSERT_TRUE(WriteBytes(source / L"country.dat", "276;Germany;49\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"providers.dat", "26201;49;\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"manufacturers.dat", "7;Sample;Sample phone card\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"Sample.dat", "49;800; (toll free)\r\n"));
    ASSERT_TRUE(WriteBytes(source / L"Stray.dat", "1;1;\r\n"));
    ToolRun run = Dpdb(L"build " + Quote(source.Path()) + L" " + Quote(target / L"nested\\out"));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(run.Has("Stray.dat: warning: not named by manufacturers.dat; not installed")) << run.output;
    EXPECT_FALSE(FileExists(target / L"nested\\out\\Stray.dat"));
    run = Dpdb(L"unscramble " + Quote(target / L"nested\\out\\Sample.dat") + L" " + Quote(target / L"plain.dat"));
    EXPECT_EQ(ReadBytes(target / L"plain.dat"), ReadBytes(source / L"Sample.dat")) << run.output;

    ASSERT_TRUE(WriteBytes(source / L"country.dat", "276;Germany\r\n"));
    run = Dpdb(L"build " + Quote(source.Path()) + L" " + Quote(target / L"refused"));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_TRUE(run.Has(Narrow(source / L"country.dat") + ":1: no ';' after the name")) << run.output;
    EXPECT_TRUE(run.Has("nothing was written")) << run.output;
    EXPECT_FALSE(FileExists(target / L"refused"));
}

TEST(Dpdb, ArgumentsAndExitCodes)
{
    TempDir dir;
    struct Case { std::wstring arguments; DWORD exitCode; std::string says; } cases[] = {
        {L"--help", 0, "check [--plain] DIR"},
        {L"", 2, "dpdb: no command given"},
        {L"frobnicate", 2, "dpdb: unknown command \"frobnicate\""},
        {L"scramble onlyone", 2, "scramble takes two arguments: IN OUT"},
        {L"check --plain", 2, "check takes one directory"},
        {L"check --strict", 2, "unknown option \"--strict\""},
        {L"build a", 2, "build takes two directories"},
        {L"check " + Quote(dir / L"nothere"), 3, "not a directory"},
        {L"scramble " + Quote(dir / L"nothere.dat") + L" " + Quote(dir / L"out.dat"), 3, "cannot be opened"},
        {L"scramble " + Quote(SampleDir() + L"\\country.dat") + L" " + Quote(dir / L"no\\such\\x.dat"), 3,
         Narrow(dir / L"no\\such") + ": the writer's lock (dialpass.lock) cannot be taken in this folder: " +
             Narrow(SystemErrorText(ERROR_PATH_NOT_FOUND))},
    };
    for (const Case& c : cases) {
        ToolRun run = Dpdb(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(c.arguments) << "\n" << run.output;
        EXPECT_TRUE(run.Has(c.says)) << Narrow(c.arguments) << "\n" << run.output;
    }
}

} // namespace
