// dialpass-config as support staff run it: its output, step texts and exit code.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "data/datatest.h"
#include "support/sheetdriver.h"

namespace {

// "Length" and the 128 bytes of "Sequence" as the applet publishes them.
void SetSequence(const wchar_t* key, std::initializer_list<BYTE> bytes)
{
    BYTE sequence[128] = {};
    std::copy(bytes.begin(), bytes.end(), sequence);
    SetRegNumber(key, L"Length", DWORD(bytes.size()));
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Sequence", REG_BINARY, sequence, 128);
}

// Runs the tool with arguments from the test program's folder, its output and errors apart.
datatest::ProgramRun RunTool(const std::wstring& arguments = L"")
{
    std::wstring program = datatest::ProgramDir() + L"\\dialpass-config.exe";
    return datatest::RunAtOnce(program.c_str(), {L"\"" + program + L"\" " + arguments}, 50000, nullptr, true)[0];
}

// Each test starts from no configuration and leaves none but the prefix's "InstallDir", which `keep` puts back.
class DialpassConfigToolTest : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey); }
    datatest::InstallDirScope keep{L"C:\\"};
};

TEST_F(DialpassConfigToolTest, ShowsEveryValueAndTheSequenceAsSteps)
{
    datatest::ProgramRun none = RunTool();
    EXPECT_EQ(none.exitCode, 1u);
    EXPECT_NE(none.errors.find("does not exist"), std::string::npos) << none.errors;
    SetRegNumber(kConfigKey, L"Enable", 1);
    SetRegText(kDefaultsKey, L"Name", L"Travel");
    // Every step code; the 4, 0 after "*31" lies beyond "Length".
    SetSequence(kInternationalKey, {1, 0, 2, 0, 3, 0, 4, 7, 5, 0, 5, 5, 6, 3, '*', '3', '1', 4, 0});
    SetRegNumber(kInternationalKey, L"Length", 17);

    datatest::ProgramRun run = RunTool();
    EXPECT_EQ(run.exitCode, 0u) << run.errors;
    const std::string expected[] = {
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass]", "\"Enable\" REG_DWORD 1",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass\\Defaults]",
        "\"Name\" REG_SZ \"Travel\" (14 bytes)",
        "\"Length\" REG_DWORD 17", "\"Sequence\" REG_BINARY, 128 bytes", "0000  01 00 02 00 03 00 04 07 05 00 05 05 06 03 2A 33",
        "1. Dial the access number\r\n", "2. Dial the account number\r\n", "3. Dial PIN\r\n", "4. Dial the destination number\r\n",
        "5. Wait for dial tone\r\n", "6. Wait for 10 seconds\r\n", "7. Dial *31\r\n",  // only the counted digits
    };
    for (const std::string& text : expected)
        EXPECT_NE(run.output.find(text), std::string::npos) << "missing: " << text.substr(0, 80) << "\n" << run.output.substr(0, 300);
    EXPECT_EQ(run.output.find("8. "), std::string::npos) << "a step beyond Length was shown\n" << run.output;
}

