// dpdb-stress: starts many `dpdb build` runs at once into one folder, alternating between two
// different sources, and after each round checks that the folder holds one source's files whole
// and that `dpdb check` finds it clean. Prints the figures; exits 1 when a round left a mix.
// With --loads N it instead loads the applet's four tables back to back N times, as the applet
// does (each table when it is empty, one of them emptied before each round), while `dpdb build`
// runs of the two sources one after the other rewrite the folder, and counts the rounds whose
// tables came from two sources.
//   dpdb-stress [--builds N] [--rounds R] [--loads N] [--sample DIR]
#include <windows.h>

#include "tools/toolfolders.h"

// Where the build put the scrambled sample database, relative to this program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/path.h"
#include "base/registry.h"
#include "data/datafile.h"
#include "data/records.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "tools/benchclock.h"

namespace {

struct SourceFile {
    std::wstring name;
    std::string plain;
};

// The sample's files unscrambled: the plain sources of the first database.
bool ReadSample(const std::wstring& sample, std::vector<SourceFile>& files)
{
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((sample + L"\\*.dat").c_str(), &found));
    for (BOOL more = bool(search); more; more = FindNextFileW(search.Get(), &found)) {
        std::string bytes;
        if (!ReadWholeFile((sample + L"\\" + found.cFileName).c_str(), bytes))
            continue;
        Scramble(&bytes[0], bytes.size());
        files.push_back(SourceFile{found.cFileName, bytes});
    }
    return !files.empty();
}

// The second database: the lines in reverse order and every line's text after its first ";" in
// upper case, so that every file, even one of numbers only, differs from the first database's while
// its numbers stay what they were.
std::string Variant(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    if (!lines.empty() && lines.back().back() != '\n')
        lines.back() += "\r\n";
    std::string out;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        bool afterSeparator = false;
        for (char c : *line) {
            if (c == ';')
                afterSeparator = true;
            else if (afterSeparator && c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
            out += c;
        }
    }
    return out;
}

bool WriteSources(const std::wstring& folder, const std::vector<SourceFile>& files, bool variant)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const SourceFile& file : files) {
        std::string text = variant ? Variant(file.plain) : file.plain;
        if (!WriteWholeFile((folder + L"\\" + file.name).c_str(), text.data(), text.size()))
            return false;
    }
    return true;
}

void RemoveFolder(const std::wstring& folder)
{
    EmptyFolder(folder);
    RemoveDirectoryW(folder.c_str());
}

// Starts dpdb with its output going nowhere.
UniqueHandle StartDpdb(const std::wstring& arguments)
{
    std::wstring program = ProgramDir() + L"\\dpdb.exe";
    std::wstring command = L"\"" + program + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle nowhere(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nowhere.Get();
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    nowhere.Close();
    if (!started)
        return UniqueHandle();
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

DWORD Finish(UniqueHandle process)
{
    DWORD code = 0xFFFFFFFF;
    if (process) {
        WaitForSingleObject(process.Get(), 120000);
        GetExitCodeProcess(process.Get(), &code);
    }
    return code;
}

std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

// ---- The back-to-back loader ----

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }
std::string Describe(const CountryRecord& r)
{
    return std::to_string(r.id) + ";" + Text(r.name, sizeof(r.name)) + ";" + std::to_string(r.code);
}
std::string Describe(const OperatorRecord& r) { return std::to_string(r.op) + ";" + std::to_string(r.code); }
std::string Describe(const ProviderRecord& r)
{
    return std::to_string(r.id) + ";" + Text(r.shortName, sizeof(r.shortName)) + ";" +
           Text(r.displayName, sizeof(r.displayName));
}
std::string Describe(const AccessNumberRecord& r)
{
    return std::to_string(r.code) + ";" + Text(r.number, sizeof(r.number)) + ";" +
           (r.description ? r.description : "");
}

// A table's count, first and last record: the two sources differ in each file.
template <class Record>
std::string Signature(RecordTable<Record>& table)
{
    Record* first = table.Next(true);
    if (!first)
        return std::string();
    Record* last = first;
    for (Record* record = first; record; record = table.Next(false))
        last = record;
    return std::to_string(table.Count()) + "|" + Describe(*first) + "|" + Describe(*last);
}

// The signature of one source's file, parsed as the applet parses it.
template <class Record>
std::string SourceSignature(const std::vector<SourceFile>& files, const std::wstring& name, bool variant)
{
    for (const SourceFile& file : files) {
        if (SameName(file.name, name)) {
            std::string text = variant ? Variant(file.plain) : file.plain;
            RecordTable<Record> table;
            table.ParseBuffer(text.data(), uint32_t(text.size()));
            return Signature(table);
        }
    }
    return "(no such file)";
}

// Rewrites the folder with `dpdb build` runs of the two sources, one after the other, until stopped.
struct Rewriter {
    std::wstring sources[2];
    std::wstring target;
    volatile LONG stop = 0;
    unsigned succeeded = 0, failed = 0;
};

DWORD WINAPI Rewrite(void* parameter)
{
    Rewriter& rewriter = *static_cast<Rewriter*>(parameter);
    for (unsigned i = 1; !InterlockedCompareExchange(&rewriter.stop, 0, 0); ++i) {
        std::wstring command = L"build " + Quote(rewriter.sources[i % 2]) + L" " + Quote(rewriter.target);
        (Finish(StartDpdb(command)) == 0 ? rewriter.succeeded : rewriter.failed) += 1;
    }
    return 0;
}

// "InstallDir" of the applet, which GetDataPath reads, pointed at folder while the loader runs.
class InstallDirFor {
public:
    explicit InstallDirFor(const std::wstring& folder)
    {
        wchar_t old[MAX_PATH] = {};
        DWORD size = sizeof(old);
        had = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"InstallDir", RRF_RT_REG_SZ, nullptr, old, &size) ==
              ERROR_SUCCESS;
        previous = old;
        Set(folder);
    }
    ~InstallDirFor()
    {
        if (had)
            Set(previous);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"InstallDir");
    }

