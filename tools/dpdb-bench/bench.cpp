// dpdb-bench: loading a database file of the largest size the reader accepts (65,535 bytes) with the
// applet's loader (the folder's lock taken while the file is read, so that the set it belongs to is
// known; open, read, unscramble, parse, one allocation per record) against one plain
// ReadFile of the same file. Prints both times, best of the rounds, and their ratio (goal: 3 or less).
//   dpdb-bench [--rounds N] [--sample DIR]
#include <windows.h>

#include "tools/toolfolders.h"

// Where the build put the scrambled sample database, relative to this program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

#include <algorithm>
#include <cstdio>

#include "tools/benchclock.h"
#include <cwchar>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/records.h"
#include "data/safefile.h"

namespace {

// Whole lines of the sample file, repeated up to 65,535 bytes.
std::string Fill(const std::string& lines)
{
    std::string out;
    size_t at = 0;
    while (true) {
        size_t end = lines.find("\r\n", at);
        if (end == std::string::npos) {
            at = 0;
            continue;
        }
        std::string line = lines.substr(at, end + 2 - at);
        if (out.size() + line.size() > kMaxDataFileSize)
            break;
        out += line;
        at = end + 2 >= lines.size() ? 0 : end + 2;
    }
    return out;
}

// One plain read: open, ReadFile of the whole size into a buffer, close.
double PlainRead(const std::wstring& path, std::vector<char>& buffer)
{
    double begin = SecondsNow();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD read = 0;
    ReadFile(file.Get(), buffer.data(), DWORD(buffer.size()), &read, nullptr);
    file.Close();
    return SecondsNow() - begin;
}

template <class Record>
double Load(const std::wstring& path, size_t& records)
{
    RecordTable<Record> table;
    double begin = SecondsNow();
    table.Load(path.c_str());
    double elapsed = SecondsNow() - begin;
    records = table.Count();
    return elapsed;  // freeing the records is not part of the load
}

template <class Record>
bool Measure(const wchar_t* what, const std::wstring& sample, const std::wstring& scratch, int rounds)
{
    DataFileBuffer source;
    try {
        ReadDataFile(source, (sample + L"\\" + what).c_str());
    } catch (const CTableException&) {
        fprintf(stderr, "dpdb-bench: cannot read %ls in %ls\n", what, sample.c_str());
        return false;
    }
    std::string bytes = Fill(std::string(source.data, source.size));
    Scramble(&bytes[0], bytes.size());
    std::wstring path = scratch + L"\\" + what;
    // Written as an installation's files are, so the folder's lock says it is in order.
    if (!WriteWholeFile(path.c_str(), bytes.data(), bytes.size())) {
        fprintf(stderr, "dpdb-bench: cannot write %ls\n", path.c_str());
        return false;
    }

    std::vector<char> buffer(bytes.size());
    std::vector<double> plain, parse;
    size_t records = 0;
    for (int i = 0; i < rounds; ++i) {  // interleaved, so both see the same machine
        plain.push_back(PlainRead(path, buffer));
        parse.push_back(Load<Record>(path, records));
    }
    DeleteFileW(path.c_str());
    DeleteFileW((scratch + L"\\dialpass.lock").c_str());
    double firstParse = parse.front();  // the first load of the run takes fresh memory for its records
    std::sort(plain.begin(), plain.end());
    std::sort(parse.begin(), parse.end());
    double bestPlain = plain.front(), bestParse = parse.front();
    double medianPlain = plain[plain.size() / 2], medianParse = parse[parse.size() / 2];
    printf("%-18ls %6u bytes %5u records  ReadFile %6.1f us  load %6.1f us  ratio %4.2f  (medians %.1f / %.1f us, "
           "%.2f; first load %.1f us, %.2f)\n",
           what, unsigned(bytes.size()), unsigned(records), bestPlain * 1e6, bestParse * 1e6, bestParse / bestPlain,
           medianPlain * 1e6, medianParse * 1e6, medianParse / medianPlain, firstParse * 1e6, firstParse / medianPlain);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rounds = 200;
    std::wstring sample = ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--rounds" && i + 1 < argc) {
            rounds = std::max(1, _wtoi(argv[++i]));
        } else if (arg == L"--sample" && i + 1 < argc) {
            sample = argv[++i];
        } else {
            fprintf(stderr, "usage: dpdb-bench [--rounds N] [--sample DIR]\n");
            return 2;
        }
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring scratch = std::wstring(temp) + L"dpdb-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(scratch.c_str(), nullptr);
    printf("dpdb-bench: %d rounds, best round shown; the load holds the folder, reads, unscrambles and parses the file\n", rounds);
    bool ok = Measure<OperatorRecord>(L"providers.dat", sample, scratch, rounds) &&
              Measure<CountryRecord>(L"country.dat", sample, scratch, rounds) &&
              Measure<ProviderRecord>(L"manufacturers.dat", sample, scratch, rounds) &&
              Measure<AccessNumberRecord>(L"Brightwren.dat", sample, scratch, rounds);
    RemoveDirectoryW(scratch.c_str());
    return ok ? 0 : 1;
}
