#include "updater/install.h"

#include <windows.h>

#include "base/handle.h"
#include "base/path.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "updater/manifest.h"

const wchar_t kVersionFileName[] = L"database.ver";
const wchar_t kRecordFileName[] = L"database.xml";
const wchar_t kRecordSignatureFileName[] = L"database.sig";

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

std::string VersionRecordBytes(const InstalledSet& set)
{
    return std::to_string(set.version) + "\r\n" + (set.key.empty() ? std::string() : "key " + set.key + "\r\n");
}

namespace {

// database.ver's bytes as a set; false when they are not a version record.
bool ParseVersionRecord(const std::string& bytes, InstalledSet& set)
{
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
            return false;
        rest = "\r\n";
    }
    if (!digits || value > 0xFFFFFFFFull || (!rest.empty() && rest != "\r\n" && rest != "\n"))
        return false;
    set.version = uint32_t(value);
    set.key = key;
    return true;
}

enum class RecordState { absent, bad, good };

// Reads the signed record: good when database.sig is a signature of database.xml by the key named
// wantedKey (any trusted key when empty) and the description parses; signer gets that key's index.
RecordState ReadRecord(const std::wstring& installDir, const std::vector<PublicKey>& keys, const std::string& wantedKey,
                       Manifest& manifest, size_t& signer, std::wstring& problem)
{
    std::string description, signature;
    bool hasDescription = ReadWholeFile(JoinPath(installDir, kRecordFileName).c_str(), description);
    bool hasSignature = ReadWholeFile(JoinPath(installDir, kRecordSignatureFileName).c_str(), signature);
    const std::wstring both = std::wstring(kRecordFileName) + L", " + kRecordSignatureFileName;
    if (!hasDescription && !hasSignature) {
        problem = L"the installed set has no signed record (" + both + L")";
        return RecordState::absent;
    }
    if (!hasDescription || !hasSignature) {
        problem = L"the installed set's record is missing " +
                  std::wstring(hasDescription ? kRecordSignatureFileName : kRecordFileName);
        return RecordState::bad;
    }
    // The newest key first, as the description on the site is judged.
    for (size_t i = keys.size(); i-- > 0;) {
        if ((wantedKey.empty() || KeyId(keys[i]) == wantedKey) && signature.size() == kSignatureSize &&
            VerifySignature(keys[i], description, signature)) {
            std::wstring error = ParseManifest(description, manifest);
            if (!error.empty()) {
                problem = std::wstring(kRecordFileName) + L" " + error;
                return RecordState::bad;
            }
            signer = i;
            return RecordState::good;
        }
    }
    problem = std::wstring(kRecordSignatureFileName) + L" is not a signature of " + kRecordFileName + L" by " +
              (wantedKey.empty() ? std::wstring(L"a key this updater trusts")
                                 : L"the installed set's key " + std::wstring(wantedKey.begin(), wantedKey.end()));
    return RecordState::bad;
}

// Adds to notes each file that manifest lists and installDir does not hold with its size and SHA-256.
void CompareWithRecord(const std::wstring& installDir, const Manifest& manifest, std::vector<std::wstring>& notes)
{
    for (const ManifestFile& file : manifest.files) {
        std::string bytes;
        Sha256Digest digest{};
        if (!ReadWholeFile(JoinPath(installDir, file.name).c_str(), bytes))
            notes.push_back(file.name + L" is missing");
        else if (bytes.size() != file.size)
            notes.push_back(file.name + L" has " + std::to_wstring(bytes.size()) + L" bytes; the installed record lists " +
                            std::to_wstring(file.size));
        else if (!Sha256(bytes.data(), bytes.size(), digest) || digest != file.sha256)
            notes.push_back(file.name + L" has another SHA-256 than the installed record lists");
    }
}

} // namespace

