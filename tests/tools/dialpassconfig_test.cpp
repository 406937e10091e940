// dialpass-config as support staff run it (output, step texts, exit code) and the step sizes it walks by.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "data/datatest.h"
#include "pages/sequencesteps.h"

namespace {

const wchar_t kRoot[] = L"SOFTWARE\\Kestrova\\Dialpass";
const wchar_t kInternational[] = L"SOFTWARE\\Kestrova\\Dialpass\\International";

struct ToolRun {
    int exitCode;
    std::string out, err;
};

// Runs the tool from the test program's folder with its output and error in files there.
ToolRun RunTool()
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::filesystem::path dir = std::filesystem::path(program).parent_path();
    std::wstring command = L"\"\"" + (dir / L"dialpass-config.exe").wstring() + L"\" >\"" + (dir / L"tool.out").wstring() +
                           L"\" 2>\"" + (dir / L"tool.err").wstring() + L"\"\"";
    ToolRun run{_wsystem(command.c_str()), "", ""};
    std::ifstream out(dir / L"tool.out", std::ios::binary), err(dir / L"tool.err", std::ios::binary);
    run.out.assign(std::istreambuf_iterator<char>(out), {});
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

// Each test starts from no configuration and leaves none but the prefix's "InstallDir", which `keep` puts back.
class DialpassConfigToolTest : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    datatest::InstallDirScope keep{L"C:\\"};
};

TEST_F(DialpassConfigToolTest, MissingKeyIsAnErrorWithAMessage)
{
    ToolRun run = RunTool();
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
}

TEST_F(DialpassConfigToolTest, ShowsEveryValueAndTheSequenceAsSteps)
{
    DWORD enable = 1, length = 17;  // every step code; the 4, 0 after "*31" lies beyond Length
    BYTE sequence[128] = {1, 0, 2, 0, 3, 0, 4, 7, 5, 0, 5, 5, 6, 3, '*', '3', '1', 4, 0};
    const wchar_t name[] = L"Travel";
    RegSetKeyValueW(HKEY_CURRENT_USER, kRoot, L"Enable", REG_DWORD, &enable, 4);
    RegSetKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Kestrova\\Dialpass\\Defaults", L"Name", REG_SZ, name, sizeof(name));
    RegSetKeyValueW(HKEY_CURRENT_USER, kInternational, L"Length", REG_DWORD, &length, 4);
    RegSetKeyValueW(HKEY_CURRENT_USER, kInternational, L"Sequence", REG_BINARY, sequence, 128);

    ToolRun run = RunTool();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const char* expected[] = {
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass]", "\"Enable\" REG_DWORD 1",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass\\Defaults]", "\"Name\" REG_SZ \"Travel\" (14 bytes)",
        "\"Length\" REG_DWORD 17", "\"Sequence\" REG_BINARY, 128 bytes", "0000  01 00 02 00 03 00 04 07 05 00 05 05 06 03 2A 33",
        "1. Dial the access number\r\n", "2. Dial the account number\r\n", "3. Dial PIN\r\n", "4. Dial the destination number\r\n",
        "5. Wait for dial tone\r\n", "6. Wait for 10 seconds\r\n", "7. Dial *31\r\n",  // only the counted digits
    };
    for (const char* text : expected)
        EXPECT_NE(run.out.find(text), std::string::npos) << "missing: " << text << "\n" << run.out;
    EXPECT_EQ(run.out.find("8. "), std::string::npos) << "a step beyond Length was shown\n" << run.out;
}

TEST(SequenceStepsTest, StepSizesStayInsideTheLength)
{
    const BYTE sequence[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0, 9, 0};
    struct Case {
        unsigned length, offset, expected;
    } cases[] = {
        // whole steps, digits cut off by the length, half a step, an unknown code, the end
        {10, 0, 2}, {10, 4, 4}, {7, 4, 0}, {9, 8, 0}, {12, 10, 0}, {10, 10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SequenceStepSize(sequence, c.length, c.offset), c.expected)
            << "length " << c.length << " offset " << c.offset;
    EXPECT_EQ(SequenceStepText(9, 0, nullptr, 0), nullptr) << "an unknown code has no text";
}

}  // namespace
