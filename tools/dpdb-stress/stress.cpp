// dpdb-stress: starts many `dpdb build` runs at once into one folder, alternating between two
// different sources, and after each round checks that the folder holds one source's files whole
// and that `dpdb check` finds it clean. Prints the figures; exits 1 when a round left a mix.
//   dpdb-stress [--builds N] [--rounds R] [--sample DIR]
#include <windows.h>

#include "tools/toolfolders.h"

// Where the build put the scrambled sample database, relative to this program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "data/datafile.h"
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
    HANDLE search = FindFirstFileW((sample + L"\\*.dat").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::string bytes;
        if (!ReadWholeFile((sample + L"\\" + found.cFileName).c_str(), bytes))
            continue;
        Scramble(&bytes[0], bytes.size());
        files.push_back(SourceFile{found.cFileName, bytes});
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return !files.empty();
}

// The second database: every line's text after its first ";" in upper case, so that every file
// differs from the first database's while its numbers stay what they were.
std::string Variant(std::string text)
{
    bool afterSeparator = false;
    for (char& c : text) {
        if (c == '\n')
            afterSeparator = false;
        else if (c == ';')
            afterSeparator = true;
        else if (afterSeparator && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return text;
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
HANDLE StartDpdb(const std::wstring& arguments)
{
    std::wstring program = ProgramDir() + L"\\dpdb.exe";
    std::wstring command = L"\"" + program + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                 nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nowhere;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(nowhere);
    if (!started)
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD Finish(HANDLE process)
{
    DWORD code = 0xFFFFFFFF;
    if (process) {
        WaitForSingleObject(process, 120000);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
    }
    return code;
}

std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

} // namespace

int wmain(int argc, wchar_t** argv)
{
    unsigned builds = 8, rounds = 25;
    std::wstring sample = ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--builds" && i + 1 < argc)
            builds = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--rounds" && i + 1 < argc)
            rounds = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--sample" && i + 1 < argc)
            sample = argv[++i];
        else {
            fprintf(stderr, "usage: dpdb-stress [--builds N] [--rounds R] [--sample DIR]\n");
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

    unsigned succeeded = 0, failed = 0, wholeA = 0, wholeB = 0, mixed = 0, checkedClean = 0;
    std::vector<double> roundSeconds;
    double begin = SecondsNow();
    for (unsigned round = 0; round < rounds; ++round) {
        double start = SecondsNow();
        std::vector<HANDLE> running;
        for (unsigned i = 0; i < builds; ++i)
            running.push_back(StartDpdb(L"build " + Quote(sources[(round + i) % 2]) + L" " + Quote(target)));
        for (HANDLE process : running)
            (Finish(process) == 0 ? succeeded : failed) += 1;
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
