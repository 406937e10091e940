// Replacing a folder's files as one set: interrupted at every step, on a full disk, with files held, two writers.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "data/fileset.h"
#include "data/safefile.h"
#include "datatest.h"
#include "support/windowfind.h"

using namespace datatest;

namespace {

using Files = std::map<std::wstring, std::string>;  // name -> bytes; "" for a file that is absent

const Files kOld = {{L"a.dat", "old a"}, {L"b.dat", "old bb"}, {L"c.dat", ""}};
const Files kNew = {{L"a.dat", "new a, longer"}, {L"b.dat", "new b"}, {L"c.dat", "new c"}};

void Put(const TempDir& dir, const Files& files)
{
    for (const auto& file : files)
        if (!file.second.empty())
            WriteBytes(dir / file.first, file.second);
}

// "old", "new", or what the folder holds when it is neither whole set.
std::string Holds(const TempDir& dir)
{
    Files found;
    std::string shown = "a mix: ";
    for (const auto& file : kOld)
        shown += ToUtf8(file.first) + "=" + (found[file.first] = ReadBytes(dir / file.first)) + " ";
    return found == kOld ? "old" : found == kNew ? "new" : shown;
}

bool Commit(const TempDir& dir, const Files& files, FileSetError* error = nullptr, DWORD wait = kFolderLockWait,
            FolderWriter* writer = nullptr)
{
    FileSet set(dir.Path());
    for (const auto& file : files)
        set.Add(file.first, file.second);
    bool ok = writer ? set.Commit(*writer, wait) : set.Commit(wait);
    if (error)
        *error = set.Error();
    return ok;
}

// The test program as a child that takes the folder's lock for ms milliseconds at a time (testmain.cpp); made, it
// has held the lock at least once (a program can take seconds to start on a busy machine).
struct LockingChild {
    PROCESS_INFORMATION process = {};
    LockingChild(const std::wstring& folder, const wchar_t* ms)
    {
        std::wstring program = ProgramDir() + L"\\dialpass_tests.exe";
        std::wstring command = L"\"" + program + L"\" --take-folder-lock \"" + folder + L"\" " + ms;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        EXPECT_TRUE(CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &startup, &process));
        FileSetError error;
        EXPECT_TRUE(WaitUntil([&] { return !FolderLock().Acquire(folder, 0, error) && error.folderBusy; }, 40000));
    }
    ~LockingChild()
    {
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

// A writer stopped after each of its steps, then a recovery stopped after each of its own, then the next opener: always
// the whole old or new set, never another file's bytes, once new never old. The names given (a.dat's and b.dat's
// backups, then the new files' temporaries) are taken: another program's files, this commit's own, old spares.
TEST(FileSet, InterruptedAfterAnyStepTheNextOpenerFindsAWholeSet)
{
    enum Collision { kNone, kTempsOnForeignFiles, kBackupsOnForeignFiles, kTempsOnOwnBackups, kOldVersionSpares };
    for (Collision collision : {kNone, kTempsOnForeignFiles, kBackupsOnForeignFiles, kTempsOnOwnBackups, kOldVersionSpares}) {
        SCOPED_TRACE(testing::Message() << "collision " << collision);
        bool sawOld = false, sawNew = false;
        for (int step = 0;; ++step) {
            TempDir dir;
            Put(dir, kOld);
            ASSERT_TRUE(Commit(dir, kOld));  // the folder in order: the writer has no cause to sweep it
            std::vector<std::wstring> foreign;  // another program's files under names of the writer's kind
            for (const wchar_t* suffix : {L".new", L".old"})
                if (collision == kTempsOnForeignFiles || collision == kBackupsOnForeignFiles)
                    WriteBytes(dir / foreign.emplace_back(NewTemporaryName(suffix)), "foreign");
            std::wstring own1 = NewTemporaryName(L".old"), own2 = NewTemporaryName(L".old");
            if (collision == kTempsOnForeignFiles)
                SetTemporaryNamesForTesting({own1, own2, foreign[0], foreign[1], foreign[0]});
            if (collision == kBackupsOnForeignFiles)
                SetTemporaryNamesForTesting({foreign[1], foreign[0]});
            if (collision == kTempsOnOwnBackups)
                SetTemporaryNamesForTesting({own1, own2, own1, own2, own2});
            if (collision == kOldVersionSpares) {  // given as names again
                WriteBytes(dir / L"~dp10C-1.old", "kept a");
                WriteBytes(dir / L"~dp10C-2.old", "kept b");
                WriteOldVersionSpares(dir.Path(), {{"a.dat", "~dp10C-1.old"}, {"b.dat", "~dp10C-2.old"}});
                SetTemporaryNamesForTesting({L"~dp10C-1.old", L"~dp10C-2.old", L"~dp10C-1.new", L"~dp10C-2.new"});
            }
            FileSet::StopAfterStepsForTesting(step);
            bool done = Commit(dir, kNew);
            FileSet::StopAfterStepsForTesting(-1);
            SetTemporaryNamesForTesting({});
            for (int again = 0; !done && again < 12; ++again) {  // the recovery itself interrupted
                TempDir copy;
                CopyFiles(dir.Path(), copy.Path());
                FileSet::StopAfterStepsForTesting(again);
                RecoverFolder(copy.Path());
                FileSet::StopAfterStepsForTesting(-1);
                EXPECT_TRUE(RecoverFolder(copy.Path())) << step << "/" << again;
                std::string after = Holds(copy);
                EXPECT_TRUE(after == "old" || after == "new") << step << "/" << again << ": " << after;
                EXPECT_FALSE(sawNew && after == "old") << step << "/" << again;
            }
            ASSERT_TRUE(done || RecoverFolder(dir.Path())) << step;
            for (const std::wstring& name : foreign) {  // kept, then out of the way
                EXPECT_EQ(ReadBytes(dir / name), "foreign") << step << ": " << ToUtf8(name);
                DeleteFileW((dir / name).c_str());
            }
            if (done) {  // and it left no temporary, nor an earlier version's spares
                EXPECT_EQ(Holds(dir), "new");
                EXPECT_EQ(Names(dir.Path()), "a.dat b.dat c.dat dialpass.lock");
                EXPECT_GT(step, 8);  // three new files, the journal, two old files set aside, three swaps
                break;
            }
            sawOld = sawOld || Holds(dir) == "old";
            sawNew = sawNew || Holds(dir) == "new";
            // The next writer sweeps the temporaries of the one that crashed, and an earlier version's spares.
            ASSERT_TRUE(Commit(dir, kNew)) << step;
            EXPECT_EQ(Names(dir.Path()), "a.dat b.dat c.dat dialpass.lock") << step;
        }
        EXPECT_TRUE(sawOld);
        EXPECT_TRUE(sawNew);
    }
}

// A disk that fills after any number of bytes: the commit fails, the old set stays, nothing is left.
TEST(FileSet, ADiskThatFillsPartWayLeavesTheOldSet)
{
    TempDir dir;
    Put(dir, kOld);
    long long limit = 0;
    for (;; ++limit) {
        SafeFileWriter::SetWriteLimitForTesting(limit);
        FileSetError error;
        bool done = Commit(dir, kNew, &error);
        SafeFileWriter::SetWriteLimitForTesting(-1);
        if (done)
            break;
        EXPECT_EQ(Holds(dir), "old") << limit;
        EXPECT_EQ(Names(dir.Path()), "a.dat b.dat dialpass.lock") << limit;
        EXPECT_EQ(error.code, DWORD(ERROR_DISK_FULL)) << limit;
        EXPECT_TRUE(error.oldSetKept) << limit;
    }
    EXPECT_EQ(Holds(dir), "new");
    EXPECT_GE(limit, 23);  // every byte of the new files was needed
}

// A file held open by another program (as the applet's reader holds it: sharing reads only) cannot be replaced,
// nor can a read-only file: the commit finds it before any change, a recovery undoes swaps it cannot finish.
TEST(FileSet, AHeldOrReadOnlyFileBringsBackTheOldSet)
{
    const DWORD kReadOnly = ~0u;  // not held open but marked read-only
    // the files held during the commit (or, after one stopped after stopAfter steps, during the recovery), their
    // sharing, whether the old set is back before they are let go, the file the error names
    struct Case { const wchar_t* held[2]; DWORD share; int stopAfter; bool kept; const wchar_t* named; } cases[] = {
        {{L"a.dat"}, FILE_SHARE_READ, -1, true, L"a.dat"},
        {{L"b.dat"}, FILE_SHARE_READ, -1, true, L"b.dat"},  // found before a.dat is touched
        {{L"b.dat"}, kReadOnly, -1, true, L"b.dat"},
        {{L"b.dat"}, FILE_SHARE_READ, 4, true, L"b.dat"},   // journal written: the next opener cannot swap b.dat
        {{L"a.dat", L"b.dat"}, FILE_SHARE_READ, 6, false, L"dialpass.lock"},  // a.dat swapped: neither set
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.held[0]) + " after " + std::to_string(c.stopAfter));
        TempDir dir;
        Put(dir, kOld);
        bool recovery = c.stopAfter >= 0;
        if (recovery) {
            FileSet::StopAfterStepsForTesting(c.stopAfter);
            EXPECT_FALSE(Commit(dir, kNew));
            FileSet::StopAfterStepsForTesting(-1);
        }
        HANDLE held[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
        for (int i = 0; i < 2 && c.held[i]; ++i) {
            std::wstring path = dir / c.held[i];
            if (c.share == kReadOnly)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            else
                held[i] = CreateFileW(path.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        }
        FileSetError error;
        EXPECT_EQ(recovery ? RecoverFolder(dir.Path(), &error) : Commit(dir, kNew, &error), recovery && c.kept);
        EXPECT_EQ(error.oldSetKept, c.kept) << ToUtf8(error.Text());
        EXPECT_EQ(error.file, dir / c.named);
        EXPECT_EQ(error.code, DWORD(c.share == kReadOnly ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION));
        for (HANDLE handle : held)
            CloseHandle(handle);
        SetFileAttributesW((dir / c.held[0]).c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(RecoverFolder(dir.Path()));
        EXPECT_EQ(Holds(dir), "old");
        EXPECT_EQ(Names(dir.Path()), "a.dat b.dat dialpass.lock");
    }
    // Held for a moment only, as by a reader between two reads: tried again, and replaced.
    TempDir dir;
    Put(dir, kOld);
    HANDLE moment = CreateFileW((dir / L"b.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::thread letGo([=] {
        Sleep(50);
        CloseHandle(moment);
    });
    FileSetError error;
    EXPECT_TRUE(Commit(dir, kNew, &error)) << ToUtf8(error.Text());
    EXPECT_EQ(Holds(dir), "new");
    letGo.join();
}

// One writer at a time: a second waits a bounded time and fails saying why; a killed writer's lock is free at once.
// A waiting writer is served although another program takes the lock again the moment it lets go, 20 ms at a time.
TEST(FolderLock, ASecondWriterWaitsThenFailsAKilledWriterLetsGoAndAWaitingOneIsServed)
{
    TempDir dir;
    Put(dir, kOld);
    FileSetError error;
    {
        LockingChild first(dir.Path(), L"-1");
        DWORD start = GetTickCount();
        EXPECT_FALSE(Commit(dir, kNew, &error, 300));
        DWORD waited = GetTickCount() - start;
        EXPECT_GE(waited, 250u);
        EXPECT_LT(waited, 3000u);
        EXPECT_EQ(ToUtf8(error.Text()), ToUtf8(dir / L"dialpass.lock") + ": another program is writing to this folder "
                  "and did not finish within 0.3 seconds: " + ToUtf8(SystemErrorText(ERROR_SHARING_VIOLATION)) +
                  "; the old files are in place");
        TempDir other;  // each folder queues apart: a writer elsewhere goes on at once
        EXPECT_TRUE(Commit(other, kNew, &error, 0)) << ToUtf8(error.Text());
    }  // killed: its lock is free at once
    EXPECT_TRUE(Commit(dir, kNew, &error, 2000)) << ToUtf8(error.Text());
    {
        LockingChild loop(dir.Path(), L"20");
        int served = 0;
        for (int i = 0; i < 20; ++i)
            served += Commit(dir, i % 2 ? kOld : kNew, &error, 500);
        EXPECT_EQ(served, 20) << ToUtf8(error.Text());
    }
}

// Commits under one writer hold its folder's lock from the first to the writer's end (the same thread's second
// writer fails at once rather than wait for itself); one killed under the writer leaves its temporary for the next.
TEST(FolderWriter, CommitsShareTheLockAndAKilledOneLeavesItsTemporaryToTheNextWriter)
{
    TempDir dir;
    FileSetError error;
    {
        FolderWriter writer;
        ASSERT_TRUE(Commit(dir, {{L"a.dat", "a"}}, &error, kFolderLockWait, &writer));
        DWORD start = GetTickCount();
        EXPECT_FALSE(Commit(dir, kOld, &error, 1000));
        EXPECT_LT(GetTickCount() - start, 200u);
        EXPECT_TRUE(error.folderBusy);
        FileSet::StopAfterStepsForTesting(1);
        EXPECT_FALSE(Commit(dir, {{L"b.dat", "b"}}, &error, kFolderLockWait, &writer));
        FileSet::StopAfterStepsForTesting(-1);
    }
    EXPECT_NE(Names(dir.Path()).find("~dp"), std::string::npos) << Names(dir.Path());
    ASSERT_TRUE(Commit(dir, {{L"b.dat", "b"}}));
    EXPECT_EQ(Names(dir.Path()), "a.dat b.dat dialpass.lock");
}

TEST(FileSet, NamesMustBePlainFileNames)
{
    // name; accepted by IsPlainFileName
    std::pair<const wchar_t*, bool> cases[] = {
        {L"country.dat", true}, {L"Quill moor.dat", true}, {L"..dat", true}, {L"\x00e5land.dat", true},
        {L"", false}, {L".", false}, {L"..", false}, {L"..\\..\\x.dat", false}, {L"a/b.dat", false},
        {L"C:x.dat", false}, {L"a|b", false}, {L"tab\t.dat", false}, {L"trailing.", false}, {L"blank ", false},
        {L"CON.dat", false}, {L"con", false}, {L"Nul.dat", false}, {L"COM1.dat", false}, {L"lpt9.x.y", false},
        {L"COM\x00b9.dat", false}, {L"AUX .dat", false}, {L"COM10.dat", true}, {L"CONSOLE.dat", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPlainFileName(c.first), c.second) << ToUtf8(c.first);
    // A code the system has no text for still says which it is.
    EXPECT_EQ(ToUtf8(SystemErrorText(0xE0001234)), "error 3758101044");
    FileSet set(L"C:\\anywhere");
    EXPECT_FALSE(set.Add(L"..\\x.dat", "x"));
    EXPECT_FALSE(set.Add(L"Dialpass.LOCK", "x"));  // the folder's own file is not the caller's
    EXPECT_FALSE(set.Add(L"~dp1-2.new", "x"));
}

}  // namespace
