// Replacing a set of files in one folder as a whole, one writer at a time.
//
// A writer takes the folder's lock ("dialpass.lock", opened without sharing, so the system releases
// it when the writer ends or crashes; writers waiting for it are served in turn), opens every old file
// for deleting (so that one held by another program, or read-only, fails the commit before any
// change), writes every new file under a temporary name that no other process or run can hold
// (created anew, never one that exists) and flushes it, writes the journal naming the swaps and the
// identity of every file in them into the lock file it holds open already, then for each file sets
// the old one aside under another such name and moves the new one in, both through open handles and
// neither ever over an existing file; last it removes the old files and clears the journal. Whoever
// opens the folder next and finds a journal finishes it, so readers see the whole old set or the
// whole new set. A swap that still cannot be made puts the old set back. Recovery and rollback move
// or delete a file only when it is the very file the journal names (its identity, not only its name).
// A set of one file needs no journal: its one swap replaces the file in a single step.
// The lock file's first byte tells the next writer whether this one finished; only when it did not
// does the next one search the folder for temporaries left behind and remove them. The eight bytes
// after it name the set of files the folder holds: every writer changes them before its first change.
// A reader that takes the lock while it reads (FolderReadHold) sees one whole set and its name; a
// reader on the thread that holds the folder's writer lock reads under that lock.
//
// Use: FolderReadHold while reading files that must belong to one set (or RecoverFolder before
// reading a folder); to write,
//     FileSet set(folder); set.Add(L"country.dat", bytes); ...; if (!set.Commit()) show set.Error().Text();
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/path.h"

// How long a writer waits for another writer's lock before it gives up.
constexpr DWORD kFolderLockWait = 10000;
// How long a reader waits: a writer holds the lock for the few swaps of one replacement.
constexpr DWORD kFolderReadWait = 2000;

// What went wrong, for a message.
struct FileSetError {
    std::wstring file;         // full path of the file (or folder) concerned
    std::wstring what;         // what failed, in plain words, e.g. "cannot be written"
    DWORD code = 0;            // the system's error code; 0 when the system reported none
    bool oldSetKept = true;    // false only when neither set is whole until the folder is next opened
    bool folderBusy = false;   // another writer held the folder's lock for the whole wait
    std::wstring putBack;      // the files a rollback could not put back, and where their old bytes are

    // "file: what: the system's own text" (the last part only with a code).
    std::wstring Text() const;
};

// The folder's writer lock: folder\dialpass.lock opened exclusively while held. Its one byte says
// whether the holder before left the folder in order, so that only then the scan of the folder for
// temporaries of a writer that died can be skipped. Taken and released on one thread.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Waits in turn while others hold the lock, for at most wait ms; false with error otherwise, at
    // once when this thread holds the folder's lock already. create false: a folder without a lock
    // file is left without one (false, code ERROR_FILE_NOT_FOUND).
    bool Acquire(const std::wstring& folder, DWORD wait, FileSetError& error, bool create = true);
    void Release();
    bool Held() const { return handle != INVALID_HANDLE_VALUE; }
    // The lock of folder (any spelling of it) that this thread holds, or null.
    static FolderLock* HeldByThisThread(const std::wstring& folder);

    // Whether the holder before marked the folder in order (false for a lock never marked).
    bool FoundInOrder() const { return found == '0'; }
    // The name of the set of files the folder held when the lock was taken (0: never named), and now
    // (changed by MarkChanging).
    uint64_t FoundSet() const { return foundSet; }
    uint64_t Set() const { return set; }
    // Marks the folder as being changed (before the first change) or as holding no temporaries of
    // ours; a mark already there is not written again, one that cannot be written leaves the lock
    // as it was.
    void MarkChanging() { Mark('1'); }
    void MarkInOrder() { Mark('0'); }

    // The journal of a replacement under way, kept in the lock file after the mark and the set's name.
    // Write: the whole journal, flushed; false with the system's code otherwise.
    bool WriteJournal(const std::string& journal, DWORD& code);
    // Changes its first byte (its state) alone, flushed unless flush is false.
    bool WriteJournalState(char state, DWORD& code, bool flush = true);
    // The journal, or "" when there is none; false with the system's code when it cannot be read.
    bool ReadJournal(std::string& journal, DWORD& code) const;
    void ClearJournal();

