// The updater against the local update site (tools/update-site, started by ctest): good updates, every attack or
// fault (the installed set stays, the log says why), a kill while installing; the Update page in the real sheet.
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <wincrypt.h>

#include <cstring>
#include <functional>
#include <map>

#include "data/records.h"
#include "data/safefile.h"
#include "resources/resource.h"
#include "support/sheetdriver.h"
#include "updater/install.h"
#include "updater/manifest.h"
#include "updater/update.h"

using namespace datatest;

namespace {

std::wstring SiteState() { return ProgramDir() + L"\\..\\update-site"; }
unsigned SitePort() { return unsigned(atoi(ReadBytes(SiteState() + L"\\port").c_str())); }  // 0: not running

// The build's signing key, or the other test key, from the build's key pair folder.
PrivateKey SigningKey(bool other = false)
{
    PrivateKey key;
    std::wstring file = other ? L"\\other-private.pem" : L"\\private.pem";
    EXPECT_EQ(ReadPrivateKeyPem(ReadBytes(ProgramDir() + L"\\" L"" DIALPASS_SIGNING_FROM_BIN + file), key), L"");
    return key;
}

// Trusts the test site's authority as an administrator would a company's own; true when it is trusted.
bool TrustTestAuthority()
{
    std::string pem = ReadBytes(SiteState() + L"\\tls\\ca.crt"), der(pem.size(), '\0');  // DER is the shorter
    DWORD size = DWORD(der.size());
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    bool trusted = root && !pem.empty() &&
                   CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER,
                                        reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr) &&
                   CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                    size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (root)
        CertCloseStore(root, 0);
    return trusted;
}

// A folder on the local site, removed at the end.
class Site : public TempDir {
public:
    Site() : TempDir(SiteState() + L"\\sites") {}
    // The base URL that serves this site in the server's behaviour mode ("ok", "stall-body" ...); "https-NAME"
    // at https://localhost with the certificate NAME (good, expired, wronghost, untrusted, clientonly; see site.sh).
    std::wstring Url(const std::string& mode = "ok") const
    {
        std::wstring name = Path().substr(Path().rfind(L'\\') + 1);
        if (mode.compare(0, 6, "https-") == 0) {
            std::string port = ReadBytes(SiteState() + L"\\tls-port-" + std::wstring(mode.begin() + 6, mode.end()));
            if (!TrustTestAuthority() || port.empty())
                return L"https://localhost:1/no-test-authority";
            return L"https://localhost:" + std::to_wstring(atoi(port.c_str())) + L"/ok/" + name;
        }
        return L"http://127.0.0.1:" + std::to_wstring(SitePort()) + L"/" + std::wstring(mode.begin(), mode.end()) +
               L"/" + name;
    }
    // Replaces the first `from` in update.xml with `to` and signs it again with the build's key (or the other key).
    void ReplaceInManifest(const std::string& from, const std::string& to, bool otherKey = false)
    {
        std::string xml = ReadBytes(*this / L"update.xml"), signature;
        size_t at = xml.find(from);
        ASSERT_NE(at, std::string::npos) << xml;
        ASSERT_TRUE(Sign(SigningKey(otherKey), xml.replace(at, from.size(), to), signature));
        WriteBytes(*this / L"update.xml", xml);
        WriteBytes(*this / L"update.xml.sig", signature);
    }
};

// An installation folder holding the sample database and its Update.exe, or the program updater in its place.
class Installation : public TempDir {
public:
    explicit Installation(const wchar_t* updater = nullptr)
    {
        CopySample(Path());
        if (updater)
            CopyFileW((ProgramDir() + L"\\" + updater).c_str(), (*this / L"Update.exe").c_str(), FALSE);
    }
    std::wstring Dir() const { return Path() + L"\\"; }
    // Every file by name, its size and the start of its SHA-256; but the log and the writer lock, which change.
    std::map<std::wstring, std::string> Files() const
    {
        std::map<std::wstring, std::string> files;
        ForEachEntry(Path(), [&](const WIN32_FIND_DATAW& found) {
            std::wstring name = found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY || name == L"update.log" || name == L"dialpass.lock")
                return;
            std::string bytes = ReadBytes(*this / name);
            Sha256Digest digest{};
            Sha256(bytes.data(), bytes.size(), digest);
            files[name] = std::to_string(bytes.size()) + " bytes, SHA-256 " + ToHex(digest.data(), 4);
        });
        return files;
    }
    // The applet's arguments for RunUpdate in this process.
    UpdateArguments Arguments(const std::wstring& url) const
    {
        UpdateArguments arguments;
        EXPECT_EQ(ParseArguments(SplitCommandLine(UpdaterArguments(url.c_str(), Dir().c_str()).c_str()), arguments), L"");
        return arguments;
    }
};

