#include "updater/update.h"

#include <windows.h>

#include <set>

#include "base/handle.h"
#include "base/path.h"
#include "data/datafile.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "updater/install.h"
#include "updater/manifest.h"
#include "updater/runfolder.h"
#include "updater/watchdog.h"

namespace {

std::wstring Hex(const Sha256Digest& digest)
{
    std::string hex = ToHex(digest.data(), digest.size());
    return std::wstring(hex.begin(), hex.end());
}

// For tests: DIALPASS_TEST_TAMPER_AT=N changes the first downloaded file in the run folder at step N
// (1 after the downloads, 2 after the check), as someone else writing there would.
void TamperForTesting(int step, const std::wstring& folder, const std::wstring& name)
{
    wchar_t at[8] = {};
    if (!GetEnvironmentVariableW(L"DIALPASS_TEST_TAMPER_AT", at, 8) || _wtoi(at) != step)
        return;
    std::string bytes;
    std::wstring path = JoinPath(folder, name);
    ReadWholeFile(path.c_str(), bytes);
    std::string planted = "1;Planted;1\r\n";  // a line that checks clean, so that only the comparison sees it
    Scramble(&planted[0], planted.size(), bytes.size());
    bytes += planted;
    DeleteFileW(path.c_str());
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &done, nullptr);
}

class Run {
public:
    Run(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
        const UpdateLimits& limits)
        : arguments(arguments), keys(keys), log(log), limits(limits), started(GetTickCount64()),
          watchdog([this](const std::wstring& why) { Fail(why); }, kUpdateFailed)
    {
    }

    UpdateResult Go()
    {
        log.Line(L"Checking for a newer card database at " + arguments.baseUrl);
        log.Line(L"Installation folder: " + arguments.installDir);
        if (limits.memoryBytes)
            watchdog.Start(limits.memoryBytes);
        SweepAbandoned(arguments.tempFolder);
        // An update that was killed while installing is finished (or undone) before anything is read.
        FileSetError recovery;
        if (!RecoverFolder(arguments.installDir, &recovery))
            return Fail(L"the installation folder cannot be brought to a whole set: " + recovery.Text());
        InstalledState state = ReadInstalledState(arguments.installDir, keys);
        installed = state.set;
        if (!state.refused.empty()) {
            versionUnknown = true;
            return Fail(state.refused);
        }
        log.Line(L"Installed version: " + std::to_wstring(installed.version) +
                 (installed.key.empty() ? std::wstring() : L", signed by key " + Wide(installed.key)));
        // A set that is not what its signed record says is installed again, even at the same version.
        for (const std::wstring& note : state.notes)
            log.Line(L"Not whole: " + note);
        whole = state.whole;
        if (whole)
            log.Line(L"Every installed file has the size and SHA-256 of the installed set's signed record");

        std::wstring error = site.Open(arguments.baseUrl, limits.timeouts);
        if (!error.empty())
            return Fail(error);
        site.deadline = started + kUpdateDeadlineMs;
        if (limits.memoryBytes)
            site.watchdog = &watchdog;
        Manifest manifest;
        UpdateResult result = kUpdated;
        if (!FetchDescription(manifest, result))
            return result;
        std::vector<DownloadedFile> files;
        if (!Download(manifest, files))
            return kUpdateFailed;
        TamperForTesting(1, folder.Path(), files.front().first);
        if (!CheckSet(manifest))
            return kUpdateFailed;
        TamperForTesting(2, folder.Path(), files.front().first);
        if (!SameOnDisk(files))
            return kUpdateFailed;
        // Nothing of the network is waited on from here: installing must not be cut short.
        watchdog.Stop();

        log.Line(L"Installing " + std::to_wstring(files.size()) + L" files into " + arguments.installDir);
        error = InstallSet(arguments.installDir, std::move(files), {manifest.version, signer}, record);
        if (!error.empty())
            return Fail(L"installing failed: " + error + L"; the installed database is left as it was");
        log.Line(L"Done: version " + std::to_wstring(manifest.version) + L" is installed" +
                 (reinstalling ? L" again, whole" : L"") + L" (" + Elapsed() + L")");
        return kUpdated;
    }

private:
    static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

    UpdateResult Fail(const std::wstring& why)
    {
        log.Line(L"FAILED: " + why);
        log.Line(L"Nothing was installed; the card database stays " +
                 (versionUnknown ? std::wstring(L"as it was") : L"at version " + std::to_wstring(installed.version)) +
                 L" (" + Elapsed() + L")");
        return kUpdateFailed;
    }

