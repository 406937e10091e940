// The dialpass-config tool as support staff run it: its output and exit code for what OK published.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const wchar_t kRoot[] = L"SOFTWARE\\Kestrova\\Dialpass";
const wchar_t kBackup[] = L"SOFTWARE\\Kestrova\\DialpassTestBackup";

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string Drain(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got)
        text.append(buffer, got);
    return text;
}

ToolRun RunTool()
{
    ToolRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 1 << 16);
    CreatePipe(&errRead, &errWrite, &inherit, 1 << 16);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process = {};
    wchar_t command[] = L"dialpass-config.exe";
    if (CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(outWrite);
        CloseHandle(errWrite);
        run.out = Drain(outRead);
        run.err = Drain(errRead);
        WaitForSingleObject(process.hProcess, 20000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "dialpass-config.exe did not start, error " << GetLastError();
        CloseHandle(outWrite);
        CloseHandle(errWrite);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}

void SetValue(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

// Each test starts from no configuration; what other tests left is put back afterwards.
class DialpassConfigToolTest : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, &root) == ERROR_SUCCESS) {
            HKEY backup = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
            saved = RegCopyTreeW(root, nullptr, backup) == ERROR_SUCCESS;
            RegCloseKey(backup);
            RegCloseKey(root);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
        if (saved) {
            HKEY backup = nullptr, root = nullptr;
            RegOpenKeyExW(HKEY_CURRENT_USER, kBackup, 0, KEY_READ, &backup);
            RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
            RegCopyTreeW(backup, nullptr, root);
            RegCloseKey(root);
            RegCloseKey(backup);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
    }

    bool saved = false;
};

TEST_F(DialpassConfigToolTest, MissingKeyIsAnErrorWithAMessage)
{
    ToolRun run = RunTool();
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, &key), ERROR_SUCCESS) << "the tool created the key";
}

TEST_F(DialpassConfigToolTest, ShowsEveryValueAndTheSequenceAsSteps)
{
    DWORD enable = 1, length = 8;
    BYTE sequence[128] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0};  // the 4, 0 lies beyond Length
    const wchar_t name[] = L"Travel";
    SetValue(kRoot, L"Enable", REG_DWORD, &enable, 4);
    SetValue(L"SOFTWARE\\Kestrova\\Dialpass\\Defaults", L"Name", REG_SZ, name, sizeof(name));
    SetValue(L"SOFTWARE\\Kestrova\\Dialpass\\International", L"Length", REG_DWORD, &length, 4);
    SetValue(L"SOFTWARE\\Kestrova\\Dialpass\\International", L"Sequence", REG_BINARY, sequence, 128);

    ToolRun run = RunTool();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const char* expected[] = {
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass]",
        "\"Enable\" REG_DWORD 1",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrova\\Dialpass\\Defaults]",
        "\"Name\" REG_SZ \"Travel\" (14 bytes)",
        "\"Length\" REG_DWORD 8",
        "\"Sequence\" REG_BINARY, 128 bytes",
        "0000  01 00 05 05 06 02 30 30 04 00 00 00 00 00 00 00",
        "1. Dial the access number",
        "2. Wait for 10 seconds",
        "3. Dial 00",
    };
    for (const char* text : expected)
        EXPECT_NE(run.out.find(text), std::string::npos) << "missing: " << text << "\n" << run.out;
    EXPECT_EQ(run.out.find("4. "), std::string::npos) << "a step beyond Length was shown\n" << run.out;
}

}  // namespace
