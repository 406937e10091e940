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

std::string KeyId(const PublicKey& key)
{
    Sha256Digest digest{};
    Sha256(key.data(), key.size(), digest);
    return ToHex(digest.data(), 8);
}

InstalledSet ReadInstalledSet(const std::wstring& installDir, std::wstring& note)
{
    note.clear();
    InstalledSet set;
    std::string bytes;
    std::wstring path = JoinPath(installDir, kVersionFileName);
    if (!ReadWholeFile(path.c_str(), bytes))
        return set;
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < bytes.size() && digits < 10 && bytes[digits] >= '0' && bytes[digits] <= '9')
        value = value * 10 + unsigned(bytes[digits++] - '0');
    std::string rest = bytes.substr(digits);
    std::string key;
    const std::string keyLine = "\r\nkey ";
    if (rest.compare(0, keyLine.size(), keyLine) == 0 && rest.size() == keyLine.size() + 16 + 2 &&
        rest.compare(rest.size() - 2, 2, "\r\n") == 0) {
        key = rest.substr(keyLine.size(), 16);
        unsigned char id[8];
        if (!FromHex(key, id, sizeof(id)))
            key = "-";
        rest = "\r\n";
    }
    if (!digits || value > 0xFFFFFFFFull || key == "-" || (!rest.empty() && rest != "\r\n" && rest != "\n")) {
        note = std::wstring(kVersionFileName) + L" does not hold a version number; taken as 0";
        return set;
    }
    set.version = uint32_t(value);
    set.key = key;
    return set;
}

namespace {

// The spelling of name that installDir already has, else name.
std::wstring InstalledSpelling(const std::wstring& installDir, const std::wstring& name)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinPath(installDir, name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return name;
    FindClose(search);
    std::wstring spelling = found.cFileName;
    return CompareStringOrdinal(spelling.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL ? spelling : name;
}

} // namespace

std::wstring InstallSet(const std::wstring& installDir, std::vector<DownloadedFile> files, const InstalledSet& record)
{
    // The files and the version record are one set: a reader sees all of the old or all of the new.
    FileSet set(installDir);
    for (DownloadedFile& file : files) {
        std::wstring name = InstalledSpelling(installDir, file.first);
        if (!set.Add(name, std::move(file.second)))
            return name + L" cannot be a file of the installation folder";
    }
    set.Add(kVersionFileName, std::to_string(record.version) + "\r\n" +
                                  (record.key.empty() ? std::string() : "key " + record.key + "\r\n"));
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