struct UpdateRun {
    DWORD exitCode = 0xFFFFFFFF;
    DWORD milliseconds = 0;
    std::string log;
    bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }
};

// Runs DIR\Update.exe with the applet's arguments (90 s at most) and a test hook (variable, value) when given;
// withoutDrive: DIR without its drive (as "InstallDir" may hold it), the updater started on that drive.
UpdateRun RunUpdater(const Installation& installation, const std::wstring& baseUrl, bool withoutDrive = false,
                     const wchar_t* hook = nullptr, const std::wstring& value = L"")
{
    std::wstring dir = installation.Dir().substr(withoutDrive ? 2 : 0), drive = installation.Dir().substr(0, 3);
    UpdateRun run;
    if (hook)
        SetEnvironmentVariableW(hook, value.c_str());
    DWORD begin = GetTickCount();
    run.exitCode = RunAtOnce((installation / L"Update.exe").c_str(), {UpdaterArguments(baseUrl.c_str(), dir.c_str())},
                             90000, drive.c_str())[0].exitCode;
    run.milliseconds = GetTickCount() - begin;
    if (hook)
        SetEnvironmentVariableW(hook, nullptr);
    run.log = ReadBytes(installation.Dir() + L"update.log");
    return run;
}

// A site that dpdb published as version 2 of a small database adding Zembla, and an installation of the sample.
class UpdateTest : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_NE(SitePort(), 0u) << "the local update site is not running (ctest starts it: update_site_up)";
        WriteBytes(sources / L"country.dat", "276;Germany;49\r\n40;Austria;43\r\n380;Zembla;380\r\n");
        WriteBytes(sources / L"providers.dat", "26201;49;\r\n23201;43;\r\n");
        WriteBytes(sources / L"manufacturers.dat", "7;Sample;Sample phone card\r\n8;Other;Other card\r\n");
        WriteBytes(sources / L"Sample.dat", "49;0800111;\r\n43;0800222; (toll free)\r\n");
        WriteBytes(sources / L"Other.dat", "49;0800333;\r\n");
        std::wstring dpdb = ProgramDir() + L"\\dpdb.exe";
        ProgramRun run = RunAtOnce(dpdb.c_str(), {L"\"" + dpdb + L"\" publish \"" + sources.Path() + L"\" \"" +
                                                  site.Path() + L"\" --version 2"}, 30000)[0];
        ASSERT_EQ(run.exitCode, 0u) << run.output;
    }
    void TearDown() override { CoUninitialize(); }

    TempDir sources;
    Site site;
    Installation installation;
};

void FlipByte(const std::wstring& path, size_t at)
{
    std::string bytes = ReadBytes(path);
    bytes[at % bytes.size()] ^= 0x20;
    WriteBytes(path, bytes);
}

// Links are made and removed by this machine's own programs (Linux's ln and rm): the tests run under Wine.
std::wstring UnixPath(const std::wstring& path)
{
    using GetUnixName = char*(CDECL*)(const wchar_t*);
    char* unix = reinterpret_cast<GetUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")))(path.c_str());
    std::wstring text(unix, unix + strlen(unix));
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}
void Shell(const std::wstring& command) { RunAtOnce(nullptr, {command}, 10000); }

// The site's set is installed: its files, its signed description and signature as the record, its version.
void ExpectSiteSetInstalled(const Installation& installation, const Site& site, const std::string& version)
{
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Sample.dat", L"Other.dat"})
        EXPECT_EQ(ReadBytes(installation / name), ReadBytes(site / name)) << ToUtf8(name);
    EXPECT_EQ(ReadBytes(installation / L"database.xml"), ReadBytes(site / L"update.xml"));
    EXPECT_EQ(ReadBytes(installation / L"database.sig"), ReadBytes(site / L"update.xml.sig"));
    EXPECT_EQ(ReadBytes(installation / L"database.ver").substr(0, version.size() + 6), version + "\r\nkey ");
}

