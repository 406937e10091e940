#include "tools/dpdb/publish.h"

#include <windows.h>

#include <cwchar>

#include "data/datafile.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "updater/crypto.h"
#include "updater/install.h"
#include "updater/manifest.h"

const wchar_t kPublishHelp[] =
    L"Usage: dpdb publish SRC OUT --version N [--expires DAYS] [--key FILE]\n"
    L"\n"
    L"Checks the plain-text sources in SRC as \"build\" does, then writes into OUT what the update\n"
    L"site serves below its base URL: the scrambled database files, update.xml (version N, the\n"
    L"files' names, sizes and SHA-256) and update.xml.sig (its ECDSA P-256 signature). Serve OUT\n"
    L"as BASE (for example http://host/dialpass) with any static web server.\n"
    L"\n"
    L"  --version N     1 to 4294967295; must be higher than the version installed on the phones\n"
    L"  --expires DAYS  update.xml is refused this many days after publishing (default 30); a\n"
    L"                  negative number makes a description that has already expired\n"
    L"  --key FILE      the signing key (PEM, P-256); default: DIALPASS_SIGNING_KEY, else the\n"
    L"                  build's own key, signing\\private.pem beside the program's folder\n"
    L"\n"
    L"Nothing is written when SRC has errors or the key cannot be used.\n";

namespace {

enum { kOk = 0, kProblems = 1, kUsage = 2, kFileError = 3 };

std::wstring DefaultKeyPath()
{
    wchar_t buffer[1024] = {};
    DWORD length = GetEnvironmentVariableW(L"DIALPASS_SIGNING_KEY", buffer, ARRAYSIZE(buffer));
    if (length && length < ARRAYSIZE(buffer))
        return buffer;
    length = GetModuleFileNameW(nullptr, buffer, ARRAYSIZE(buffer));
    std::wstring program(buffer, length < ARRAYSIZE(buffer) ? length : 0);
    size_t cut = program.find_last_of(L"\\/");
    return (cut == std::wstring::npos ? std::wstring(L".") : program.substr(0, cut)) + L"\\..\\signing\\private.pem";
}

bool ReadNumber(const std::wstring& text, long long low, long long high, long long& value)
{
    if (text.empty() || text.size() > 11)
        return false;
    wchar_t* end = nullptr;
    value = std::wcstoll(text.c_str(), &end, 10);
    return end && !*end && value >= low && value <= high;
}

} // namespace

bool ReadVersion(const std::wstring& text, long long& version)
{
    return ReadNumber(text, 1, 0xFFFFFFFFll, version);
}

std::wstring ReadSigningKey(std::wstring keyPath, PrivateKey& key)
{
    if (keyPath.empty())
        keyPath = DefaultKeyPath();
    std::string pem;
    if (!ReadWholeFile(keyPath.c_str(), pem) || pem.empty())
        return keyPath + L": the signing key cannot be read (error " + std::to_wstring(GetLastError()) + L")";
    std::wstring keyError = ReadPrivateKeyPem(pem, key);
    SecureZeroMemory(&pem[0], pem.size());
    return keyError.empty() ? keyError : keyPath + L": " + keyError;
}

int AddSignedSet(std::vector<DbFile>& files, Manifest& manifest, const PrivateKey& key, const wchar_t* descriptionName,
                 FileSet& set, std::string& xml, std::string& signature, void (*err)(const std::wstring&))
{
    for (DbFile& file : files) {
        Scramble(&file.text[0], file.text.size());
        ManifestFile listed;
        listed.name = file.name;
        listed.size = uint32_t(file.text.size());
        if (!Sha256(file.text.data(), file.text.size(), listed.sha256)) {
            err(L"SHA-256 is not available");
            return kFileError;
        }
        manifest.files.push_back(listed);
        set.Add(file.name, std::move(file.text));
    }
    xml = WriteManifest(manifest);
    // What the updater would refuse would fail on every phone: refused here by the same rules.
    std::wstring refused = CheckManifest(manifest, xml);
    if (!refused.empty()) {
        err(L"the updater would refuse this update: " + std::wstring(descriptionName) + L" " + refused);
        return kProblems;
    }
    if (!Sign(key, xml, signature)) {
        err(L"CNG refuses to sign with this key");
        return kFileError;
    }
    return kOk;
}

int PublishCommand(const std::vector<std::wstring>& args, void (*out)(const std::wstring&),
                   void (*err)(const std::wstring&))
{
    std::vector<std::wstring> positional;
    std::wstring versionText, expiresText = L"30", keyPath;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        std::wstring* option = arg == L"--version" ? &versionText : arg == L"--expires" ? &expiresText
                                                                 : arg == L"--key"      ? &keyPath
                                                                                        : nullptr;
        if (arg == L"--help") {
            out(kPublishHelp);
            return kOk;
        }
        if (option) {
            if (i + 1 == args.size()) {
                err(arg + L" needs a value");
                return kUsage;
            }
            *option = args[++i];
        } else if (arg.compare(0, 2, L"--") == 0) {
            err(L"unknown option \"" + arg + L"\" (see dpdb publish --help)");
            return kUsage;
        } else {
            positional.push_back(arg);
        }
    }
    long long version = 0, days = 0;
    if (positional.size() != 2 || versionText.empty()) {
        err(L"publish takes SRC OUT --version N [--expires DAYS] [--key FILE]");
        return kUsage;
    }
    if (!ReadVersion(versionText, version)) {
        err(L"--version \"" + versionText + L"\" is not a number from 1 to 4294967295");
        return kUsage;
    }
    if (!ReadNumber(expiresText, -36500, 36500, days)) {
        err(L"--expires \"" + expiresText + L"\" is not a number of days");
        return kUsage;
    }
    const std::wstring &source = positional[0], &target = positional[1];

    PrivateKey key;
    std::wstring keyError = ReadSigningKey(keyPath, key);
    if (!keyError.empty()) {
        err(keyError);
        return kFileError;
    }

    DbCheckResult checked = CheckDatabase(source, true);
    for (const DbProblem& problem : checked.problems)
        out(FormatProblem(problem));
    if (checked.files.empty() || checked.Errors()) {
        err(source + L": the sources have errors; nothing was published");
        return kProblems;
    }
    Manifest manifest;
    manifest.version = uint32_t(version);
    manifest.expires = UtcNow() + uint64_t(days * (long long)kFileTimeDay);
    if (!MakeFolders(target)) {
        err(target + L": cannot create the folder: " + SystemErrorText(GetLastError()));
        return kFileError;
    }
    // The files, update.xml and its signature are replaced as one set, so that a site being served
    // never shows a description with the signature of another.
    FileSet set(target);
    std::string xml, signature;
    int code = AddSignedSet(checked.files, manifest, key, L"update.xml", set, xml, signature, err);
    if (code != kOk) {
        err(source + L": nothing was published");
        return code;
    }
    set.Add(L"update.xml", xml);
    set.Add(L"update.xml.sig", signature);
    if (!set.Commit()) {
        err(set.Error().Text());
        return kFileError;
    }
    DbCheckResult published = CheckDatabase(target, false);
    if (published.Errors()) {
        err(target + L": the published files do not check clean");
        return kProblems;
    }
    out(L"published version " + std::to_wstring(version) + L" of " + source + L" in " + target + L": " +
        std::to_wstring(manifest.files.size()) + L" files, valid until " + FormatUtcTime(manifest.expires));
    return kOk;
}