    std::wstring Elapsed() const
    {
        return std::to_wstring((GetTickCount64() - started) / 1000.0).substr(0, 5) + L" s, at most " +
               std::to_wstring(Watchdog::MemoryInUse(true) >> 20) + L" MiB";
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

    // The index in keys of the newest key (keys run from the oldest to the newest) that signed the
    // installed set: -1 for a key this updater no longer trusts, 0 for a set recorded without its key.
    int InstalledKeyIndex() const
    {
        if (installed.key.empty())
            return 0;
        for (size_t i = keys.size(); i-- > 0;)
            if (KeyId(keys[i]) == installed.key)
                return int(i);
        return -1;
    }

    // Rollback is judged per key: a set signed by a newer key than the installed one is taken whatever
    // its version (the way back after a key leaked or a wrong version went out); an older key is refused.
    bool AcceptsVersion(const Manifest& manifest, int signerIndex, UpdateResult& result)
    {
        int installedIndex = InstalledKeyIndex();
        if (signerIndex > installedIndex) {
            if (installed.version)
                log.Line(L"Signed by a newer key than the installed set: version " +
                         std::to_wstring(manifest.version) + L" replaces version " +
                         std::to_wstring(installed.version) + L" whatever their order");
            return true;
        }
        if (signerIndex < installedIndex) {
            Fail(L"rollback refused: the site's description is signed by an older key than the installed set");
            return false;
        }
        if (manifest.version == installed.version) {
            if (!whole) {
                log.Line(L"Version " + std::to_wstring(installed.version) +
                         L" is installed but not whole (see above): it is installed again from the site");
                reinstalling = true;
                return true;
            }
            log.Line(L"Nothing new: version " + std::to_wstring(installed.version) + L" is already installed");
            result = kNothingNew;
            return false;
        }
        if (manifest.version < installed.version) {
            Fail(L"rollback refused: the site offers version " + std::to_wstring(manifest.version) +
                 L", older than the installed version " + std::to_wstring(installed.version));
            return false;
        }
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
        int signerIndex = -1;
        for (size_t i = 0; i < keys.size(); ++i)
            if (VerifySignature(keys[i], description, signature))
                signerIndex = int(i);
        if (signerIndex < 0) {
            Fail(L"bad signature: " + name + L".sig is not a signature of " + name +
                 L" by a key this updater trusts (one of them was changed, or another key signed it)");
            return false;
        }
        signer = KeyId(keys[size_t(signerIndex)]);
        record = {description, signature};
        log.Line(L"The signature of " + name + L" is good (key " + Wide(signer) + L")");
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
        return AcceptsVersion(manifest, signerIndex, result);
    }

    // Downloads every file into memory (what is installed is these bytes) and into the run folder,
    // where the check reads them.
    bool Download(const Manifest& manifest, std::vector<DownloadedFile>& files)
    {
        std::wstring problem = folder.Create(arguments.tempFolder);
        if (!problem.empty()) {
            Fail(L"no folder for the downloads: " + problem);
            return false;
        }
        log.Line(L"Downloading into " + folder.Path());
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
            // As every file the product writes: whole under a temporary name, then renamed; a full disk says so.
            std::wstring path = JoinPath(folder.Path(), file.name);
            SafeFileWriter writer;
            DWORD code = writer.Create(folder.Path(), L".new") && writer.Write(bytes.data(), bytes.size()) &&
                                 writer.Flush()
                             ? writer.ReplaceTarget(path, false)
                             : writer.Failure();
            if (code != ERROR_SUCCESS) {
                Fail(L"cannot write " + path + L": " + SystemErrorText(code));
                return false;
            }
            files.emplace_back(file.name, std::move(bytes));
        }
        log.Line(L"Every file has its listed size and SHA-256");
        return true;
    }

    // The check read the run folder: what it read must be the verified bytes that will be installed.
    bool SameOnDisk(const std::vector<DownloadedFile>& files)
    {
        for (const DownloadedFile& file : files) {
            std::string bytes;
            ReadWholeFile(JoinPath(folder.Path(), file.first).c_str(), bytes);
            if (bytes != file.second) {
                Fail(file.first + L" was changed in " + folder.Path() +
                     L" after it was verified; someone else writes in the temporary folder");
                return false;
            }
        }
        return true;
    }

    // The new set as the applet will read it: every line of every file it reads must parse.
    bool CheckSet(const Manifest& manifest)
    {
        DbCheckResult checked = CheckDatabase(folder.Path(), false);
        std::wstring prefix = JoinPath(folder.Path(), L"");
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
    UpdateLimits limits;
    ULONGLONG started;
    InstalledSet installed;
    bool versionUnknown = false;  // nothing tells the installed version (a damaged database.ver)
    bool whole = false;           // the installed files are those its signed record lists
    bool reinstalling = false;    // the installed version again, to make the set whole
    std::string signer;           // the id of the key that signed the description
    SignedDescription record;     // the description as signed, kept as the installed set's record
    RunFolder folder;             // before site and watchdog: it is removed after they are done
    UpdateSite site;
    Watchdog watchdog;
};

} // namespace

UpdateResult RunUpdate(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
                       const UpdateLimits& limits)
{
    return Run(arguments, keys, log, limits).Go();
}
