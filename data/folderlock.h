// The writer's lock of a folder: "dialpass.lock", opened without sharing while held, so that the
// system releases it when the holder ends or crashes. Writers and readers waiting for it queue on a
// named mutex and are served in turn. The file holds, in this order: a mark (one byte) telling the next
// holder whether this one left the folder in order, the name of the set of files the folder holds
// (eight bytes, little-endian), and the journal of a replacement under way (fileset.h writes it).
// The process keeps a list of the locks each thread holds, so that a reader on that thread reads
// under the lock and a second writer there fails at once.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/handle.h"

// The lock file's name in every folder written through it.
extern const wchar_t kFolderLockName[];

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
    bool Held() const { return bool(file); }
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

    UniqueHandle file;   // the lock file, opened without sharing
    UniqueHandle queue;  // the folder's waiting line (a mutex), owned while the lock is held
    char found = 0;   // the mark when taken; 0 for none
    char marked = 0;  // the mark now
    uint64_t foundSet = 0;
    uint64_t set = 0;
};