InstalledState ReadInstalledState(const std::wstring& installDir, const std::vector<PublicKey>& keys)
{
    InstalledState state;
    std::string bytes;
    DWORD code = 0;
    bool hasVersion = ReadWholeFile(JoinPath(installDir, kVersionFileName).c_str(), bytes, &code) ||
                      (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND);
    InstalledSet recorded;
    bool versionGood = hasVersion && ParseVersionRecord(bytes, recorded);

    Manifest manifest;
    size_t signer = 0;
    std::wstring problem;
    RecordState record = ReadRecord(installDir, keys, versionGood ? recorded.key : std::string(), manifest, signer,
                                    problem);
    const std::wstring versionName = kVersionFileName;
    if (record == RecordState::good) {
        InstalledSet signedSet{manifest.version, KeyId(keys[signer])};
        if (!versionGood) {
            // The record is signed and written with every set: it tells the version that database.ver lost.
            state.set = signedSet;
            state.notes.push_back(versionName + (hasVersion ? L" is damaged" : L" is missing") +
                                  L"; the installed set's signed record says version " +
                                  std::to_wstring(manifest.version));
            return state;
        }
        state.set = recorded;
        if (state.set.key.empty())
            state.set.key = signedSet.key;
        if (manifest.version != recorded.version) {
            state.notes.push_back(std::wstring(kRecordFileName) + L" describes version " +
                                  std::to_wstring(manifest.version) + L", " + versionName + L" says " +
                                  std::to_wstring(recorded.version));
            return state;
        }
        CompareWithRecord(installDir, manifest, state.notes);
        state.whole = state.notes.empty();
        return state;
    }
    if (versionGood) {
        state.set = recorded;
        state.notes.push_back(problem);
    } else if (hasVersion || record == RecordState::bad) {
        state.refused = (hasVersion ? versionName + L" is damaged" : versionName + L" is missing") + L" and " +
                        problem + L", so nothing tells which version is installed; no set is installed, since it "
                                  L"could be older than the installed one (deleting " + versionName + L", " +
                        kRecordFileName + L" and " + kRecordSignatureFileName +
                        L" lets the next update install the site's set)";
    }
    return state;
}

namespace {

// The spelling of name that installDir already has, else name.
std::wstring InstalledSpelling(const std::wstring& installDir, const std::wstring& name)
{
    WIN32_FIND_DATAW found;
    if (!UniqueFind(FindFirstFileW(JoinPath(installDir, name).c_str(), &found)))
        return name;
    std::wstring spelling = found.cFileName;
    return SameName(spelling, name) ? spelling : name;
}

} // namespace

std::wstring InstallSet(const std::wstring& installDir, std::vector<DownloadedFile> files, const InstalledSet& set,
                        const SignedDescription& record)
{
    // The files and the records are one set: a reader sees all of the old or all of the new.
    FileSet replacement(installDir);
    for (DownloadedFile& file : files) {
        std::wstring name = InstalledSpelling(installDir, file.first);
        if (!replacement.Add(name, std::move(file.second)))
            return name + L" cannot be a file of the installation folder";
    }
    replacement.Add(kVersionFileName, VersionRecordBytes(set));
    if (!record.description.empty()) {
        replacement.Add(kRecordFileName, record.description);
        replacement.Add(kRecordSignatureFileName, record.signature);
    }
    // For tests: DIALPASS_TEST_CRASH_AFTER_STEPS=N ends the process after N changes to the folder, as
    // a kill from "Cancel update" or a power cut would, leaving the replacement unfinished.
    wchar_t steps[16] = {};
    bool crash = GetEnvironmentVariableW(L"DIALPASS_TEST_CRASH_AFTER_STEPS", steps, 16) > 0;
    if (crash)
        FileSet::StopAfterStepsForTesting(_wtoi(steps));
    if (replacement.Commit())
        return std::wstring();
    if (crash && !replacement.Error().oldSetKept)
        TerminateProcess(GetCurrentProcess(), kCrashedForTesting);
    std::wstring text = replacement.Error().Text();
    if (!replacement.Error().oldSetKept)
        text += L"; the replacement is finished or undone when the folder is next opened";
    return text;
}
