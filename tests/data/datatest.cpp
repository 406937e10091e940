#include "datatest.h"

#include <vector>

#include "base/registry.h"
#include "data/datafile.h"

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

namespace {
void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}
} // namespace

TempDir::~TempDir()
{
    RemoveTree(path);
}

InstallDirScope::InstallDirScope(const wchar_t* directory)
{
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    wchar_t buffer[1024];
    hadPrevious = key.Value("InstallDir").GetText(buffer, 1024, nullptr);
    if (hadPrevious)
        previous = buffer;
    if (directory)
        key.Value("InstallDir").SetText(directory);
    else
        key.Value("InstallDir").Delete();
}

InstallDirScope::~InstallDirScope()
{
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    if (hadPrevious)
        key.Value("InstallDir").SetText(previous.c_str());
    else
        key.Value("InstallDir").Delete();
}

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

std::string ReadBytes(const std::wstring& path, bool* exists)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exists)
        *exists = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    if (!bytes.empty())
        ReadFile(file, &bytes[0], DWORD(bytes.size()), &done, nullptr);
    bytes.resize(done);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    std::wstring text(path, n);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring SampleDir()
{
    return ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN;
}

void CopySample(const std::wstring& directory)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((SampleDir() + L"\\*.dat").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        CopyFileW((SampleDir() + L"\\" + found.cFileName).c_str(), (directory + L"\\" + found.cFileName).c_str(),
                  FALSE);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace datatest
