// Update.exe against the local update site: a good update, nothing new, and every attack or fault,
// each of which must leave the installed set as it was and say in update.log what went wrong.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

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

class UpdateTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SitePort(), 0u) << "the local update site is not running (ctest starts it: update_site_up)";
        WritePlainDatabase(sources.Path(), "380;Zembla;380\r\n");
    }
    void Publish(const std::wstring& options)
    {
        std::string output;
        ASSERT_EQ(site.Publish(sources.Path(), options, &output), 0u) << output;
    }

    TempDir sources;
    Site site;
    Installation installation;
};

// Runs a process of this machine (a Linux program, under Wine) with plain-word arguments.
void RunHostProgram(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
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
    Publish(L"--version 2");
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
    Publish(L"--version 2");
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

// dpdb publish refuses, by the updater's own rules, what every updater would refuse.
TEST_F(UpdateTest, PublishRefusesWhatTheUpdaterWouldRefuse)
{
    struct Case {
        int providers;           // card providers added to the sources
        const char* extraName;   // a provider with this short name, or none
        const char* refusal;
    } cases[] = {
        // providers, a further provider's name, dpdb's refusal
        {700, nullptr, "update.xml is larger than 65536 bytes"},
        {0, "settings", "the user's own file"},
    };
    for (const Case& c : cases) {
        TempDir many;
        WritePlainDatabase(many.Path());
        std::string manufacturers = ReadBytes(many / L"manufacturers.dat");
        for (int i = 0; i < c.providers; ++i) {
            std::string name = "P" + std::to_string(i);
            manufacturers += std::to_string(100 + i) + ";" + name + ";Card " + name + "\r\n";
            WriteBytes(many / std::wstring(name.begin(), name.end()) + L".dat", "49;0800111;\r\n");
        }
        if (c.extraName) {
            std::string name = c.extraName;
            manufacturers += "99;" + name + ";Long\r\n";
            WriteBytes(many / std::wstring(name.begin(), name.end()) + L".dat", "49;0800111;\r\n");
        }
        WriteBytes(many / L"manufacturers.dat", manufacturers);
        std::string output;
        EXPECT_EQ(site.Publish(many.Path(), L"--version 2", &output), 1u) << output;
        EXPECT_NE(output.find(c.refusal), std::string::npos) << output;
        EXPECT_EQ(GetFileAttributesW((site / L"update.xml").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// A site that sends a byte now and then, never stalling long enough for a read's timeout, is cut
// off at the update's deadline (short here).
TEST_F(UpdateTest, StopsADownloadThatTricklesPastTheDeadline)
{
    Publish(L"--version 2");
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
    std::string mode;  // the server's behaviour for the base URL; "" = a port where nothing listens
    const char* logged;
    DWORD atLeastMs, atMostMs;
    const wchar_t* environment = nullptr;  // NAME=VALUE for Update.exe's test hooks
};

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

// A port of this machine where nothing listens.
unsigned ClosedPort()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(probe);
    return ntohs(address.sin_port);
}

const auto kNothing = [](Site&, Installation&) {};

const Fault kFaults[] = {
    // name, what is spoilt, server mode, the log's words, time bounds (ms)
    {"ChangedDataFile", [](Site& site, Installation&) { FlipByte(site / L"country.dat", 10); }, "ok",
     "hash mismatch: the SHA-256 of country.dat", 0, 10000},
    {"ChangedManifest", [](Site& site, Installation&) { FlipByte(site / L"update.xml", 60); }, "ok",
     "bad signature", 0, 10000},
    {"ChangedSignature", [](Site& site, Installation&) { FlipByte(site / L"update.xml.sig", 5); }, "ok",
     "bad signature", 0, 10000},
    {"OtherKey", [](Site& site, Installation&) { ASSERT_TRUE(site.Resign(true)); }, "ok", "bad signature", 0, 10000},
    {"Rollback",
     [](Site&, Installation& installation) { WriteBytes(installation / L"database.ver", "5\r\n"); }, "ok",
     "rollback refused: the site offers version 2, older than the installed version 5", 0, 10000},
    {"NameWithSeparator",
     [](Site& site, Installation&) { ReplaceInManifest(site, "name=\"Other.dat\"", "name=\"..\\Other.dat\""); }, "ok",
     "the file name \"..\\Other.dat\" is refused: not a plain file name", 0, 10000},
    {"UnusedFileListed",
     [](Site& site, Installation&) {
         WriteBytes(site / L"Stray.dat", "x");
         ReplaceInManifest(site, "<file name=\"Other.dat\"",
                           "<file name=\"Stray.dat\" size=\"1\" sha256=\"" +
                               std::string("2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881") +
                               "\"/>\r\n  <file name=\"Other.dat\"");
     },
     "ok", "lists Stray.dat, which the card database does not use", 0, 10000},
    {"BadLineInASignedFile",
     [](Site& site, Installation&) {
         std::string bad = "1;Germany;49\r\n\r\n";
         Scramble(&bad[0], bad.size());
         WriteBytes(site / L"country.dat", bad);
         Sha256Digest digest;
         Sha256(bad.data(), bad.size(), digest);
         std::string xml = ReadBytes(site / L"update.xml");
         size_t at = xml.find("sha256=\"", xml.find("country.dat")) + 8;
         xml.replace(at, 64, ToHex(digest.data(), digest.size()));
         size_t size = xml.find("size=\"", xml.find("country.dat")) + 6;
         xml.replace(size, xml.find('"', size) - size, std::to_string(bad.size()));
         WriteBytes(site / L"update.xml", xml);
         ASSERT_TRUE(site.Resign());
     },
     "ok", "Check error: country.dat:2: empty line", 0, 10000},
    {"LargerThanListed", [](Site& site, Installation&) { WriteBytes(site / L"Other.dat", ReadBytes(site / L"Other.dat") + "1;2;\r\n"); },
     "ok", "more than the 13 bytes listed in update.xml", 0, 10000},
    {"Expired",
     [](Site& site, Installation&) {
         std::string xml = ReadBytes(site / L"update.xml");
         ReplaceInManifest(site, xml.substr(xml.find("expires=\"") + 9, 20), "2001-01-01T00:00:00Z");
     },
     "ok", "update.xml expired at 2001-01-01T00:00:00Z", 0, 10000},
    {"Refused", kNothing, "", "the connection was refused", 0, 10000},
    {"NotFound", kNothing, "missing", "HTTP status 404", 0, 10000},
    {"Redirect", kNothing, "redirect", "redirects are not followed", 0, 10000},
    {"StallBeforeHeaders", kNothing, "stall-headers", "within 15 seconds", 14000, 25000},
    {"StallMidBody", kNothing, "stall-body", "the transfer stalled after", 14000, 25000},
    {"HeadersOneByteASecond", kNothing, "slow-headers",
     "time bound hit: update.xml sent no whole answer headers within 5 seconds", 4500, 12000,
     L"DIALPASS_TEST_REQUEST_SECONDS=5"},
    // Windows stops at 32 KiB of headers; Wine reads them without limit, and the memory bound ends it.
    {"EndlessHeaders", kNothing, "endless-headers", "memory bound hit", 0, 15000},
    {"EndlessBody", kNothing, "endless-body", "sends more than the 65536 bytes allowed", 0, 10000},
    {"UntrustedCertificate", kNothing, "https-untrusted", "authority this machine does not trust", 0, 10000},
    {"ExpiredCertificate", kNothing, "https-expired", "expired or not yet valid", 0, 10000},
    {"CertificateForAnotherHost", kNothing, "https-wronghost", "made out to another host name", 0, 10000},
    {"SwappedAfterDownload", kNothing, "ok", "was changed in", 0, 10000, L"DIALPASS_TEST_TAMPER_AT=1"},
    {"SwappedAfterCheck", kNothing, "ok", "was changed in", 0, 10000, L"DIALPASS_TEST_TAMPER_AT=2"},
};

class UpdateFaultTest : public UpdateTest, public testing::WithParamInterface<Fault> {};

TEST_P(UpdateFaultTest, FailsWithExit2AndLeavesTheInstalledSet)
{
    const Fault& fault = GetParam();
    Publish(L"--version 2");
    fault.spoil(site, installation);
    std::map<std::wstring, std::string> before = installation.Files();
    std::wstring url = fault.mode.empty() ? L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/dialpass"
                                          : site.Url(fault.mode);
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
    Publish(L"--version 2");
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
    WIN32_FIND_DATAW found;
    HANDLE left = FindFirstFileW(L"C:\\Temp\\Dialpass\\run-*", &found);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << Narrow(found.cFileName);
    if (left != INVALID_HANDLE_VALUE)
        FindClose(left);
}

INSTANTIATE_TEST_SUITE_P(Steps, UpdateCrashTest, testing::Values(1, 3, 7, 12, 18));

} // namespace
