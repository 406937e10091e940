#include "datatest.h"

#include <algorithm>
#include <vector>

#include "base/registry.h"
#include "data/datafile.h"
#include "data/safefile.h"

// Where the build put the scrambled sample database, relative to the test program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

namespace datatest {

TempDir::TempDir()
{
    static unsigned counter = 0;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path = std::wstring(base) + L"dpdata-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(path.c_str(), nullptr);
}

static void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring name = found.cFileName, child = path + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(child);
        else
            DeleteFileW(child.c_str());
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    RemoveDirectoryW(path.c_str());
}

TempDir::~TempDir() { RemoveTree(path); }

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
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), DWORD(bytes.size()), &done, nullptr) && done == bytes.size());
    CloseHandle(file);
    return ok;
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    ReadWholeFile(path.c_str(), bytes);
    return bytes;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? char(c) : '?';
    return narrow;
}

std::string Names(const std::wstring& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if (lstrcmpW(found.cFileName, L".") && lstrcmpW(found.cFileName, L".."))
            names.push_back(Narrow(found.cFileName));
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

bool WriteScrambled(const std::wstring& path, std::string plain)
{
    Scramble(&plain[0], plain.size());
    return WriteBytes(path, plain);
}

std::wstring ProgramDir()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n).substr(0, std::wstring(path, n).find_last_of(L"\\/"));
}

std::wstring SampleDir() { return ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN; }

void CopyFiles(const std::wstring& from, const std::wstring& to)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CopyFileW((from + L"\\" + found.cFileName).c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

void CopySample(const std::wstring& directory) { CopyFiles(SampleDir(), directory); }

} // namespace datatest
