// The updater's test bench: the local update site (tools/update-site, started by ctest), sites
// published on it with dpdb, installation folders with Update.exe, and runs of Update.exe with the
// applet's own command line.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "data/datatest.h"

namespace updatetest {

// A small plain-text database; extra adds a country line and so tells one version from another.
void WritePlainDatabase(const std::wstring& folder, const std::string& extra = std::string());

// A folder on the local site, removed at the end.
class Site {
public:
    Site();
    // Publishes sources as this site with dpdb publish and the given options; dpdb's exit code.
    DWORD Publish(const std::wstring& sources, const std::wstring& options, std::string* output = nullptr);
    // The base URL that serves this site through the server's behaviour mode ("ok", "stall-body" ...);
    // "https-NAME" serves it at https://localhost with the server's certificate NAME (good, expired,
    // wronghost, untrusted), whose test authority this prefix's user trusts from then on.
    std::wstring Url(const std::string& mode = "ok") const;
    std::wstring operator/(const std::wstring& name) const { return dir / name; }
    // Signs update.xml as it now stands with the build's key (or the other key) and writes update.xml.sig.
    bool Resign(bool otherKey = false);

private:
    datatest::TempDir dir;
};

// The port of the local site, 0 when it is not running.
unsigned SitePort();
// The build's key pair folder and the test key's private file.
std::wstring SigningDir();

// An installation folder holding the sample database and Update.exe.
class Installation {
public:
    Installation();
    std::wstring Dir() const { return dir.Path() + L"\\"; }
    std::wstring operator/(const std::wstring& name) const { return dir / name; }
    // Every file but update.log and the writer lock, by name: its size and the start of its SHA-256.
    std::map<std::wstring, std::string> Files() const;

private:
    datatest::TempDir dir;
};

struct UpdateRun {
    DWORD exitCode = 0xFFFFFFFF;
    DWORD milliseconds = 0;
    std::string log;
    bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }
};

// Runs DIR\Update.exe with the applet's arguments (no program name), at most timeoutMs; withoutDrive
// gives DIR without its drive (as "InstallDir" may hold it) and starts the updater on that drive.
UpdateRun RunUpdater(const Installation& installation, const std::wstring& baseUrl, DWORD timeoutMs = 90000,
                     bool withoutDrive = false);

// A site published as version 2 of a small database that adds the country Zembla, and an installation
// of the sample.
class PublishedSiteTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SitePort(), 0u) << "the local update site is not running (ctest starts it: update_site_up)";
        WritePlainDatabase(sources.Path(), "380;Zembla;380\r\n");
        std::string output;
        ASSERT_EQ(site.Publish(sources.Path(), L"--version 2", &output), 0u) << output;
    }

    datatest::TempDir sources;
    Site site;
    Installation installation;
};

} // namespace updatetest
