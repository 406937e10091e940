// update-bench: an update of a 64 KiB card database from the local update site, split into its
// steps (download, verify, check, install), beside copying the same files from the site's folder;
// Update.exe end to end; and the CPU time that watching a running updater costs the applet's UI
// thread while the progress dialog watches it (a 200 ms timer, a wait of at most 50 ms per tick). Best of the rounds for each step.
//   update-bench --port N [--rounds N]      (the site must serve ..\update-site\sites: run.sh)
#include <windows.h>

#include "tools/toolfolders.h"
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "tools/benchclock.h"
#include "updater/commandline.h"
#include "updater/download.h"
#include "updater/install.h"
#include "updater/manifest.h"
#include "base/module.h"
#include "pages/dlgprogress.h"

namespace {

std::wstring MakeFolder(const std::wstring& name)
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring path = std::wstring(base) + name;
    MakeFolders(path);
    return path;
}

// About 64 KiB of plain sources: countries, operators, four providers and their access numbers.
void WriteSources(const std::wstring& folder)
{
    std::string countries, operators, providers, numbers;
    for (int i = 1; countries.size() < 20000; ++i)
        countries += std::to_string(i) + ";Country number " + std::to_string(i) + ";" + std::to_string(i) + "\r\n";
    for (int i = 0; operators.size() < 30000; ++i)
        operators += std::to_string(20000 + i) + ";" + std::to_string(1 + i % 900) + ";\r\n";
    for (int i = 1; numbers.size() < 3300; ++i)
        numbers += std::to_string(i) + ";0800" + std::to_string(100000 + i) + "; (toll free)\r\n";
    for (const char* name : {"Alpha", "Beta", "Gamma", "Delta"}) {
        providers += std::to_string(providers.size() + 1) + ";" + name + ";" + name + " phone card\r\n";
        WriteWholeFile((folder + L"\\" + std::wstring(name, name + strlen(name)) + L".dat").c_str(), numbers.data(),
                       numbers.size());
    }
    WriteWholeFile((folder + L"\\country.dat").c_str(), countries.data(), countries.size());
    WriteWholeFile((folder + L"\\providers.dat").c_str(), operators.data(), operators.size());
    WriteWholeFile((folder + L"\\manufacturers.dat").c_str(), providers.data(), providers.size());
}