// One installation through updates: Update.exe over TLS, given the folder without its drive, past links planted
// in the temporary folder; in process, a set not whole is installed again; while the site's key is replaced both
// keys are trusted, rollback judged per key, and a damaged database.ver lets no older set in.
TEST_F(UpdateTest, InstallsOverTlsFollowingNoLinkThenHealsTheSetAndJudgesRollbackPerKey)
{
    PrivateKey build = SigningKey(), other = SigningKey(true);
    UpdateArguments arguments = installation.Arguments(site.Url());
    // The build gives the shipped set its signed record: the copy installed here is whole.
    InstalledState shipped = ReadInstalledState(installation.Path(), {build.publicKey});
    EXPECT_TRUE(shipped.whole) << (shipped.notes.empty() ? "" : ToUtf8(shipped.notes[0]));
    UpdateLog otherOnly(L"");
    EXPECT_EQ(RunUpdate(arguments, {other.publicKey}, otherOnly), kUpdateFailed) << otherOnly.Text();

    TempDir elsewhere, links;
    WriteBytes(elsewhere / L"precious.dat", "keep");
    std::wstring temp = installation.Dir().substr(0, 2) + L"\\Temp\\Dialpass";
    MakeFolders(temp + L"\\run-1-1");
    std::wstring unixTemp = UnixPath(temp), unixElsewhere = UnixPath(elsewhere.Path()), unixLinks = UnixPath(links.Path());
    Shell(L"/bin/ln -sfn " + unixElsewhere + L" " + unixTemp + L"/run-1-2");
    Shell(L"/bin/ln -sf " + unixElsewhere + L"/precious.dat " + unixTemp + L"/run-1-1/country.dat");
    Shell(L"/bin/ln -s " + unixElsewhere + L" " + unixLinks + L"/temp");
    for (const wchar_t* link : {L"temp", L"temp\\Dialpass"}) {  // refused before anything is made there
        UpdateArguments linked = arguments;
        linked.tempFolder = links / link;
        UpdateLog log(L"");
        EXPECT_EQ(RunUpdate(linked, {build.publicKey}, log), kUpdateFailed) << log.Text();
        EXPECT_NE(log.Text().find("is a link or lies below one"), std::string::npos) << log.Text();
        EXPECT_EQ(Names(elsewhere.Path()), "precious.dat") << ToUtf8(link);
    }
    Shell(L"/bin/rm " + unixLinks + L"/temp");
    UpdateRun run = RunUpdater(installation, site.Url("https-good"), true);
    EXPECT_EQ(ReadBytes(elsewhere / L"precious.dat"), "keep");
    Shell(L"/bin/rm -rf " + unixTemp + L"/run-1-1 " + unixTemp + L"/run-1-2");
    ASSERT_EQ(run.exitCode, 0u) << run.log;
    ExpectSiteSetInstalled(installation, site, "2");
    // The user's files and files the new set does not name stay.
    EXPECT_EQ(ReadBytes(installation / L"Quillmoor.dat"), ReadBytes(SampleDir() + L"\\Quillmoor.dat"));
    EXPECT_TRUE(run.Logged("Installation folder: " + ToUtf8(installation.Dir()))) << run.log;

    // the site's version, signed by the newer key, files changed (first byte) and deleted before (on top of what
    // the runs before left), the result, the log's words, and the bytes a full disk still takes (0: room)
    struct Run { std::string version; bool otherKey; std::vector<std::string> changed, deleted; UpdateResult result;
                 std::string logged; DWORD diskBytes = 0; };
    std::vector<Run> runs = {{"2", false, {}, {"country.dat"}, kUpdateFailed,
                             "country.dat: " + ToUtf8(SystemErrorText(ERROR_DISK_FULL)), 16}};
    for (std::string name : {"country.dat", "providers.dat", "manufacturers.dat", "Sample.dat", "Other.dat"}) {
        runs.push_back({"2", false, {}, {name}, kUpdated, "Not whole: " + name + " is missing"});
        runs.push_back({"2", false, {name}, {}, kUpdated, "Not whole: " + name + " has another SHA-256"});
    }
    const std::string says2 = "; the installed set's signed record says version 2", notRecorded = "the installed set's "
        "record is missing database.", notSigned = "database.sig is not a signature of database.xml";
    const std::vector<std::string> version = {"database.ver"}, record = {"database.xml", "database.sig"};
    runs.insert(runs.end(), {
        {"2", false, {}, version, kUpdated, "Not whole: database.ver is missing" + says2},
        {"2", false, version, {}, kUpdated, "Not whole: database.ver is damaged" + says2},
        {"2", false, {}, {"database.xml"}, kUpdated, "Not whole: " + notRecorded + "xml"},
        {"2", false, {"database.xml"}, {}, kUpdated, "Not whole: " + notSigned},
        {"2", false, {}, {"database.sig"}, kUpdated, "Not whole: " + notRecorded + "sig"},
        {"2", false, {"database.sig"}, {}, kUpdated, "Not whole: " + notSigned},
        {"2", false, {}, {}, kNothingNew, "Nothing new: version 2 is already installed"},
        // the build's key signed the highest version by mistake (or leaked): the newer key's lower one still installs
        {"4294967295", false, {}, {}, kUpdated, "Done: version 4294967295"},
        {"3", false, {}, {}, kUpdateFailed, "older than the installed version 4294967295"},
        {"3", false, version, {}, kUpdateFailed, "older than the installed version 4294967295"},
        {"3", true, {}, {}, kUpdated, "Signed by a newer key than the installed set"},
        {"4", false, {}, {}, kUpdateFailed, "signed by an older key than the installed set"},
        {"2", true, version, {}, kUpdateFailed, "older than the installed version 3"},
        {"2", true, {}, record, kUpdateFailed, "database.ver is damaged and the installed set has no signed record"},
        {"2", true, {}, {"database.ver", "database.xml", "database.sig"}, kUpdated, "Done: version 2"},  // nothing yet
    });
    std::string published = ReadBytes(site / L"update.xml");
    for (const Run& run : runs) {
        std::string what = run.version + ", " + run.logged + "\n";
        for (const std::string& name : run.changed)
            FlipByte(installation / std::wstring(name.begin(), name.end()), 0);
        for (const std::string& name : run.deleted)
            DeleteFileW((installation / std::wstring(name.begin(), name.end())).c_str());
        std::map<std::wstring, std::string> before = installation.Files();
        WriteBytes(site / L"update.xml", published);
        site.ReplaceInManifest("version=\"2\"", "version=\"" + run.version + "\"", run.otherKey);
        UpdateLog log(L"");
        SafeFileWriter::SetWriteLimitForTesting(run.diskBytes ? run.diskBytes : -1);
        EXPECT_EQ(RunUpdate(arguments, {build.publicKey, other.publicKey}, log), run.result) << what << log.Text();
        SafeFileWriter::SetWriteLimitForTesting(-1);
        EXPECT_NE(log.Text().find(run.logged), std::string::npos) << what << log.Text();
        EXPECT_EQ(log.Text().find("FAILED"), log.Text().rfind("FAILED")) << "stops at one failure\n" << log.Text();
        if (run.result == kUpdated)
            ExpectSiteSetInstalled(installation, site, run.version);
        else
            EXPECT_EQ(installation.Files(), before) << what;
    }
}


