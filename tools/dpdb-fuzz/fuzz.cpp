// dpdb-fuzz: feeds mutated database files and random store files to the applet's readers, and
// interrupted or damaged set replacements to the recovery that the next opener of a folder runs.
// Deterministic: the same start value and count try the same inputs. Every parsed buffer ends (or
// begins) at a no-access page, so a read outside it faults; any fault is reported with the input's
// number and the input is written to a file, and the program exits with 1.
//   dpdb-fuzz [--count N] [--start S] [--sample DIR]
#include <windows.h>

#include "tools/toolfolders.h"

// Where the build put the scrambled sample database, relative to this program's folder.
#ifndef DIALPASS_SAMPLE_FROM_BIN
#define DIALPASS_SAMPLE_FROM_BIN "../sample"
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "data/records.h"
#include "data/stores.h"

namespace {

// splitmix64: small, fast and the same everywhere.
struct Random {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return n ? unsigned(Next() % n) : 0; }
    bool OneIn(unsigned n) { return Below(n) == 0; }
};

// A buffer of 17 pages between two no-access pages.
struct GuardedArena {
    static constexpr size_t kPage = 4096;
    static constexpr size_t kRoom = 17 * kPage;  // more than the largest file the reader accepts
    char* room = nullptr;

    bool Create()
    {
        char* base = static_cast<char*>(VirtualAlloc(nullptr, kRoom + 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!base)
            return false;
        DWORD old;
        VirtualProtect(base, kPage, PAGE_NOACCESS, &old);
        VirtualProtect(base + kPage + kRoom, kPage, PAGE_NOACCESS, &old);
        room = base + kPage;
        return true;
    }
    // Places bytes against the upper guard (atEnd) or the lower one.
    const char* Place(const std::string& bytes, bool atEnd)
    {
        char* at = atEnd ? room + kRoom - bytes.size() : room;
        memcpy(at, bytes.data(), bytes.size());
        return at;
    }
};

enum Kind { kCountry, kOperator, kProvider, kAccess };

struct CorpusFile {  // a sample file and the record type that reads it
    std::string bytes;
    Kind kind;
};

unsigned long long inputNumber = 0;
unsigned long long startValue = 1;
std::string currentInput;
std::wstring crashFile;

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    fprintf(stderr, "dpdb-fuzz: CRASH (exception 0x%08lX at %p) on input %llu of start %llu; input of %u bytes written to %ls\n",
            info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress, inputNumber, startValue,
            unsigned(currentInput.size()), crashFile.c_str());
    UniqueHandle file(CreateFileW(crashFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (file) {
        DWORD done;
        WriteFile(file.Get(), currentInput.data(), DWORD(currentInput.size()), &done, nullptr);
        file.Close();
    }
    fflush(stderr);
    ExitProcess(1);
    return EXCEPTION_EXECUTE_HANDLER;
}

const char kInteresting[] = {'\r', '\n', ';', '(', ')', ' ', '\t', '-', '+', '0', '9', '\0', '\x80', '\xFF'};

std::string Mutate(Random& random, std::string bytes)
{
    unsigned edits = 1 + random.Below(8);
    for (unsigned e = 0; e < edits; ++e) {
        size_t at = bytes.empty() ? 0 : random.Below(unsigned(bytes.size()));
        switch (random.Below(9)) {
        case 0:  // flip a bit
            if (!bytes.empty())
                bytes[at] = char(bytes[at] ^ (1 << random.Below(8)));
            break;
        case 1:  // an interesting byte in place
            if (!bytes.empty())
                bytes[at] = kInteresting[random.Below(sizeof(kInteresting))];
            break;
        case 2:  // insert interesting bytes
            bytes.insert(at, std::string(1 + random.Below(3), kInteresting[random.Below(sizeof(kInteresting))]));
            break;
        case 3:  // delete a run
            if (!bytes.empty())
                bytes.erase(at, 1 + random.Below(40));
            break;
        case 4:  // cut the end
            bytes.resize(random.Below(unsigned(bytes.size()) + 1));
            break;
        case 5: {  // repeat a run (long fields, many lines)
            if (bytes.empty())
                break;
            std::string run = bytes.substr(at, 1 + random.Below(80));
            for (unsigned n = random.Below(20); n; --n)
                bytes.insert(at, run);
            break;
        }
        case 6:  // a random byte
            if (!bytes.empty())
                bytes[at] = char(random.Below(256));
            break;
        case 7:  // digits, possibly many
            bytes.insert(at, std::string(1 + random.Below(25), char('0' + random.Below(10))));
            break;
        default:  // a long text field
            bytes.insert(at, std::string(random.Below(100), 'x'));
            break;
        }
    }
    if (bytes.size() > kMaxDataFileSize)
        bytes.resize(kMaxDataFileSize);
    return bytes;
}

template <class Record>
void Parse(const char* data, uint32_t size, unsigned long long& checksum)
{
    RecordTable<Record> table;
    try {
        table.ParseBuffer(data, size);
    } catch (const CTableException& error) {
        checksum += unsigned(error.code);
    }
    for (Record* record = table.Next(true); record; record = table.Next(false))
        checksum += 1;
}

void Feed(Kind kind, const char* data, uint32_t size, unsigned long long& checksum)
{
    switch (kind) {
    case kCountry: Parse<CountryRecord>(data, size, checksum); break;
    case kOperator: Parse<OperatorRecord>(data, size, checksum); break;
    case kProvider: Parse<ProviderRecord>(data, size, checksum); break;
    case kAccess: Parse<AccessNumberRecord>(data, size, checksum); break;
    }
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    ReadWholeFile(path.c_str(), bytes);
    return bytes;
}

// A store file: a valid one made by the stores themselves, then mutated; or plain noise.
std::string StoreInput(Random& random, bool profiles, const std::wstring& scratch)
{
    std::string bytes;
    if (random.OneIn(4)) {
        bytes.resize(random.Below(600));
        for (char& c : bytes)
            c = char(random.Below(256));
        return bytes;
    }
    if (profiles) {
        ProfileStore store;
        store.Load(scratch.c_str());
        for (unsigned n = random.Below(5); n; --n) {
            ProfileRecord* record = nullptr;
            if (store.Get(store.AddNew(), record))
                record->provider = uint32_t(random.Next());
        }
        store.Save();
    } else {
        CardSettingsStore store;
        store.Load(scratch.c_str());
        store.Clear();
        for (unsigned n = random.Below(5); n; --n) {
            CardSettingsRecord* record = store.FindOrAdd(int32_t(random.Below(9)), int32_t(random.Below(300)), 49);
            unsigned char sequence[128];
            for (unsigned char& c : sequence)
                c = static_cast<unsigned char>(random.Below(256));
            CardSettingsStore::SetSequence(*record, int(random.Below(2)), sequence, random.Below(129));
            for (unsigned i = 0, n2 = random.Below(20); i < n2; ++i)
                record->accessNumbers[random.Below(2)][i] = wchar_t('0' + i % 10);
        }
        store.Save();
    }
    bytes = ReadFileBytes(scratch);
    DeleteFileW(scratch.c_str());
    unsigned edits = random.Below(6);
    for (unsigned e = 0; e < edits && !bytes.empty(); ++e) {
        size_t at = random.Below(unsigned(bytes.size()));
        switch (random.Below(4)) {
        case 0: bytes[at] = char(random.Below(256)); break;
        case 1: bytes.resize(at); break;
        case 2: bytes.insert(at, std::string(1 + random.Below(4), char(random.Below(256)))); break;
        default: if (bytes.size() > 7) bytes[6 + random.Below(2)] = char(random.Below(256)); break;  // the count
        }
    }
    return bytes;
}

// Loads a store file, saves it, and checks that the saved file loads whole with as many records
// and saves to the same bytes.
template <class Store>
bool CheckStore(const std::string& bytes, const std::wstring& path, unsigned long long& checksum)
{
    WriteWholeFile(path.c_str(), bytes.data(), bytes.size());
    Store store;
    checksum += store.Load(path.c_str());
    unsigned count = store.Count();
    if (!store.Save())
        return false;
    std::string saved = ReadFileBytes(path);
    Store again;
    return again.Load(path.c_str()) && again.Count() == count && again.Save() && ReadFileBytes(path) == saved;
}

std::string RandomBytes(Random& random, unsigned most)
{
    std::string bytes(1 + random.Below(most), '\0');
    for (char& c : bytes)
        c = char(random.Below(256));
    return bytes;
}

// A set replacement stopped after a random step, perhaps its recovery stopped too, then the next
// opener: the folder must hold the whole old or the whole new set. Some inputs damage the journal
// first (the input is then that journal); whatever it says, nothing outside the folder may change.
bool CheckSetRecovery(Random& random, const std::wstring& scratch, unsigned long long& checksum)
{
    std::wstring folder = scratch + L"\\set", outside = scratch + L"\\outside.dat";
    const char kOutside[] = "outside the folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    EmptyFolder(folder);
    WriteWholeFile(outside.c_str(), kOutside, sizeof(kOutside));
    unsigned count = 1 + random.Below(4);
    std::vector<std::wstring> names;
    std::vector<std::string> olds, news;
    FileSet set(folder);
    for (unsigned i = 0; i < count; ++i) {
        names.push_back(L"f" + std::to_wstring(i) + L".dat");
        olds.push_back(random.OneIn(3) ? std::string() : RandomBytes(random, 300));  // "": no old file
        news.push_back(RandomBytes(random, 300));
        if (!olds.back().empty())
            WriteWholeFile((folder + L"\\" + names.back()).c_str(), olds.back().data(), olds.back().size());
        set.Add(names.back(), news.back());
    }
    if (random.OneIn(2)) {
        // Files of another writer under temporary names, which the name generator is made to give
        // again: the commit must neither use nor move them.
        std::vector<std::wstring> taken;
        for (const wchar_t* suffix : {L".new", L".old"}) {
            taken.push_back(NewTemporaryName(suffix));
            UniqueHandle file(CreateFileW((folder + L"\\" + taken.back()).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, 0, nullptr));
            DWORD done = 0;
            WriteFile(file.Get(), "foreign", 7, &done, nullptr);
        }
        taken.insert(taken.end(), {taken[1], taken[0], taken[0], taken[1]});
        SetTemporaryNamesForTesting(taken);
    }
    FileSet::StopAfterStepsForTesting(int(random.Below(4 * count + 4)));
    set.Commit();
    FileSet::StopAfterStepsForTesting(-1);
    SetTemporaryNamesForTesting({});
    // The journal follows the lock file's mark and set name (nine bytes).
    std::wstring lock = folder + L"\\dialpass.lock";
    std::string lockBytes;
    bool damaged = false;
    currentInput.clear();
    if (random.OneIn(3) && ReadWholeFile(lock.c_str(), lockBytes) && lockBytes.size() > 9) {
        currentInput = Mutate(random, lockBytes.substr(9));
        lockBytes = lockBytes.substr(0, 9) + currentInput;
        UniqueHandle file(CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD done = 0;
        WriteFile(file.Get(), lockBytes.data(), DWORD(lockBytes.size()), &done, nullptr);
        file.Close();
        damaged = true;
    }
    if (random.OneIn(2)) {
        FileSet::StopAfterStepsForTesting(int(random.Below(3 * count + 3)));
        RecoverFolder(folder);
        FileSet::StopAfterStepsForTesting(-1);
    }
    bool recovered = RecoverFolder(folder);
    bool wholeOld = true, wholeNew = true;
    for (unsigned i = 0; i < count; ++i) {
        std::string bytes;
        bool present = ReadWholeFile((folder + L"\\" + names[i]).c_str(), bytes);
        wholeOld = wholeOld && (olds[i].empty() ? !present : bytes == olds[i]);
        wholeNew = wholeNew && bytes == news[i];
    }
    checksum += wholeNew ? 2 : wholeOld ? 1 : 0;
    std::string after;
    ReadWholeFile(outside.c_str(), after);
    if (after != std::string(kOutside, sizeof(kOutside)))
        return false;
    return damaged || (recovered && (wholeOld || wholeNew));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    unsigned long long count = 2000;
    std::wstring sample = ProgramDir() + L"\\" L"" DIALPASS_SAMPLE_FROM_BIN;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--count" && i + 1 < argc) {
            count = wcstoull(argv[++i], nullptr, 10);
        } else if (arg == L"--start" && i + 1 < argc) {
            startValue = wcstoull(argv[++i], nullptr, 10);
        } else if (arg == L"--sample" && i + 1 < argc) {
            sample = argv[++i];
        } else {
            fprintf(stderr, "usage: dpdb-fuzz [--count N] [--start S] [--sample DIR]\n");
            return 2;
        }
    }

    struct SampleFile {
        const wchar_t* name;
        Kind kind;
    } files[] = {{L"country.dat", kCountry},         {L"providers.dat", kOperator}, {L"manufacturers.dat", kProvider},
                 {L"Brightwren.dat", kAccess},      {L"Quillmoor.dat", kAccess},   {L"Sundrel.dat", kAccess},
                 {L"Orvalis.dat", kAccess}};
    std::vector<CorpusFile> corpus;
    for (const SampleFile& file : files) {
        DataFileBuffer buffer;
        std::wstring path = sample + L"\\" + file.name;
        try {
            ReadDataFile(buffer, path.c_str());
        } catch (const CTableException&) {
            fprintf(stderr, "dpdb-fuzz: cannot read %ls\n", path.c_str());
            return 3;
        }
        corpus.push_back(CorpusFile{std::string(buffer.data, buffer.size), file.kind});
    }

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring scratch = std::wstring(temp) + L"dpdb-fuzz-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(scratch.c_str(), nullptr);
    crashFile = ProgramDir() + L"\\dpdb-fuzz-crash.bin";
    SetUnhandledExceptionFilter(OnCrash);

    GuardedArena arena;
    if (!arena.Create()) {
        fprintf(stderr, "dpdb-fuzz: no memory for the guarded buffer\n");
        return 3;
    }

    Random random{startValue};
    unsigned long long checksum = 0, storeInputs = 0, fileInputs = 0, setInputs = 0, failures = 0;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    for (inputNumber = 0; inputNumber < count; ++inputNumber) {
        unsigned what = random.Below(20);
        if (what == 3) {  // an interrupted set replacement
            if (!CheckSetRecovery(random, scratch, checksum)) {
                fprintf(stderr, "dpdb-fuzz: set replacement input %llu (start %llu) left neither whole set after "
                                "recovery, or changed a file outside its folder\n",
                        inputNumber, startValue);
                ++failures;
            }
            ++setInputs;
            continue;
        }
        if (what < 2) {  // a store file
            bool profiles = what == 0;
            currentInput = StoreInput(random, profiles, scratch + L"\\made.dat");
            std::wstring path = scratch + L"\\store.dat";
            if (!(profiles ? CheckStore<ProfileStore>(currentInput, path, checksum)
                           : CheckStore<CardSettingsStore>(currentInput, path, checksum))) {
                fprintf(stderr, "dpdb-fuzz: %s store input %llu (start %llu) did not save and load back whole\n",
                        profiles ? "profile" : "card settings", inputNumber, startValue);
                ++failures;
            }
            ++storeInputs;
            continue;
        }
        const CorpusFile& original = corpus[random.Below(unsigned(corpus.size()))];
        currentInput = random.OneIn(50) ? std::string() : Mutate(random, original.bytes);
        if (what == 2) {  // through a scrambled file and the loader, as the applet reads it
            std::string scrambled = currentInput;
            Scramble(&scrambled[0], scrambled.size());
            std::wstring path = scratch + L"\\db.dat";
            WriteWholeFile(path.c_str(), scrambled.data(), scrambled.size());
            CountryTable countries;
            AccessNumberTable numbers;
            try {
                if (original.kind == kAccess)
                    numbers.Load(path.c_str());
                else
                    countries.Load(path.c_str());
            } catch (const CTableException& error) {
                checksum += unsigned(error.code);
            }
            ++fileInputs;
            continue;
        }
        const char* data = arena.Place(currentInput, (inputNumber & 1) == 0);
        Feed(original.kind, data, uint32_t(currentInput.size()), checksum);
        // The same bytes read as every other record type, too.
        Feed(Kind((original.kind + 1 + random.Below(3)) % 4), data, uint32_t(currentInput.size()), checksum);
    }
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart);
    for (const wchar_t* name : {L"\\store.dat", L"\\db.dat", L"\\made.dat", L"\\outside.dat", L"\\dialpass.lock"})
        DeleteFileW((scratch + name).c_str());
    EmptyFolder(scratch + L"\\set");
    RemoveDirectoryW((scratch + L"\\set").c_str());
    RemoveDirectoryW(scratch.c_str());
    printf("dpdb-fuzz: start %llu: %llu inputs tried (%llu database buffers, %llu through files, %llu store files, "
           "%llu interrupted set replacements) in %.2f s, %.0f inputs per second; %llu failures, no crash "
           "(checksum %llu)\n",
           startValue, count, count - storeInputs - fileInputs - setInputs, fileInputs, storeInputs, setInputs, seconds,
           seconds > 0 ? double(count) / seconds : 0.0, failures, checksum);
    return failures ? 1 : 0;
}
