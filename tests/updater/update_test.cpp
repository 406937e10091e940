// Update.exe against the local update site: a good update, nothing new, and every attack or fault,
// each of which must leave the installed set as it was and say in update.log what went wrong.
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>

#include <functional>

#include "data/datafile.h"
#include "data/records.h"
#include "updater/download.h"
#include "updater/install.h"
#include "updater/manifest.h"
#include "updater/update.h"
#include "updater/crypto.h"
#include "updatesite.h"

using namespace datatest;
using namespace updatetest;

namespace {

using UpdateTest = PublishedSiteTest;

// Runs a process of this machine (a Linux program, under Wine) with plain-word arguments.
void RunHostProgram(const std::wstring& commandLine)
{
    RunAtOnce(nullptr, {commandLine}, 10000);
}

std::wstring UnixPath(const std::wstring& path)
{
    using GetUnixName = char*(CDECL*)(const wchar_t*);
    auto get = reinterpret_cast<GetUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unix = get ? get(path.c_str()) : nullptr;
    std::string text = unix ? unix : "";
    if (unix)
        HeapFree(GetProcessHeap(), 0, unix);
    return std::wstring(text.begin(), text.end());
}

// The installation folder given without its drive, as "InstallDir" may hold it; links planted in
// the temporary folder (as run folders, and as a file inside an abandoned one) lead elsewhere.
TEST_F(UpdateTest, InstallsANewerSignedSetOnceThenFindsNothingNew)
{
    // Over TLS, with a certificate of the test authority that this prefix's user trusts.
    std::map<std::wstring, std::string> before = installation.Files();
    TempDir elsewhere;
    WriteBytes(elsewhere / L"precious.dat", "keep");
    std::wstring temp = installation.Dir().substr(0, 2) + L"\\Temp\\Dialpass";
    CreateDirectoryW(temp.substr(0, temp.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(temp.c_str(), nullptr);
    CreateDirectoryW((temp + L"\\run-1-1").c_str(), nullptr);
    if (!UnixPath(temp).empty()) {
        RunHostProgram(L"/bin/ln -sfn " + UnixPath(elsewhere.Path()) + L" " + UnixPath(temp) + L"/run-1-2");
        RunHostProgram(L"/bin/ln -sf " + UnixPath(elsewhere / L"precious.dat") + L" " + UnixPath(temp) +
                       L"/run-1-1/country.dat");
    }
    UpdateRun run = RunUpdater(installation, site.Url("https-good"), 90000, true);
    EXPECT_EQ(ReadBytes(elsewhere / L"precious.dat"), "keep");
    // Wine cannot remove a Unix link without following it: the sweep leaves it there.
    if (!UnixPath(temp).empty()) {
        EXPECT_NE(GetFileAttributesW((temp + L"\\run-1-2").c_str()), INVALID_FILE_ATTRIBUTES);
        RunHostProgram(L"/bin/rm -rf " + UnixPath(temp) + L"/run-1-1 " + UnixPath(temp) + L"/run-1-2");
    }
    ASSERT_EQ(run.exitCode, 0u) << run.log;
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Sample.dat", L"Other.dat"})
        EXPECT_EQ(ReadBytes(installation / name), ReadBytes(site / name)) << Narrow(name);
    EXPECT_EQ(ReadBytes(installation / L"database.ver").substr(0, 7), "2\r\nkey ");
    // The user's files and files the new set does not name stay.
    EXPECT_EQ(installation.Files()[L"Quillmoor.dat"], before[L"Quillmoor.dat"]);
    EXPECT_TRUE(run.Logged("Done: version 2 is installed")) << run.log;
    EXPECT_TRUE(run.Logged("Installation folder: " + Narrow(installation.Dir()))) << run.log;

    std::map<std::wstring, std::string> updated = installation.Files();
    // A log that cannot be written changes nothing but the log.
    HANDLE held = CreateFileW((installation / L"update.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    run = RunUpdater(installation, site.Url());
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1u);
    run.log = ReadBytes(installation / L"update.log");
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), '='), 8) << "the first run's header only\n" << run.log;
    run = RunUpdater(installation, site.Url());
    EXPECT_EQ(run.exitCode, 1u) << run.log;
    EXPECT_TRUE(run.Logged("Nothing new: version 2 is already installed")) << run.log;
    EXPECT_EQ(installation.Files(), updated);
}

// While the site's key is replaced, an updater trusts the old and the new key (in process here).
TEST_F(UpdateTest, AcceptsASignatureByAnyTrustedKeyAndNoOther)
{
    PrivateKey build, other;
    ASSERT_EQ(ReadPrivateKeyPem(ReadBytes(SigningDir() + L"\\private.pem"), build), L"");
    ASSERT_EQ(ReadPrivateKeyPem(ReadBytes(SigningDir() + L"\\other-private.pem"), other), L"");
    UpdateArguments arguments;
    ASSERT_EQ(ParseArguments({site.Url(), installation.Dir(), L"update.xml", installation.Dir(), L"\\Temp\\Dialpass",
                              installation.Dir() + L"update.log"},
                             arguments),
              L"");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    UpdateLog otherOnly(L""), both(L"");
    EXPECT_EQ(RunUpdate(arguments, {other.publicKey}, otherOnly), kUpdateFailed) << otherOnly.Text();
    EXPECT_EQ(RunUpdate(arguments, {other.publicKey, build.publicKey}, both), kUpdated) << both.Text();

    // Rollback is judged per key, the keys listed oldest first: the build's key signed the highest
    // version by mistake (or leaked); a lower version signed by the newer key still installs, and
    // then nothing the older key signs does.
    struct Step {
        const char* version;
        bool otherKey;
        UpdateResult result;
        const char* logged;
    } steps[] = {
        // version, signed by the newer key, result, the log's words
        {"4294967295", false, kUpdated, "Done: version 4294967295"},
        {"3", false, kUpdateFailed, "older than the installed version 4294967295"},
        {"3", true, kUpdated, "Signed by a newer key than the installed set"},
        {"4", false, kUpdateFailed, "signed by an older key than the installed set"},
    };
    std::string published = ReadBytes(site / L"update.xml");
    for (const Step& step : steps) {
        std::string xml = published;
        xml.replace(xml.find("version=\"2\""), 11, std::string("version=\"") + step.version + "\"");
        WriteBytes(site / L"update.xml", xml);
        ASSERT_TRUE(site.Resign(step.otherKey));
        UpdateLog log(L"");
        EXPECT_EQ(RunUpdate(arguments, {build.publicKey, other.publicKey}, log), step.result) << log.Text();
        EXPECT_NE(log.Text().find(step.logged), std::string::npos) << step.version << ": " << log.Text();
    }
    CoUninitialize();
}

// A site that sends a byte now and then, never stalling long enough for a read's timeout, is cut
// off at the update's deadline (short here).
TEST_F(UpdateTest, StopsADownloadThatTricklesPastTheDeadline)
{
    UpdateSite trickling;
    ASSERT_EQ(trickling.Open(site.Url("trickle")), L"");
    trickling.deadline = GetTickCount64() + 2000;
    std::string body;
    DWORD begin = GetTickCount();
    std::wstring error = trickling.Get(L"update.xml", kMaxManifestSize, L"", body);
    EXPECT_NE(Narrow(error).find("the transfer is too slow: stopped after"), std::string::npos) << Narrow(error);
    EXPECT_LE(GetTickCount() - begin, 4000u);
}

// A fault or attack: what is done to the site after a good publish, the address the updater is given,
// and the words the log must hold.
struct Fault {
    const char* name;
    std::function<void(Site&, Installation&)> spoil;
    std::string mode;  // the server's behaviour for the base URL; "" = a port where nothing listens (1)
    const char* logged;
    DWORD atLeastMs = 0, atMostMs = 10000;
    const wchar_t* environment = nullptr;  // NAME=VALUE for Update.exe's test hooks
};

// A row is named by its name in test listings and failures, not by its bytes.
void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

void FlipByte(const std::wstring& path, size_t at)
{
    std::string bytes = ReadBytes(path);
    bytes[at % bytes.size()] ^= 0x20;
    WriteBytes(path, bytes);
}

void ReplaceInManifest(Site& site, const std::string& from, const std::string& to)
{
    std::string xml = ReadBytes(site / L"update.xml");
    size_t at = xml.find(from);
    ASSERT_NE(at, std::string::npos) << xml;
    WriteBytes(site / L"update.xml", xml.replace(at, from.size(), to));
    ASSERT_TRUE(site.Resign());
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
        ReplaceInManifest(site, "<file name=\"Other.dat\"", element + "\r\n  <file name=\"Other.dat\"");
    else
        ReplaceInManifest(site, xml.substr(at, xml.find("/>", at) + 2 - at), element);
}

const auto kNothing = [](Site&, Installation&) {};

const Fault kFaults[] = {
    // name, what is spoilt, server mode, the log's words, time bounds (ms; 0 to 10 s unless given)
    {"ChangedDataFile", [](Site& site, Installation&) { FlipByte(site / L"country.dat", 10); }, "ok",
     "hash mismatch: the SHA-256 of country.dat"},
    {"ChangedManifest", [](Site& site, Installation&) { FlipByte(site / L"update.xml", 60); }, "ok", "bad signature"},
    {"ChangedSignature", [](Site& site, Installation&) { FlipByte(site / L"update.xml.sig", 5); }, "ok",
     "bad signature"},
    {"NameWithSeparator",
     [](Site& site, Installation&) { ReplaceInManifest(site, "name=\"Other.dat\"", "name=\"..\\Other.dat\""); }, "ok",
     "the file name \"..\\Other.dat\" is refused: not a plain file name"},
    {"UnusedFileListed", [](Site& site, Installation&) { PutListed(site, "Stray.dat", "x"); }, "ok",
     "lists Stray.dat, which the card database does not use"},
    {"BadLineInASignedFile",
     [](Site& site, Installation&) {
         std::string bad = "1;Germany;49\r\n\r\n";
         Scramble(&bad[0], bad.size());
         PutListed(site, "country.dat", bad);
     },
     "ok", "Check error: country.dat:2: empty line"},
    {"LargerThanListed", [](Site& site, Installation&) { WriteBytes(site / L"Other.dat", ReadBytes(site / L"Other.dat") + "1;2;\r\n"); },
     "ok", "more than the 13 bytes listed in update.xml"},
    {"Expired",
     [](Site& site, Installation&) {
         std::string xml = ReadBytes(site / L"update.xml");
         ReplaceInManifest(site, xml.substr(xml.find("expires=\"") + 9, 20), "2001-01-01T00:00:00Z");
     },
     "ok", "update.xml expired at 2001-01-01T00:00:00Z"},
    {"Refused", kNothing, "", "the connection was refused"},
    {"NotFound", kNothing, "missing", "HTTP status 404"},
    {"Redirect", kNothing, "redirect", "redirects are not followed"},
    {"StallBeforeHeaders", kNothing, "stall-headers", "within 15 seconds", 14000, 25000},
    {"StallMidBody", kNothing, "stall-body", "the transfer stalled after", 14000, 25000},
    {"HeadersOneByteASecond", kNothing, "slow-headers",
     "time bound hit: update.xml sent no whole answer headers within 5 seconds", 4500, 12000,
     L"DIALPASS_TEST_REQUEST_SECONDS=5"},
    // Windows stops at 32 KiB of headers; Wine reads them without limit, and the memory bound ends it.
    {"EndlessHeaders", kNothing, "endless-headers", "memory bound hit", 0, 15000},
    {"EndlessBody", kNothing, "endless-body", "sends more than the 65536 bytes allowed"},
    {"UntrustedCertificate", kNothing, "https-untrusted", "authority this machine does not trust"},
    {"ExpiredCertificate", kNothing, "https-expired", "expired or not yet valid"},
    {"CertificateForAnotherHost", kNothing, "https-wronghost", "made out to another host name"},
    {"SwappedAfterDownload", kNothing, "ok", "was changed in", 0, 10000, L"DIALPASS_TEST_TAMPER_AT=1"},
    {"SwappedAfterCheck", kNothing, "ok", "was changed in", 0, 10000, L"DIALPASS_TEST_TAMPER_AT=2"},
};

class UpdateFaultTest : public UpdateTest, public testing::WithParamInterface<Fault> {};

TEST_P(UpdateFaultTest, FailsWithExit2AndLeavesTheInstalledSet)
{
    const Fault& fault = GetParam();
    fault.spoil(site, installation);
    std::map<std::wstring, std::string> before = installation.Files();
    std::wstring url = fault.mode.empty() ? L"http://127.0.0.1:1/dialpass" : site.Url(fault.mode);
    std::wstring variable = fault.environment ? fault.environment : L"=";
    std::wstring name = variable.substr(0, variable.find(L'=')), value = variable.substr(variable.find(L'=') + 1);
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    UpdateRun run = RunUpdater(installation, url);
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), nullptr);
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
    std::map<std::wstring, std::string> before = installation.Files();
    SetEnvironmentVariableW(L"DIALPASS_TEST_CRASH_AFTER_STEPS", std::to_wstring(GetParam()).c_str());
    UpdateRun crashed = RunUpdater(installation, site.Url());
    SetEnvironmentVariableW(L"DIALPASS_TEST_CRASH_AFTER_STEPS", nullptr);
    ASSERT_EQ(crashed.exitCode, kCrashedForTesting) << crashed.log;

    CountryTable countries;
    EXPECT_NO_THROW(countries.Load((installation / L"country.dat").c_str()));
    std::map<std::wstring, std::string> opened = installation.Files();
    bool isNew = ReadBytes(installation / L"database.ver").compare(0, 3, "2\r\n") == 0;
    for (const wchar_t* name : {L"country.dat", L"providers.dat", L"manufacturers.dat", L"Sample.dat"}) {
        if (isNew)
            EXPECT_EQ(ReadBytes(installation / name), ReadBytes(site / name)) << Narrow(name);
        else
            EXPECT_EQ(opened[name], before[name]) << Narrow(name);
    }
    EXPECT_LE(opened[L"dialpass.lock"].size(), 9u) << "a journal is left after the mark and the set's name";

    UpdateRun next = RunUpdater(installation, site.Url());
    EXPECT_EQ(next.exitCode, isNew ? 1u : 0u) << next.log;
    EXPECT_EQ(ReadBytes(installation / L"database.ver").substr(0, 3), "2\r\n");
    // The dead run's download folder goes with the next run that downloads.
    EXPECT_EQ(Names(L"C:\\Temp\\Dialpass").find("run-"), std::string::npos) << Names(L"C:\\Temp\\Dialpass");
}

INSTANTIATE_TEST_SUITE_P(Steps, UpdateCrashTest, testing::Values(1, 3, 7, 12, 18));

} // namespace