// A site that trickles, never stalling for a read's timeout, is cut off at the update's deadline (short here).
TEST_F(UpdateTest, StopsADownloadThatTricklesPastTheDeadline)
{
    UpdateSite trickling;
    ASSERT_EQ(trickling.Open(site.Url("trickle")), L"");
    trickling.deadline = GetTickCount64() + 2000;
    std::string body;
    DWORD begin = GetTickCount();
    std::wstring error = trickling.Get(L"update.xml", kMaxManifestSize, L"", body);
    EXPECT_NE(ToUtf8(error).find("the transfer is too slow: stopped after"), std::string::npos) << ToUtf8(error);
    EXPECT_LE(GetTickCount() - begin, 4000u);
}

// Puts bytes on the site as name, listed truly in update.xml (added before Other.dat when not listed yet).
void PutListed(Site& site, const std::string& name, const std::string& bytes)
{
    WriteBytes(site / std::wstring(name.begin(), name.end()), bytes);
    Sha256Digest digest;
    Sha256(bytes.data(), bytes.size(), digest);
    std::string element = "<file name=\"" + name + "\" size=\"" + std::to_string(bytes.size()) + "\" sha256=\"" +
                          ToHex(digest.data(), digest.size()) + "\"/>";
    std::string xml = ReadBytes(site / L"update.xml");
    size_t at = xml.find("<file name=\"" + name + "\"");
    if (at == std::string::npos)
        site.ReplaceInManifest("<file name=\"Other.dat\"", element + "\r\n  <file name=\"Other.dat\"");
    else
        site.ReplaceInManifest(xml.substr(at, xml.find("/>", at) + 2 - at), element);
}