UniqueHandle Start(const std::wstring& program, std::wstring arguments)
{
    // No standard handles: the updater's log lines stay out of the figures.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &arguments[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return UniqueHandle();
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

DWORD Run(const std::wstring& program, const std::wstring& arguments)
{
    UniqueHandle process = Start(program, arguments);
    DWORD code = 0xFFFFFFFF;
    if (process) {
        WaitForSingleObject(process.Get(), 120000);
        GetExitCodeProcess(process.Get(), &code);
    }
    return code;
}

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return ((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; };
    return value(kernel) + value(user);
}

struct Steps {
    double download = 1e9, verify = 1e9, check = 1e9, install = 1e9, copy = 1e9, updater = 1e9;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rounds = 5;
    unsigned port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!wcscmp(argv[i], L"--rounds"))
            rounds = std::max(1, _wtoi(argv[i + 1]));
        else if (!wcscmp(argv[i], L"--port"))
            port = unsigned(_wtoi(argv[i + 1]));
    }
    if (!port) {
        fwprintf(stderr, L"usage: update-bench --port N [--rounds N] (tools/update-bench/run.sh starts the site)\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    moduleInstance = GetModuleHandleW(nullptr);  // the dialog's template is linked into this program
    std::wstring sources = MakeFolder(L"update-bench\\sources"), site = ProgramDir() + L"\\..\\update-site\\sites\\bench";
    std::wstring download = MakeFolder(L"update-bench\\download"), installed = MakeFolder(L"update-bench\\installed"),
                 copied = MakeFolder(L"update-bench\\copied");
    WriteSources(sources);
    std::wstring dpdb = ProgramDir() + L"\\dpdb.exe";
    if (Run(dpdb, L"dpdb publish \"" + sources + L"\" \"" + site + L"\" --version 2") != 0) {
        fwprintf(stderr, L"dpdb publish failed\n");
        return 1;
    }
    std::wstring base = L"http://127.0.0.1:" + std::to_wstring(port) + L"/ok/bench";
    std::string xml, signature;
    ReadWholeFile((site + L"\\update.xml").c_str(), xml);
    ReadWholeFile((site + L"\\update.xml.sig").c_str(), signature);
    Manifest manifest;
    ParseManifest(xml, manifest);
    size_t bytes = 0;
    for (const ManifestFile& file : manifest.files)
        bytes += file.size;
    // The site's key is the build's own: the public half of its private key.
    std::string pem;
    PrivateKey key;
    ReadWholeFile((ProgramDir() + L"\\..\\signing\\private.pem").c_str(), pem);
    ReadPrivateKeyPem(pem, key);

    Steps best;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> bodies(manifest.files.size());
        double t0 = SecondsNow();
        UpdateSite connection;
        connection.Open(base);
        std::string xmlBody, sigBody;
        connection.Get(L"update.xml", kMaxManifestSize, L"", xmlBody);
        connection.Get(L"update.xml.sig", kSignatureSize, L"", sigBody);
        for (size_t i = 0; i < manifest.files.size(); ++i)
            connection.Get(manifest.files[i].name, manifest.files[i].size, L"", bodies[i]);
        double t1 = SecondsNow();
        Manifest parsed;
        bool good = VerifySignature(key.publicKey, xmlBody, sigBody) && ParseManifest(xmlBody, parsed).empty();
        for (size_t i = 0; i < bodies.size(); ++i) {
            Sha256Digest digest;
            good = good && Sha256(bodies[i].data(), bodies[i].size(), digest) && digest == manifest.files[i].sha256;
        }
        double t2 = SecondsNow();
        std::vector<std::wstring> names;
        std::vector<DownloadedFile> files;
        for (size_t i = 0; i < bodies.size(); ++i) {
            names.push_back(manifest.files[i].name);
            WriteWholeFile((download + L"\\" + names[i]).c_str(), bodies[i].data(), bodies[i].size());
            files.emplace_back(names[i], bodies[i]);
        }
        good = good && CheckDatabase(download, false).Errors() == 0;
        double t3 = SecondsNow();
        good = good && InstallSet(installed, std::move(files), {2, std::string()}, {}).empty();
        double t4 = SecondsNow();
        for (const std::wstring& name : names)
            CopyFileW((site + L"\\" + name).c_str(), (copied + L"\\" + name).c_str(), FALSE);
        double t5 = SecondsNow();
        if (!good) {
            fwprintf(stderr, L"round %d: a step failed\n", round + 1);
            return 1;
        }
        // Update.exe itself, from a folder that holds no version yet.
        for (const wchar_t* record : {L"\\database.ver", L"\\database.xml", L"\\database.sig"})
            DeleteFileW((installed + record).c_str());
        CopyFileW((ProgramDir() + L"\\Update.exe").c_str(), (installed + L"\\Update.exe").c_str(), FALSE);
        std::wstring dir = installed + L"\\";
        double t6 = SecondsNow();
        DWORD code = Run(dir + L"Update.exe", UpdaterArguments(base.c_str(), dir.c_str()));
        double t7 = SecondsNow();
        if (code != 0) {
            fwprintf(stderr, L"Update.exe exited with %lu\n", code);
            return 1;
        }
        best.download = std::min(best.download, t1 - t0);
        best.verify = std::min(best.verify, t2 - t1);
        best.check = std::min(best.check, t3 - t2);
        best.install = std::min(best.install, t4 - t3);
        best.copy = std::min(best.copy, t5 - t4);
        best.updater = std::min(best.updater, t7 - t6);
    }
    wprintf(L"update of %zu files, %zu bytes, from %ls (best of %d)\n", manifest.files.size(), bytes, base.c_str(),
            rounds);
    wprintf(L"  download (update.xml, .sig, files)  %8.2f ms\n", best.download * 1e3);
    wprintf(L"  verify (signature, parse, SHA-256)  %8.2f ms\n", best.verify * 1e3);
    wprintf(L"  check (write, dpdb check rules)     %8.2f ms\n", best.check * 1e3);
    wprintf(L"  install (one file set)              %8.2f ms\n", best.install * 1e3);
    wprintf(L"  sum of the steps                    %8.2f ms\n",
            (best.download + best.verify + best.check + best.install) * 1e3);
    wprintf(L"  copying the same files (CopyFileW)  %8.2f ms\n", best.copy * 1e3);
    wprintf(L"  Update.exe end to end (process)     %8.2f ms\n", best.updater * 1e3);

    // Watching: an updater that waits 15 s for headers that never come, watched as the applet does.
    std::wstring dir = installed + L"\\";
    std::wstring stalled = L"http://127.0.0.1:" + std::to_wstring(port) + L"/stall-headers/bench";
    UniqueHandle process = Start(dir + L"Update.exe", UpdaterArguments(stalled.c_str(), dir.c_str()));
    if (!process) {
        fwprintf(stderr, L"Update.exe cannot be started\n");
        return 1;
    }
    // The applet's own progress dialog watches it, on this thread.
    PROCESS_INFORMATION info = {};
    info.hProcess = process.Get();
    CDlgDoUpdate watch(info);
    double cpu0 = ThreadCpuSeconds(), wall0 = SecondsNow();
    INT_PTR result = watch.DoModal(nullptr);
    double cpu = ThreadCpuSeconds() - cpu0, wall = SecondsNow() - wall0;
    process.Close();
    wprintf(L"watching a running updater with the progress dialog for %.1f s (result %d): UI-thread CPU %.1f ms "
            L"(%.3f %%)\n",
            wall, int(result), cpu * 1e3, 100 * cpu / wall);
    CoUninitialize();
    return 0;
}
