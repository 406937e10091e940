#include "updatesite.h"

#include <wincrypt.h>

#include "data/datafile.h"
#include "data/safefile.h"
#include "updater/crypto.h"

#ifndef DIALPASS_SIGNING_FROM_BIN
#define DIALPASS_SIGNING_FROM_BIN "../signing"
#endif

using namespace datatest;

namespace updatetest {

namespace {

std::wstring SiteState()
{
    return ProgramDir() + L"\\..\\update-site";
}

} // namespace

void WritePlainDatabase(const std::wstring& folder, const std::string& extra)
{
    WriteBytes(folder + L"\\country.dat", "276;Germany;49\r\n40;Austria;43\r\n" + extra);
    WriteBytes(folder + L"\\providers.dat", "26201;49;\r\n23201;43;\r\n");
    WriteBytes(folder + L"\\manufacturers.dat", "7;Sample;Sample phone card\r\n8;Other;Other card\r\n");
    WriteBytes(folder + L"\\Sample.dat", "49;0800111;\r\n43;0800222; (toll free)\r\n");
    WriteBytes(folder + L"\\Other.dat", "49;0800333;\r\n");
}

unsigned SitePort()
{
    return unsigned(atoi(ReadBytes(SiteState() + L"\\port").c_str()));
}

std::wstring SigningDir()
{
    return ProgramDir() + L"\\" L"" DIALPASS_SIGNING_FROM_BIN;
}

Site::Site() : dir(SiteState() + L"\\sites") {}

DWORD Site::Publish(const std::wstring& sources, const std::wstring& options, std::string* output)
{
    std::wstring program = ProgramDir() + L"\\dpdb.exe";
    ProgramRun run = RunAtOnce(program.c_str(), {L"\"" + program + L"\" publish \"" + sources + L"\" \"" + dir.Path() +
                                                 L"\" " + options}, 30000)[0];
    if (output)
        *output = run.output;
    return run.exitCode;
}

// Adds the test site's authority (PEM) to the current user's trusted roots, as an administrator
// would add a company's own; true when it is there.
bool TrustTestAuthority()
{
    static bool trusted = false;
    if (trusted)
        return true;
    std::string pem = ReadBytes(SiteState() + L"\\tls\\ca.crt");
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                             nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr);
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    trusted = root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                       size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (root)
        CertCloseStore(root, 0);
    return trusted;
}

std::wstring Site::Url(const std::string& mode) const
{
    std::wstring name = dir.Path().substr(dir.Path().rfind(L'\\') + 1);
    if (mode.compare(0, 6, "https-") == 0) {
        std::string port = ReadBytes(SiteState() + L"\\tls-port-" + std::wstring(mode.begin() + 6, mode.end()));
        if (!TrustTestAuthority() || port.empty())
            return L"https://localhost:1/no-test-authority";
        return L"https://localhost:" + std::to_wstring(atoi(port.c_str())) + L"/ok/" + name;
    }
    return L"http://127.0.0.1:" + std::to_wstring(SitePort()) + L"/" + std::wstring(mode.begin(), mode.end()) +
           L"/" + name;
}

bool Site::Resign(bool otherKey)
{
    PrivateKey key;
    std::string signature;
    std::wstring keyPath = SigningDir() + (otherKey ? L"\\other-private.pem" : L"\\private.pem");
    return ReadPrivateKeyPem(ReadBytes(keyPath), key).empty() && Sign(key, ReadBytes(dir / L"update.xml"), signature) &&
           WriteBytes(dir / L"update.xml.sig", signature);
}

Installation::Installation()
{
    CopySample(dir.Path());
    CopyFileW((ProgramDir() + L"\\Update.exe").c_str(), (dir / L"Update.exe").c_str(), FALSE);
}

std::map<std::wstring, std::string> Installation::Files() const
{
    std::map<std::wstring, std::string> files;
    ForEachEntry(dir.Path(), [&](const WIN32_FIND_DATAW& found) {
        std::wstring name = found.cFileName;
        // The log changes with every run; the folder's writer lock is an empty file that only marks it.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"update.log" && name != L"dialpass.lock") {
            std::string bytes = ReadBytes(dir / name);
            Sha256Digest digest{};
            Sha256(bytes.data(), bytes.size(), digest);
            files[name] = std::to_string(bytes.size()) + " bytes, SHA-256 " + ToHex(digest.data(), 4);
        }
    });
    return files;
}

UpdateRun RunUpdater(const Installation& installation, const std::wstring& baseUrl, DWORD timeoutMs,
                     bool withoutDrive)
{
    // The applet's command line: no program name, the folder in quotes with its trailing backslash.
    std::wstring dir = installation.Dir().substr(withoutDrive ? 2 : 0);
    std::wstring drive = installation.Dir().substr(0, 3);
    std::wstring arguments = baseUrl + L" \"" + dir + L"\" update.xml \"" + dir + L"\" \"\\Temp\\Dialpass\" \"" + dir +
                             L"update.log\"";
    UpdateRun run;
    DWORD begin = GetTickCount();
    std::wstring program = installation.Dir() + L"Update.exe";
    run.exitCode = RunAtOnce(program.c_str(), {arguments}, timeoutMs, drive.c_str())[0].exitCode;
    run.milliseconds = GetTickCount() - begin;
    run.log = ReadBytes(installation.Dir() + L"update.log");
    return run;
}

} // namespace updatetest