private:
    static void Set(const std::wstring& value)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"InstallDir", REG_SZ, value.c_str(),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
    }
    bool had = false;
    std::wstring previous;
};

int Loads(unsigned loads, const std::vector<SourceFile>& files, const std::wstring (&sources)[2],
          const std::wstring& target)
{
    // The access-number file of the first card provider of the first source.
    std::wstring shortName;
    for (const SourceFile& file : files) {
        if (SameName(file.name, L"manufacturers.dat")) {
            ProviderTable providers;
            providers.ParseBuffer(file.plain.data(), uint32_t(file.plain.size()));
            if (ProviderRecord* first = providers.Next(true))
                for (const char* c = first->shortName; *c; ++c)
                    shortName += wchar_t(*c);
        }
    }
    std::string expected[2][4];
    for (int source = 0; source < 2; ++source) {
        expected[source][0] = SourceSignature<CountryRecord>(files, L"country.dat", source == 1);
        expected[source][1] = SourceSignature<OperatorRecord>(files, L"providers.dat", source == 1);
        expected[source][2] = SourceSignature<ProviderRecord>(files, L"manufacturers.dat", source == 1);
        expected[source][3] = SourceSignature<AccessNumberRecord>(files, shortName + L".dat", source == 1);
    }
    for (int table = 0; table < 4; ++table) {
        if (expected[0][table] == expected[1][table]) {
            fprintf(stderr, "dpdb-stress: table %d reads the same from both sources; cannot tell them apart\n", table);
            return 3;
        }
    }
    if (Finish(StartDpdb(L"build " + Quote(sources[0]) + L" " + Quote(target))) != 0) {
        fprintf(stderr, "dpdb-stress: the first build into %ls failed\n", target.c_str());
        return 3;
    }

    InstallDirFor installDir(target);
    Rewriter rewriter;
    rewriter.sources[0] = sources[0];
    rewriter.sources[1] = sources[1];
    rewriter.target = target;
    UniqueHandle thread(CreateThread(nullptr, 0, Rewrite, &rewriter, 0, nullptr));
    unsigned whole[2] = {}, mixed = 0, incomplete = 0, loadFailures = 0;
    unsigned generationsBefore = DatabaseGeneration();
    double begin = SecondsNow();
    for (unsigned round = 0; round < loads; ++round) {
        // One table emptied, as an access-number table is for another provider or after a failure:
        // the next load reads it while the others are held.
        switch (round % 4) {
        case 0: countryTable.Clear(); break;
        case 1: operatorTable.Clear(); break;
        case 2: providerTable.Clear(); break;
        default: accessNumberTable.Clear(); break;
        }
        std::string got[4];
        for (int attempt = 0; attempt < 8; ++attempt) {
            try {
                LoadCountryTable();
                LoadOperatorTable();
                LoadProviderTable();
                LoadAccessNumberTable(shortName.c_str());
            } catch (const CTableException&) {
                ++loadFailures;
            }
            got[0] = Signature(countryTable);
            got[1] = Signature(operatorTable);
            got[2] = Signature(providerTable);
            got[3] = Signature(accessNumberTable);
            if (!got[0].empty() && !got[1].empty() && !got[2].empty() && !got[3].empty())
                break;  // a load that met a new set emptied the others: they are read again
        }
        int from = -1;
        for (int source = 0; source < 2 && from < 0; ++source) {
            bool all = true;
            for (int table = 0; table < 4; ++table)
                all = all && got[table] == expected[source][table];
            if (all)
                from = source;
        }
        if (from >= 0) {
            ++whole[from];
        } else if (got[0].empty() || got[1].empty() || got[2].empty() || got[3].empty()) {
            ++incomplete;
        } else if (++mixed <= 5) {
            fprintf(stderr, "dpdb-stress: round %u mixed the sources:", round);
            for (int table = 0; table < 4; ++table)
                fprintf(stderr, " %c", got[table] == expected[0][table] ? 'A' : got[table] == expected[1][table] ? 'B' : '?');
            fprintf(stderr, "\n");
        }
    }
    double total = SecondsNow() - begin;
    InterlockedExchange(&rewriter.stop, 1);
    WaitForSingleObject(thread.Get(), INFINITE);
    thread.Close();
    ClearDatabaseTables();

    printf("dpdb-stress: %u rounds of loading the four tables back to back in %.1f s (%.0f rounds per second) "
           "while %u builds rewrote the folder (%u failed)\n",
           loads, total, total > 0 ? loads / total : 0.0, rewriter.succeeded + rewriter.failed, rewriter.failed);
    printf("dpdb-stress: tables from source A whole %u times, source B whole %u times, mixed %u times, "
           "incomplete %u times; %u new sets noticed, %u loads failed\n",
           whole[0], whole[1], mixed, incomplete, DatabaseGeneration() - generationsBefore, loadFailures);
    return mixed || incomplete || rewriter.failed ? 1 : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    unsigned builds = 8, rounds = 25, loads = 0;
    std::wstring sample = ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--builds" && i + 1 < argc)
            builds = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--rounds" && i + 1 < argc)
            rounds = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--loads" && i + 1 < argc)
            loads = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--sample" && i + 1 < argc)
            sample = argv[++i];
        else {
            fprintf(stderr, "usage: dpdb-stress [--builds N] [--rounds R] [--loads N] [--sample DIR]\n");
            return 2;
        }
    }
    builds = std::max(1u, std::min(builds, 60u));  // WaitForMultipleObjects is not needed: one wait each

    std::vector<SourceFile> files;
    if (!ReadSample(sample, files)) {
        fprintf(stderr, "dpdb-stress: no database files in %ls\n", sample.c_str());
        return 3;
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"dpdb-stress-" + std::to_wstring(GetCurrentProcessId());
    std::wstring sources[2] = {base + L"-a", base + L"-b"}, target = base + L"-db";
    if (!WriteSources(sources[0], files, false) || !WriteSources(sources[1], files, true)) {
        fprintf(stderr, "dpdb-stress: cannot write the sources beside %ls\n", base.c_str());
        return 3;
    }
    CreateDirectoryW(target.c_str(), nullptr);
    if (loads) {
        int result = Loads(loads, files, sources, target);
        RemoveFolder(sources[0]);
        RemoveFolder(sources[1]);
        RemoveFolder(target);
        return result;
    }

    unsigned succeeded = 0, failed = 0, wholeA = 0, wholeB = 0, mixed = 0, checkedClean = 0;
    std::vector<double> roundSeconds;
    double begin = SecondsNow();
    for (unsigned round = 0; round < rounds; ++round) {
        double start = SecondsNow();
        std::vector<UniqueHandle> running;
        for (unsigned i = 0; i < builds; ++i)
            running.push_back(StartDpdb(L"build " + Quote(sources[(round + i) % 2]) + L" " + Quote(target)));
        for (UniqueHandle& process : running)
            (Finish(std::move(process)) == 0 ? succeeded : failed) += 1;
        roundSeconds.push_back(SecondsNow() - start);

        bool isA = true, isB = true;
        for (const SourceFile& file : files) {
            std::string installed;
            ReadWholeFile((target + L"\\" + file.name).c_str(), installed);
            Scramble(&installed[0], installed.size());
            isA = isA && installed == file.plain;
            isB = isB && installed == Variant(file.plain);
        }
        (isA ? wholeA : isB ? wholeB : mixed) += 1;
        if (Finish(StartDpdb(L"check " + Quote(target))) == 0)
            ++checkedClean;
    }
    double total = SecondsNow() - begin;
    RemoveFolder(sources[0]);
    RemoveFolder(sources[1]);
    RemoveFolder(target);

    std::sort(roundSeconds.begin(), roundSeconds.end());
    double median = roundSeconds.empty() ? 0 : roundSeconds[roundSeconds.size() / 2];
    printf("dpdb-stress: %u rounds of %u parallel builds of %u files into one folder in %.1f s "
           "(a round: median %.2f s, longest %.2f s; %.1f builds per second)\n",
           rounds, builds, unsigned(files.size()), total, median, roundSeconds.empty() ? 0.0 : roundSeconds.back(),
           total > 0 ? (succeeded + failed) / total : 0.0);
    printf("dpdb-stress: builds: %u succeeded, %u failed; after each round the folder held source A whole %u "
           "times, source B whole %u times, a mix %u times; dpdb check clean %u of %u times\n",
           succeeded, failed, wholeA, wholeB, mixed, checkedClean, rounds);
    return mixed || failed || checkedClean != rounds ? 1 : 0;
}