private:
    void Mark(char state);
    void LeaveQueue();
    // Writes size bytes at the journal's start, then (cut) ends the file after them, then (flush) flushes.
    bool WriteJournalBytes(const char* bytes, DWORD size, bool cut, bool flush, DWORD& code);

    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE queue = nullptr;  // the folder's waiting line (a mutex), owned while the lock is held
    char found = 0;   // the mark when taken; 0 for none
    char marked = 0;  // the mark now
    uint64_t foundSet = 0;
    uint64_t set = 0;
};

// Lets several commits in one folder take its lock once: the first commit takes it, finishes an
// unfinished replacement and removes temporaries left behind; later ones in the same folder only
// write. The lock is let go, and the folder marked in order when every commit left it so, at the
// writer's end. A commit in another folder takes that folder's lock for itself.
class FolderWriter {
public:
    // lockWait: how long each commit through WriteWholeFile waits for another writer's lock.
    explicit FolderWriter(DWORD lockWait = kFolderLockWait) : lockWait(lockWait) {}
    ~FolderWriter();
    FolderWriter(const FolderWriter&) = delete;
    FolderWriter& operator=(const FolderWriter&) = delete;

    // The lock of the folder written (not held before the first commit).
    const FolderLock& Lock() const { return lock; }
    DWORD LockWait() const { return lockWait; }

private:
    friend class FileSet;
    FolderLock lock;
    std::wstring folder;  // where the lock is held; empty before the first commit
    bool inOrder = true;  // no commit under this lock left anything behind
    DWORD lockWait;
};

// The new content of some files of one folder, replaced together by Commit.
class FileSet {
public:
    explicit FileSet(const std::wstring& folder) : folder(folder) {}

    // Adds a file by its plain name (IsPlainFileName) and new bytes; false, nothing added, otherwise.
    // A name added again (compared case-insensitively) takes the later bytes.
    bool Add(const std::wstring& name, std::string bytes);
    // Takes the lock (waiting at most lockWait ms), finishes an earlier unfinished replacement, then
    // replaces the files as a whole. true: every file holds its new bytes; false: Error() says why,
    // and unless Error().oldSetKept is false every file holds its old bytes (or is still absent).
    bool Commit(DWORD lockWait = kFolderLockWait);
    // The same under writer's lock (taken here when writer holds none yet).
    bool Commit(FolderWriter& writer, DWORD lockWait = kFolderLockWait);
    const FileSetError& Error() const { return error; }

    // For tests: the next Commit or RecoverFolder stops dead after this many changes to the folder
    // (a file written, renamed or deleted), as if the process had crashed; -1: never.
    static void StopAfterStepsForTesting(int steps);

private:
    struct File {
        std::wstring name;
        std::string bytes;
    };
    std::wstring folder;
    std::vector<File> files;
    FileSetError error;
};

// Call before reading a folder: when a journal shows an unfinished replacement, takes the lock
// (waiting at most lockWait ms; this thread's own when it holds it) and finishes it or puts the old
// set back. true when the folder now
// holds a whole set (at once when there is no journal); false with error (when given) otherwise.
bool RecoverFolder(const std::wstring& folder, FileSetError* error = nullptr, DWORD lockWait = kFolderLockWait);

// A reader's hold on a folder: while it is held no writer changes the folder, so what is read in
// the meantime belongs to one set, which Set() names.
class FolderReadHold {
public:
    // Takes the folder's lock (waiting at most wait ms) and finishes an unfinished replacement. A
    // folder without a lock file, or where it cannot be opened at all, has never been written
    // through it: true, nothing held, Set() 0 (a reader makes no lock file). On a thread that holds
    // the folder's writer lock, reads under that lock at once.
    bool Take(const std::wstring& folder, DWORD wait = kFolderReadWait, FileSetError* error = nullptr);
    void Release()
    {
        lock.Release();
        borrowed = nullptr;
    }
    uint64_t Set() const { return borrowed ? borrowed->Set() : lock.Set(); }

private:
    FolderLock lock;
    const FolderLock* borrowed = nullptr;  // this thread's writer lock, read under
};
// Replaces the file at path with size bytes: a FileSet of one file in the path's folder. true when
// the file was replaced whole; else the old file is untouched and error (when given) says why.
bool WriteWholeFile(const wchar_t* path, const void* bytes, size_t size, FileSetError* error = nullptr);
// The same, taking the bytes over rather than copying them; under writer's lock when given.
bool WriteWholeFile(const wchar_t* path, std::string bytes, FileSetError* error = nullptr,
                    FolderWriter* writer = nullptr);