// The dial string of the example sequences (access number, account, PIN, destination, waits, digits), and
// what is wrong with the arguments.
TEST_F(DialpassConfigToolTest, DialShowsWhatThePhoneDialsAndUsageNamesWhatWasWrong)
{
    datatest::InstallFolder install;
    datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n1;Nowhere;1234\r\n");
    SetRegText(kDefaultsKey, L"Name", L"Travel");
    SetRegText(kDefaultsKey, L"AccountNumber", L"12345");
    SetRegText(kDefaultsKey, L"PIN", L"9876");
    SetRegNumber(kDefaultsKey, L"CountryCode", 49);
    SetRegNumber(kDefaultsKey, L"HomeCountryCode", 49);
    SetRegText(kInternationalKey, L"AccessNumber", L"0800 123");
    SetRegText(kLocalKey, L"AccessNumber", L"030-111 222");
    // what, the arguments, the sequences, the exit code, the dial string, what is said: in the output for exit 0,
    // else in the errors (with the usage for 2)
    struct Case {
        const char* what; const wchar_t* arguments; std::initializer_list<BYTE> international, local; DWORD exitCode;
        const char *dialString, *said;
    } cases[] = {
        {"five steps, dial tone", L"--dial \"+44 20 7946 0000\"", {1, 0, 2, 0, 3, 0, 4, 0, 5, 0}, {1, 0},
         0, "0800123123459876442079460000W", "5. Wait for dial tone: W"},
        {"10-second wait, digits 00", L"--dial +44 20 7946 0000", {1, 0, 5, 5, 6, 2, '0', '0', 4, 0}, {1, 0},
         0, "0800123,,,,,00442079460000", "2. Wait for 10 seconds: ,,,,,"},
        {"shortest and longest waits", L"--dial +44 20 7946 0000", {5, 1, 5, 0x7F}, {1, 0},
         0, nullptr, "2. Wait for 254 seconds: ,,,,"},
        {"home country: the local sequence, national number", L"--dial +49 30 1234567", {1, 0}, {1, 0, 3, 0, 4, 0},
         0, "0301112229876301234567", "3. Dial the destination number: 301234567"},
        {"country code found in country.dat", L"--dial +442079460000", {4, 0}, {1, 0},
         0, "442079460000", "country code 44"},
        {"15 digits", L"--dial +44 1", {6, 15, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', '5',
         4, 0}, {1, 0}, 0, "123456789012345441", "1. Dial 123456789012345: 123456789012345"},
        {"unknown code", L"--dial +44 1", {1, 0, 9, 0}, {1, 0}, 1, nullptr, "step 2 cannot be read: code 9 at byte 2"},
        {"digits cut off by the length", L"--dial +44 1", {1, 0, 6, 2, '0'}, {1, 0}, 1, nullptr, "code 6 at byte 2 of 5"},
        {"half a step", L"--dial +44 1", {1, 0, 4}, {1, 0}, 1, nullptr, "code 4 at byte 2 of 3"},
        {"empty sequence", L"--dial +44 1", {}, {1, 0}, 1, nullptr, "is empty (\"Length\" 0)"},
        {"code not known", L"--dial +99912345", {1, 0}, {1, 0}, 2, nullptr, "cannot tell where the country code ends"},
        {"not international", L"--dial 442079460000", {1, 0}, {1, 0}, 2, nullptr, "must be in international form"},
        {"not a digit", L"--dial +44x20", {1, 0}, {1, 0}, 2, nullptr, "\"x\" is not one of them"},
        {"no digits", L"--dial +", {1, 0}, {1, 0}, 2, nullptr, "no digits after the +"},
        {"no number", L"--dial", {}, {}, 2, nullptr, "--dial needs a NUMBER"},
        {"help", L"--help", {}, {}, 0, nullptr, "usage: dialpass-config [--dial NUMBER]"},
        {"short help", L"-h", {}, {}, 0, nullptr, "--dial NUMBER"},
        {"help as on Windows", L"/?", {}, {}, 0, nullptr, "Exit codes:"},
        {"unknown option", L"-x", {}, {}, 2, nullptr, "unknown option \"-x\""},
        {"argument", L"extra", {}, {}, 2, nullptr, "unexpected argument \"extra\""},
        {"more after help", L"--help extra", {}, {}, 2, nullptr, "unexpected argument after --help: \"extra\""},
    };
    for (const Case& c : cases) {
        SetSequence(kInternationalKey, c.international);
        SetSequence(kLocalKey, c.local);
        datatest::ProgramRun run = RunTool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.output << run.errors;
        if (c.dialString) {
            EXPECT_NE(run.output.find(std::string("Dial string: ") + c.dialString + "\r\n"), std::string::npos)
                << c.what << "\n" << run.output;
        }
        const std::string& said = c.exitCode ? run.errors : run.output;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << "\n" << run.output << run.errors;
        if (c.exitCode != 1) {  // a sequence that cannot be read is told after the steps before it
            EXPECT_EQ(c.exitCode ? run.output : run.errors, "") << c.what << ": nothing on the other stream";
            EXPECT_EQ(run.errors.find("usage:") != std::string::npos, c.exitCode == 2) << c.what << run.errors;
        }
    }
}

}  // namespace