using Spoil = std::function<void(Site&)>;
Spoil Flip(const wchar_t* file, size_t at) { return [=](Site& site) { FlipByte(site / file, at); }; }
Spoil Listed(std::string name, std::string bytes) { return [=](Site& site) { PutListed(site, name, bytes); }; }
Spoil Resigned(std::string from, std::string to) { return [=](Site& site) { site.ReplaceInManifest(from, to); }; }

// A fault or attack: the server's behaviour for the base URL ("": https to a port where nothing listens), the log's
// words, what is done to the site after a good publish, time bounds, and Update.exe's test hook.
struct Fault {
    const char* name;
    std::string mode;
    const char* logged;
    Spoil spoil = nullptr;
    DWORD atLeastMs = 0, atMostMs = 10000;
    const wchar_t *hook = nullptr, *value = nullptr;
};

const Fault kFaults[] = {
    // name, server mode, the log's words, what is spoilt, time bounds (ms; 0 to 10 s unless given), test hook
    {"ChangedDataFile", "ok", "hash mismatch: the SHA-256 of country.dat", Flip(L"country.dat", 10)},
    {"ChangedManifest", "ok", "bad signature", Flip(L"update.xml", 60)},
    {"NameWithSeparator", "ok", "the file name \"..\\Other.dat\" is refused: not a plain file name",
     Resigned("name=\"Other.dat\"", "name=\"..\\Other.dat\"")},
    {"UnusedFileListed", "ok", "lists Stray.dat, which the card database does not use", Listed("Stray.dat", "x")},
    {"BadLineInASignedFile", "ok", "Check error: country.dat:2: empty line",
     Listed("country.dat", Scrambled("1;Germany;49\r\n\r\n"))},
    {"LargerThanListed", "ok", "more than the 13 bytes listed in update.xml",
     [](Site& site) { WriteBytes(site / L"Other.dat", ReadBytes(site / L"Other.dat") + "1;2;\r\n"); }},
    {"Expired", "ok", "update.xml expired at 2001-01-01T00:00:00Z", [](Site& site) {
         std::string xml = ReadBytes(site / L"update.xml");
         site.ReplaceInManifest(xml.substr(xml.find("expires=\"") + 9, 20), "2001-01-01T00:00:00Z");
     }},
    {"Refused", "", "cannot send the request: the connection was refused"},
    {"NotFound", "missing", "HTTP status 404"},
    {"Redirect", "redirect", "redirects are not followed"},
    {"StallBeforeHeaders", "stall-headers", "within 15 seconds", {}, 14000, 25000},
    {"StallMidBody", "stall-body", "the transfer stalled after", {}, 14000, 25000},
    {"HeadersOneByteASecond", "slow-headers", "time bound hit: update.xml sent no whole answer headers within 5 seconds",
     {}, 4500, 12000, L"DIALPASS_TEST_REQUEST_SECONDS", L"5"},
    // Windows stops at 32 KiB of headers; Wine reads them without limit, and the memory bound ends it.
    {"EndlessHeaders", "endless-headers", "memory bound hit", {}, 0, 15000},
    {"EndlessBody", "endless-body", "sends more than the 65536 bytes allowed"},
    {"UntrustedCertificate", "https-untrusted", "authority this machine does not trust"},
    {"ExpiredCertificate", "https-expired", "expired or not yet valid"},
    {"CertificateForAnotherHost", "https-wronghost", "made out to another host name"},
    {"CertificateNotForWebSites", "https-clientonly", "not for web sites"},
    {"SwappedAfterDownload", "ok", "was changed in", {}, 0, 10000, L"DIALPASS_TEST_TAMPER_AT", L"1"},
    {"SwappedAfterCheck", "ok", "was changed in", {}, 0, 10000, L"DIALPASS_TEST_TAMPER_AT", L"2"},
};

