#include "updater/install.h"

#include <windows.h>

#include "data/safefile.h"
#include "tools/dpdb/dbcheck.h"

const wchar_t kVersionFileName[] = L"database.ver";

bool MakeFolders(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 2 && !MakeFolders(path.substr(0, cut)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

uint32_t ReadInstalledVersion(const std::wstring& installDir, std::wstring& note)
{
    note.clear();
    std::string bytes;
    std::wstring path = JoinPath(installDir, kVersionFileName);
    if (!ReadWholeFile(path.c_str(), bytes))
        return 0;
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < bytes.size() && digits < 10 && bytes[digits] >= '0' && bytes[digits] <= '9')
        value = value * 10 + unsigned(bytes[digits++] - '0');
    std::string rest = bytes.substr(digits);
    if (!digits || value > 0xFFFFFFFFull || (!rest.empty() && rest != "\r\n" && rest != "\n")) {
        note = std::wstring(kVersionFileName) + L" does not hold a version number; taken as 0";
        return 0;
    }
    return uint32_t(value);
}

std::wstring InstallSet(const std::wstring& installDir, const std::wstring& folder,
                        const std::vector<std::wstring>& names, uint32_t version)
{
    // File by file, each replaced whole; the version goes last, so an interrupted install is tried again.
    for (const std::wstring& name : names) {
        std::string bytes;
        std::wstring from = JoinPath(folder, name), to = JoinPath(installDir, name);
        if (!ReadWholeFile(from.c_str(), bytes))
            return L"cannot read the downloaded " + name + L" (error " + std::to_wstring(GetLastError()) + L")";
        if (!WriteWholeFile(to.c_str(), bytes.data(), bytes.size()))
            return L"cannot write " + to + L" (error " + std::to_wstring(GetLastError()) + L")";
    }
    std::string record = std::to_string(version) + "\r\n";
    std::wstring path = JoinPath(installDir, kVersionFileName);
    if (!WriteWholeFile(path.c_str(), record.data(), record.size()))
        return L"cannot write " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
    return std::wstring();
}
