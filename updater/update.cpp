#include "updater/update.h"

#include <windows.h>

#include <set>

#include "data/datafile.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "updater/install.h"
#include "updater/manifest.h"

namespace {

std::wstring Hex(const Sha256Digest& digest)
{
    std::string hex = ToHex(digest.data(), digest.size());
    return std::wstring(hex.begin(), hex.end());
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

const wchar_t kRunPrefix[] = L"run-";
const wchar_t kOwnerName[] = L"owner.lock";

// Deletes every file of folder and the folder.
void RemoveFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinPath(folder, L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(JoinPath(folder, found.cFileName).c_str());
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    RemoveDirectoryW(folder.c_str());
}

// Removes the download folders of runs that were killed (their owner.lock is gone).
void SweepAbandoned(const std::wstring& parent)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinPath(parent, std::wstring(kRunPrefix) + L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring folder = JoinPath(parent, found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            GetFileAttributesW(JoinPath(folder, kOwnerName).c_str()) == INVALID_FILE_ATTRIBUTES)
            RemoveFolder(folder);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

// A folder of this run's downloads inside the temporary folder, removed with its files at the end.
// While the run lives it holds owner.lock open (deleted when closed, by the system if the run is
// killed), so that a later run can tell abandoned folders from those of a run still going.
class RunFolder {
public:
    ~RunFolder() { Remove(); }
    bool Create(const std::wstring& parent)
    {
        if (!MakeFolders(parent))
            return false;
        path = JoinPath(parent, kRunPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount()));
        if (!CreateDirectoryW(path.c_str(), nullptr)) {
            path.clear();
            return false;
        }
        owner = CreateFileW(JoinPath(path, kOwnerName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        return owner != INVALID_HANDLE_VALUE;
    }
    void Remove()
    {
        if (owner != INVALID_HANDLE_VALUE)
            CloseHandle(owner);
        owner = INVALID_HANDLE_VALUE;
        if (!path.empty())
            RemoveFolder(path);
        path.clear();
    }
    std::wstring path;

private:
    HANDLE owner = INVALID_HANDLE_VALUE;
};

class Run {
public:
    Run(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
        const HttpTimeouts& timeouts)
        : arguments(arguments), keys(keys), log(log), timeouts(timeouts), started(GetTickCount64())
    {
    }

    UpdateResult Go()
    {
        log.Line(L"Checking for a newer card database at " + arguments.baseUrl);
        log.Line(L"Installation folder: " + arguments.installDir);
        SweepAbandoned(arguments.tempFolder);
        // An update that was killed while installing is finished (or undone) before anything is read.
        FileSetError recovery;
        if (!RecoverFolder(arguments.installDir, &recovery))
            return Fail(L"the installation folder cannot be brought to a whole set: " + recovery.Text());
        std::wstring note;
        installed = ReadInstalledVersion(arguments.installDir, note);
        if (!note.empty())
            log.Line(note);
        log.Line(L"Installed version: " + std::to_wstring(installed));

        std::wstring error = site.Open(arguments.baseUrl, timeouts);
        if (!error.empty())
            return Fail(error);
        site.deadline = started + kUpdateDeadlineMs;
        Manifest manifest;
        UpdateResult result = kUpdated;
        if (!FetchDescription(manifest, result))
            return result;
        if (!Download(manifest) || !CheckSet(manifest))
            return kUpdateFailed;

        std::vector<std::wstring> names;
        for (const ManifestFile& file : manifest.files)
            names.push_back(file.name);
        log.Line(L"Installing " + std::to_wstring(names.size()) + L" files into " + arguments.installDir);
        error = InstallSet(arguments.installDir, folder.path, names, manifest.version);
        if (!error.empty())
            return Fail(L"installing failed: " + error + L"; the installed database is left as it was");
        log.Line(L"Done: version " + std::to_wstring(manifest.version) + L" is installed (" + Elapsed() + L")");
        return kUpdated;
    }

private:
    UpdateResult Fail(const std::wstring& why)
    {
        log.Line(L"FAILED: " + why);
        log.Line(L"Nothing was installed; the card database stays at version " + std::to_wstring(installed) + L" (" +
                 Elapsed() + L")");
        return kUpdateFailed;
    }

    std::wstring Elapsed() const
    {
        return std::to_wstring((GetTickCount64() - started) / 1000.0).substr(0, 5) + L" s";
    }

    bool PastDeadline() const { return GetTickCount64() - started > kUpdateDeadlineMs; }

    bool Fetch(const std::wstring& name, size_t maxBytes, const wchar_t* limit, std::string& body)
    {
        ULONGLONG begin = GetTickCount64();
        std::wstring error = site.Get(name, maxBytes, limit, body);
        if (!error.empty()) {
            Fail(L"downloading " + name + L" from " + arguments.baseUrl + L": " + error);
            return false;
        }
        log.Line(L"Downloaded " + name + L": " + std::to_wstring(body.size()) + L" bytes in " +
                 std::to_wstring(GetTickCount64() - begin) + L" ms");
        return true;
    }

    bool FetchDescription(Manifest& manifest, UpdateResult& result)
    {
        result = kUpdateFailed;
        const std::wstring& name = arguments.descriptionName;
        std::string description, signature;
        if (!Fetch(name, kMaxManifestSize, L"allowed for an update description", description) ||
            !Fetch(name + L".sig", kSignatureSize, L"of a signature", signature))
            return false;
        // Nothing of the description is read before its signature is known to be good.
        if (signature.size() != kSignatureSize) {
            Fail(name + L".sig has " + std::to_wstring(signature.size()) + L" bytes; a signature has " +
                 std::to_wstring(kSignatureSize));
            return false;
        }
        bool good = false;
        for (const PublicKey& key : keys)
            good = good || VerifySignature(key, description, signature);
        if (!good) {
            Fail(L"bad signature: " + name + L".sig is not a signature of " + name +
                 L" by a key this updater trusts (one of them was changed, or another key signed it)");
            return false;
        }
        log.Line(L"The signature of " + name + L" is good");
        std::wstring error = ParseManifest(description, manifest);
        if (!error.empty()) {
            Fail(name + L" " + error);
            return false;
        }
        uint64_t now = UtcNow();
        log.Line(name + L": version " + std::to_wstring(manifest.version) + L", " +
                 std::to_wstring(manifest.files.size()) + L" files, valid until " + FormatUtcTime(manifest.expires));
        if (now > manifest.expires) {
            Fail(name + L" expired at " + FormatUtcTime(manifest.expires) + L" (now " + FormatUtcTime(now) +
                 L"): an outdated description is refused, since it may hide a newer database");
            return false;
        }
        if (manifest.version == installed) {
            log.Line(L"Nothing new: version " + std::to_wstring(installed) + L" is already installed");
            result = kNothingNew;
            return false;
        }
        if (manifest.version < installed) {
            Fail(L"rollback refused: the site offers version " + std::to_wstring(manifest.version) +
                 L", older than the installed version " + std::to_wstring(installed));
            return false;
        }
        for (const ManifestFile& file : manifest.files) {
            if (file.size == 0 || file.size > kMaxDataFileSize) {
                Fail(name + L" lists " + file.name + L" with " + std::to_wstring(file.size) +
                     L" bytes; a database file has 1 to 65,535 bytes");
                return false;
            }
        }
        return true;
    }

    bool Download(const Manifest& manifest)
    {
        if (!folder.Create(arguments.tempFolder)) {
            Fail(L"cannot create a folder for the downloads in " + arguments.tempFolder + L" (error " +
                 std::to_wstring(GetLastError()) + L")");
            return false;
        }
        log.Line(L"Downloading into " + folder.path);
        for (const ManifestFile& file : manifest.files) {
            if (PastDeadline()) {
                Fail(L"the update takes longer than " + std::to_wstring(kUpdateDeadlineMs / 1000) +
                     L" seconds; stopped before " + file.name);
                return false;
            }
            std::string bytes;
            if (!Fetch(file.name, file.size, (L"listed in " + arguments.descriptionName).c_str(), bytes))
                return false;
            Sha256Digest digest{};
            if (bytes.size() != file.size) {
                Fail(file.name + L" has " + std::to_wstring(bytes.size()) + L" bytes; " + arguments.descriptionName +
                     L" lists " + std::to_wstring(file.size));
                return false;
            }
            if (!Sha256(bytes.data(), bytes.size(), digest) || digest != file.sha256) {
                Fail(L"hash mismatch: the SHA-256 of " + file.name + L" is " + Hex(digest) + L", " +
                     arguments.descriptionName + L" lists " + Hex(file.sha256));
                return false;
            }
            std::wstring path = JoinPath(folder.path, file.name);
            if (!WriteWholeFile(path.c_str(), bytes.data(), bytes.size())) {
                Fail(L"cannot write " + path + L" (error " + std::to_wstring(GetLastError()) + L")");
                return false;
            }
        }
        log.Line(L"Every file has its listed size and SHA-256");
        return true;
    }

    // The new set as the applet will read it: every line of every file it reads must parse.
    bool CheckSet(const Manifest& manifest)
    {
        DbCheckResult checked = CheckDatabase(folder.path, false);
        std::wstring prefix = JoinPath(folder.path, L"");
        unsigned errors = 0;
        for (DbProblem problem : checked.problems) {
            if (problem.warning)
                continue;
            if (problem.file.compare(0, prefix.size(), prefix) == 0)
                problem.file.erase(0, prefix.size());
            if (++errors <= 20)
                log.Line(L"Check error: " + FormatProblem(problem));
        }
        if (errors) {
            Fail(L"the new database does not check clean: " + std::to_wstring(errors) + L" errors" +
                 (errors > 20 ? L" (the first 20 are above)" : L""));
            return false;
        }
        for (const ManifestFile& file : manifest.files) {
            bool read = false;
            for (const DbFile& checkedFile : checked.files)
                read = read || SameName(checkedFile.name, file.name);
            if (!read) {
                Fail(arguments.descriptionName + L" lists " + file.name +
                     L", which the card database does not use (neither a fixed file nor named in manufacturers.dat)");
                return false;
            }
        }
        for (const DbFile& checkedFile : checked.files) {
            bool listed = false;
            for (const ManifestFile& file : manifest.files)
                listed = listed || SameName(checkedFile.name, file.name);
            if (!listed) {
                Fail(L"the new database reads " + checkedFile.name + L", which " + arguments.descriptionName +
                     L" does not list");
                return false;
            }
        }
        log.Line(L"The new database checks clean: " + std::to_wstring(checked.files.size()) + L" files, " +
                 std::to_wstring(checked.records) + L" records");
        return true;
    }

    const UpdateArguments& arguments;
    const std::vector<PublicKey>& keys;
    UpdateLog& log;
    HttpTimeouts timeouts;
    ULONGLONG started;
    uint32_t installed = 0;
    UpdateSite site;
    RunFolder folder;
};

} // namespace

UpdateResult RunUpdate(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
                       const HttpTimeouts& timeouts)
{
    return Run(arguments, keys, log, timeouts).Go();
}