class UpdateFaultTest : public UpdateTest, public testing::WithParamInterface<Fault> {};

TEST_P(UpdateFaultTest, FailsWithExit2AndLeavesTheInstalledSet)
{
    const Fault& fault = GetParam();
    if (fault.spoil)
        fault.spoil(site);
    std::map<std::wstring, std::string> before = installation.Files();
    std::wstring url = fault.mode.empty() ? L"https://localhost:1/dialpass" : site.Url(fault.mode);
    UpdateRun run = RunUpdater(installation, url, false, fault.hook, fault.value ? fault.value : L"");
    EXPECT_EQ(run.exitCode, 2u) << run.log;
    EXPECT_TRUE(run.Logged(fault.logged)) << "expected \"" << fault.logged << "\" in\n" << run.log;
    EXPECT_TRUE(run.Logged("Nothing was installed")) << run.log;
    EXPECT_GE(run.milliseconds, fault.atLeastMs);
    EXPECT_LE(run.milliseconds, fault.atMostMs);
    EXPECT_EQ(installation.Files(), before);
}

INSTANTIATE_TEST_SUITE_P(, UpdateFaultTest, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// Update.exe dies after this many changes to the installation folder; the applet's next read of a
// table finds either the whole old set or the whole new one, and the next update completes.
class UpdateCrashTest : public UpdateTest, public testing::WithParamInterface<int> {};

TEST_P(UpdateCrashTest, AKillWhileInstallingLeavesAWholeSetForTheNextOpen)
{
    UpdateRun crashed =
        RunUpdater(installation, site.Url(), false, L"DIALPASS_TEST_CRASH_AFTER_STEPS", std::to_wstring(GetParam()));
    ASSERT_EQ(crashed.exitCode, kCrashedForTesting) << crashed.log;

    CountryTable countries;  // the applet's next read, which completes or undoes what the journal holds
    EXPECT_NO_THROW(countries.Load((installation / L"country.dat").c_str()));
    bool isNew = ReadBytes(installation / L"database.ver").compare(0, 3, "2\r\n") == 0;
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Sample.dat"})
        EXPECT_EQ(ReadBytes(installation / name), ReadBytes((isNew ? site.Path() : SampleDir()) + L"\\" + name)) << ToUtf8(name);
    EXPECT_LE(ReadBytes(installation / L"dialpass.lock").size(), 9u) << "a journal is left after the set's name";

    UpdateRun next = RunUpdater(installation, site.Url());
    EXPECT_EQ(next.exitCode, isNew ? 1u : 0u) << next.log;
    ExpectSiteSetInstalled(installation, site, "2");
    // The dead run's download folder goes with the next run that downloads.
    EXPECT_EQ(Names(L"C:\\Temp\\Dialpass").find("run-"), std::string::npos) << Names(L"C:\\Temp\\Dialpass");
}

INSTANTIATE_TEST_SUITE_P(Steps, UpdateCrashTest, testing::Values(1, 3, 7, 12, 18));

const int kUpdateTab = 3;

// One sheet; per case an Update.exe stand-in (fakeupdater.exe) told what to do, given the folder with a backslash
// before each closing quote; the page answers. Then a real update, which Card settings shows at once.
TEST_F(UpdateTest, ThePageAnswersEachOutcomeOfTheUpdaterAndShowsARealUpdateAtOnce)
{
    const char kFailure[] = "2026-12-06 03:00:00.000  FAILED: HTTP status 404\r\n";
    const wchar_t kAsk[] = L"An error occured\n\nWould you like to see log file ?";
    const char kTwoRuns[] = "==== Update.exe started 2026-12-06 02:00:00 ====\r\n"
                            "Nothing new: version 2\r\n"
                            "==== Update.exe started 2026-12-06 03:00:00 ====\r\n"
                            "2026-12-06 03:00:00.000  FAILED: HTTP status 404, body \"==== Update.exe started\"\r\n";
    // the stand-in's order (null: no Update.exe), the message, "Cancel update" tapped while it runs,
    // a question (Yes and No, else OK), the log (written as update.log, the question answered Yes; null: answered
    // No or OK), what the viewer shows when not the whole log (the last run)
    struct Case { const char* order; const wchar_t* message; bool cancel, question; const char *log, *shown = nullptr; }
    cases[] = {
        {"exit 1", L"No new data available", false, false, nullptr},
        {"exit 2", kAsk, false, true, nullptr},
        {"exit 2", kAsk, false, true, kFailure},
        {"exit 2", kAsk, false, true, kTwoRuns, strstr(kTwoRuns + 1, "==== Update")},
        {"wait", L"Update tool terminated by user !", true, false, nullptr},
        {nullptr, L"Unable to start update service", false, false, nullptr},
    };
    SheetDriver driver;  // first: it points "InstallDir" at an empty folder of its own
    InstallDirScope sample(installation.Dir().c_str());
    ASSERT_NE(driver.Open(), nullptr);
    HWND page = driver.ShowPage(kUpdateTab);
    SetRegText(kSettingsKey, L"UpdateURL", site.Url());  // read by this page alone
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        Installation installation(L"fakeupdater.exe");
        if (!c.order)
            DeleteFileW((installation / L"Update.exe").c_str());
        if (c.log)
            WriteBytes(installation / L"update.log", c.log);
        InstallDirScope scope(installation.Path().c_str());
        SetEnvironmentVariableA("DIALPASS_FAKE_UPDATER", c.order);  // the page's updater inherits it
        driver.Click(GetDlgItem(page, IDC_CHECK_UPDATES));
        if (c.order) {
            std::string line;  // UTF-16
            ASSERT_TRUE(WaitUntil([&] { return !(line = ReadBytes(installation / L"commandline.txt")).empty(); }));
            std::wstring dir = installation.Dir();
            EXPECT_EQ(ToUtf8(std::wstring(reinterpret_cast<const wchar_t*>(line.data()), line.size() / 2)),
                      ToUtf8(site.Url() + L" \"" + dir + L"\" update.xml \"" + dir +
                             L"\" \"\\Temp\\Dialpass\" \"" + dir + L"update.log\""));
        }
        if (c.cancel) {
            HWND progress = WaitForWindow(L"#32770", L"Update");
            EXPECT_EQ(WindowText(GetDlgItem(progress, IDCANCEL)), L"&Cancel update");
            PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
        }
        HWND box = WaitForWindow(L"#32770", kMessageCaption, 10000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(GetDlgItem(box, IDNO) != nullptr, c.question);
        EXPECT_EQ(AnswerMessageBox(box, c.log ? IDYES : c.question ? IDNO : IDOK), c.message);
        HWND viewer = WaitForWindow(L"#32770", L"Log file", c.log ? kWindowTimeout : 300);
        EXPECT_EQ(viewer != nullptr, c.log != nullptr);
        if (viewer) {
            EXPECT_EQ(ToUtf8(WindowText(GetDlgItem(viewer, IDC_TEXT_FILE))), c.shown ? c.shown : c.log);
            PostMessageW(viewer, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }));
        }
    }

    ASSERT_NE(driver.ShowPage(1), nullptr);
    auto listed = [&] {
        return SendMessageW(driver.Control(1, IDC_LOCATIONS), CB_FINDSTRINGEXACT, WPARAM(-1),
                            reinterpret_cast<LPARAM>(L"Zembla")) != CB_ERR;
    };
    EXPECT_FALSE(listed());
    driver.Click(GetDlgItem(driver.ShowPage(kUpdateTab), IDC_CHECK_UPDATES));
    HWND box = WaitForWindow(L"#32770", kMessageCaption, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(AnswerMessageBox(box), L"Data were updated successfully");
    EXPECT_TRUE(WaitUntil(listed));
    EXPECT_TRUE(driver.PressCancel());
    DeleteSetting(L"UpdateURL");
}

} // namespace
