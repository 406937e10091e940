#include "datatest.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/handle.h"
#include "base/registry.h"
#include "data/datafile.h"
#include "data/safefile.h"

// Where the build put the scrambled sample database, relative to the test program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

namespace datatest {

TempDir::TempDir(const std::wstring& parent)
{
    static unsigned counter = 0;
    namespace fs = std::filesystem;
    fs::path folder = parent.empty() ? fs::temp_directory_path() : fs::path(parent);
    CreateDirectoryW(folder.c_str(), nullptr);
    // Tests side by side run in Wine prefixes of their own, whose process ids may be the same.
    do {
        path = (folder / (L"dpdata-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) +
                          L"-" + std::to_wstring(++counter))).wstring();
    } while (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

void ForEachEntry(const std::wstring& directory, const std::function<void(const WIN32_FIND_DATAW&)>& visit)
{
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((directory + L"\\*").c_str(), &found));
    for (bool more = bool(search); more; more = FindNextFileW(search.Get(), &found)) {
        if (lstrcmpW(found.cFileName, L".") && lstrcmpW(found.cFileName, L".."))
            visit(found);
    }
}

TempDir::~TempDir()
{
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

static void SetInstallDir(const wchar_t* directory)
{
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    if (directory)
        key.Value("InstallDir").SetText(directory);
    else
        key.Value("InstallDir").Delete();
}

InstallDirScope::InstallDirScope(const wchar_t* directory)
{
    wchar_t buffer[1024];
    hadPrevious = CRegKey(HKEY_CURRENT_USER, kSettingsKey).Value("InstallDir").GetText(buffer, 1024, nullptr);
    previous = hadPrevious ? buffer : L"";
    SetInstallDir(directory);
}
InstallDirScope::~InstallDirScope() { SetInstallDir(hadPrevious ? previous.c_str() : nullptr); }

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    return bool(file.write(bytes.data(), std::streamsize(bytes.size())).flush());
}

bool WriteOldVersionSpares(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& kept)
{
    std::string text = "dialpass journal 2\r\n";
    for (size_t i = 0; i < kept.size(); ++i)
        text += "swap|~dp1-" + std::to_string(i + 100) + ".new|" + kept[i].second + "|" + kept[i].first + "\r\n";
    uint32_t hash = 2166136261u;  // the journal's FNV-1a checksum
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    char end[20];
    wsprintfA(end, "end|%08X\r\n", unsigned(hash));
    return WriteBytes(folder + L"\\dialpass.lock", std::string("0\x01\0\0\0\0\0\0\0s", 10) + text + end);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    ReadWholeFile(path.c_str(), bytes);
    return bytes;
}

std::string Names(const std::wstring& directory)
{
    std::vector<std::string> names;
    ForEachEntry(directory, [&](const WIN32_FIND_DATAW& found) { names.push_back(ToUtf8(found.cFileName)); });
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

std::string Scrambled(std::string bytes)
{
    Scramble(&bytes[0], bytes.size());
    return bytes;
}

bool WriteScrambled(const std::wstring& path, std::string plain) { return WriteBytes(path, Scrambled(plain)); }

std::wstring ProgramDir()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n).substr(0, std::wstring(path, n).find_last_of(L"\\/"));
}

std::wstring SampleDir() { return ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN; }

void CopyFiles(const std::wstring& from, const std::wstring& to)
{
    ForEachEntry(from, [&](const WIN32_FIND_DATAW& found) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CopyFileW((from + L"\\" + found.cFileName).c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE);
    });
}

void CopySample(const std::wstring& directory) { CopyFiles(SampleDir(), directory); }

// Shared for writing too: under Wine a handle to a child's output file outlives the child.
static std::string ReadOutput(const std::wstring& path)
{
    UniqueHandle output(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (output)
        ReadWholeHandle(output.Get(), text);
    return text;
}

// Each run's output goes to a file of its own (a pipe per run would need a reader per run).
std::vector<ProgramRun> RunAtOnce(const wchar_t* program, const std::vector<std::wstring>& commandLines,
                                  DWORD timeoutMs, const wchar_t* currentDir, bool errorsApart)
{
    TempDir outputs;
    std::vector<ProgramRun> results(commandLines.size());
    std::vector<HANDLE> processes(commandLines.size(), nullptr);
    for (size_t i = 0; i < commandLines.size(); ++i) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE files[2];
        for (int apart = 0; apart < 2; ++apart)
            files[apart] = CreateFileW((outputs / (std::to_wstring(i) + (apart ? L".err" : L""))).c_str(),
                                       GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = files[0];
        startup.hStdError = files[errorsApart ? 1 : 0];
        std::wstring command = commandLines[i];
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, currentDir,
                           &startup, &process)) {
            processes[i] = process.hProcess;
            CloseHandle(process.hThread);
        }
        CloseHandle(files[0]);
        CloseHandle(files[1]);
    }
    for (size_t i = 0; i < commandLines.size(); ++i) {
        if (processes[i]) {
            if (WaitForSingleObject(processes[i], timeoutMs) != WAIT_OBJECT_0)
                TerminateProcess(processes[i], 99);
            WaitForSingleObject(processes[i], 10000);
            GetExitCodeProcess(processes[i], &results[i].exitCode);
            CloseHandle(processes[i]);
        }
        results[i].output = ReadOutput(outputs / std::to_wstring(i));
        results[i].errors = ReadOutput(outputs / (std::to_wstring(i) + L".err"));
    }
    return results;
}

} // namespace datatest
