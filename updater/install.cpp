#include "updater/install.h"

#include <windows.h>

#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"

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
    // The files and the version record are one set: a reader sees all of the old or all of the new.
    FileSet set(installDir);
    for (const std::wstring& name : names) {
        std::string bytes;
        if (!ReadWholeFile(JoinPath(folder, name).c_str(), bytes))
            return L"cannot read the downloaded " + name;
        if (!set.Add(name, std::move(bytes)))
            return name + L" cannot be a file of the installation folder";
    }
    set.Add(kVersionFileName, std::to_string(version) + "\r\n");

    // For tests: DIALPASS_TEST_CRASH_AFTER_STEPS=N ends the process after N changes to the folder, as
    // a kill from "Cancel update" or a power cut would, leaving the replacement unfinished.
    wchar_t steps[16] = {};
    bool crash = GetEnvironmentVariableW(L"DIALPASS_TEST_CRASH_AFTER_STEPS", steps, 16) > 0;
    if (crash)
        FileSet::StopAfterStepsForTesting(_wtoi(steps));
    if (set.Commit())
        return std::wstring();
    if (crash && !set.Error().oldSetKept)
        TerminateProcess(GetCurrentProcess(), kCrashedForTesting);
    std::wstring text = set.Error().Text();
    if (!set.Error().oldSetKept)
        text += L"; the replacement is finished or undone when the folder is next opened";
    return text;
}
