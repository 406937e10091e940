// Replacing a set of files in one folder as a whole, one writer at a time.
//
// A writer takes the folder's lock (folderlock.h: "dialpass.lock", opened without sharing, so the system
// releases it when the writer ends or crashes; writers waiting for it are served in turn), opens every
// old file for deleting (so that one held by another program, or read-only, fails the commit before any
// change), writes every new file under a temporary name that no other process or run can hold (created
// anew, never one that exists) and flushes it, writes the journal naming the swaps and the identity of
// every file in them into the lock file it holds open already, then for each file sets the old one aside
// under another such name and moves the new one in, both through open handles and neither ever over an
// existing file; last it removes the old files and clears the journal. Whoever opens the folder next and
// finds a journal finishes it, so readers see the whole old set or the whole new set. A swap that still
// cannot be made puts the old set back. Recovery and rollback move or delete a file only when it is the
// very file the journal names (its identity, not only its name). A set of one file needs no journal: its
// one swap replaces the file in a single step. The lock file's first byte tells the next writer whether
// this one finished; only when it did not does the next one search the folder for temporaries left
// behind and remove them. The eight bytes after it name the set of files the folder holds: every writer
// changes them before its first change. A reader that takes the lock while it reads (FolderReadHold)
// sees one whole set and its name; a reader on the thread that holds the folder's writer lock reads
// under that lock.
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
#include "data/folderlock.h"

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
