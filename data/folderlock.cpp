#include "data/folderlock.h"

#include <vector>

#include "base/hash.h"
#include "base/path.h"

const wchar_t kFolderLockName[] = L"dialpass.lock";

namespace {

// The lock file: the mark (one byte) and the set's name (eight), then the journal.
const DWORD kMarkAndSetBytes = 9;
const DWORD kJournalOffset = kMarkAndSetBytes;
// More than any journal of ours can hold: a longer one is damaged and not read.
const DWORD kJournalLimit = 1 << 22;

std::wstring Seconds(DWORD milliseconds)
{
    // Tenths rounded half up; the system's formatting has no floating point (nor the code for it).
    wchar_t text[32];
    unsigned long tenths = (static_cast<unsigned long>(milliseconds) + 50) / 100;
    if (milliseconds % 1000)
        wsprintfW(text, L"%lu.%lu", tenths / 10, tenths % 10);
    else
        wsprintfW(text, L"%lu", static_cast<unsigned long>(milliseconds / 1000));
    return text;
}

// The locks this process holds, with the thread that took each: a reader on that thread borrows
// the lock rather than waiting for it, and a second writer there fails at once.
struct HeldLock {
    std::wstring folder;  // FolderKey
    DWORD thread;
    FolderLock* lock;
};
std::vector<HeldLock> heldLocks;
SRWLOCK heldLocksGuard = SRWLOCK_INIT;

// folder as one spelling: full path, no trailing separator (but a root's).
std::wstring FolderKey(const std::wstring& folder)
{
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(folder.empty() ? L"." : folder.c_str(), ARRAYSIZE(full), full, nullptr);
    std::wstring key = length && length < ARRAYSIZE(full) ? std::wstring(full, length) : folder;
    while (key.size() > 3 && (key.back() == L'\\' || key.back() == L'/'))
        key.pop_back();
    return key;
}

// Writers and readers of one folder queue on a named mutex before they open its lock file, so that
// the system serves them in turn: one that takes and lets go the lock in a tight loop cannot starve
// a writer that waits (the lock file alone is a race that the quicker one always wins).
std::wstring QueueName(const std::wstring& key)
{
    std::wstring upper = key;
    CharUpperBuffW(&upper[0], DWORD(upper.size()));
    uint64_t hash = Fnv1a64(upper.data(), upper.size() * sizeof(wchar_t));
    wchar_t name[64];
    wsprintfW(name, L"Local\\Kestrova.Dialpass.FolderLock.%08lX%08lX", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return name;
}

FileSetError BusyError(const std::wstring& path, DWORD code, DWORD wait)
{
    FileSetError error;
    error.file = path;
    error.code = code;
    error.folderBusy = true;
    error.what = L"another program is writing to this folder and did not finish within " + Seconds(wait) + L" seconds";
    return error;
}

} // namespace

std::wstring FileSetError::Text() const
{
    std::wstring text = file + L": " + what;
    if (code)
        text += L": " + SystemErrorText(code);
    if (!putBack.empty() && putBack != file + L" " + what)
        text += L"; " + putBack;
    text += oldSetKept ? L"; the old files are in place"
                       : L"; the files are put in order when the folder is next opened";
    return text;
}

FolderLock* FolderLock::HeldByThisThread(const std::wstring& folder)
{
    std::wstring key = FolderKey(folder);
    DWORD thread = GetCurrentThreadId();
    AcquireSRWLockShared(&heldLocksGuard);
    FolderLock* found = nullptr;
    for (const HeldLock& held : heldLocks) {
        if (held.thread == thread && SameName(held.folder, key))
            found = held.lock;
    }
    ReleaseSRWLockShared(&heldLocksGuard);
    return found;
}

bool FolderLock::Acquire(const std::wstring& folder, DWORD wait, FileSetError& error, bool create)
{
    Release();
    std::wstring path = JoinPath(folder, kFolderLockName);
    if (HeldByThisThread(folder)) {
        // Waiting for a lock this thread holds would only end in giving up.
        error = BusyError(path, ERROR_LOCK_VIOLATION, 0);
        error.what = L"this folder's lock is held already by the same writer";
        return false;
    }
    DWORD start = GetTickCount();
    std::wstring key = FolderKey(folder);
    queue.Reset(CreateMutexW(nullptr, FALSE, QueueName(key).c_str()));
    if (queue) {
        DWORD waited = WaitForSingleObject(queue.Get(), wait);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {  // abandoned: its holder ended
            queue.Close();
            if (waited == WAIT_TIMEOUT) {
                error = BusyError(path, ERROR_SHARING_VIOLATION, wait);
                return false;
            }
        }
    }
    DWORD pause = 5;
    for (;;) {
        file.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            unsigned char state[kMarkAndSetBytes] = {};
            DWORD read = 0;
            if (!ReadFile(file.Get(), state, sizeof(state), &read, nullptr))
                read = 0;
            found = read >= 1 ? char(state[0]) : 0;
            foundSet = 0;
            for (DWORD i = read == sizeof(state) ? 8 : 0; i > 0; --i)
                foundSet = foundSet << 8 | state[i];
            marked = found;
            set = foundSet;
            AcquireSRWLockExclusive(&heldLocksGuard);
            heldLocks.push_back(HeldLock{key, GetCurrentThreadId(), this});
            ReleaseSRWLockExclusive(&heldLocksGuard);
            return true;
        }
        DWORD code = GetLastError();
        DWORD waited = GetTickCount() - start;
        // An earlier version's writer, or a program that holds the file itself, does not queue.
        bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        if (!busy || waited >= wait) {
            LeaveQueue();
            if (busy) {
                error = BusyError(path, code, wait);
            } else {
                error = FileSetError();
                error.file = folder.empty() ? std::wstring(L".") : folder;
                error.code = code;
                error.what = std::wstring(L"the writer's lock (") + kFolderLockName + L") cannot be taken in this folder";
            }
            return false;
        }
        Sleep(pause < wait - waited ? pause : wait - waited);
        pause = pause < 80 ? pause * 2 : 100;
    }
}

void FolderLock::LeaveQueue()
{
    if (queue)
        ReleaseMutex(queue.Get());
    queue.Close();
}

void FolderLock::Mark(char state)
{
    // The first mark of a change names a new set: one more than the last, or, in a folder whose sets
    // were never named (or whose lock was deleted), the time, which no earlier name there can reach.
    uint64_t next = set;
    if (state == '1' && set == foundSet) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        next = foundSet ? foundSet + 1 : (uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime);
    }
    unsigned char bytes[kMarkAndSetBytes] = {static_cast<unsigned char>(state)};
    for (DWORD i = 1; i < kMarkAndSetBytes; ++i)
        bytes[i] = static_cast<unsigned char>(next >> (8 * (i - 1)));
    DWORD size = next == set && set == 0 ? 1 : 9, written = 0;
    OVERLAPPED start = {};  // offset 0, whatever was read or written before
    if (file && (marked != state || next != set) &&
        WriteFile(file.Get(), bytes, size, &written, &start) && written == size) {
        marked = state;
        set = next;
    }
}

bool FolderLock::WriteJournalBytes(const char* bytes, DWORD size, bool cut, bool flush, DWORD& code)
{
    OVERLAPPED at = {};
    at.Offset = kJournalOffset;
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = kJournalOffset + LONGLONG(size);
    HANDLE handle = file.Get();
    if (WriteFile(handle, bytes, size, &written, &at) && written == size &&
        (!cut || (SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle))) &&
        (!flush || FlushFileBuffers(handle)))
        return true;
    code = GetLastError();
    return false;
}

bool FolderLock::WriteJournal(const std::string& journal, DWORD& code)
{
    // Cut to its length, so that nothing of a longer journal before it follows it.
    return WriteJournalBytes(journal.data(), DWORD(journal.size()), true, true, code);
}

bool FolderLock::WriteJournalState(char state, DWORD& code, bool flush)
{
    return WriteJournalBytes(&state, 1, false, flush, code);
}

bool FolderLock::ReadJournal(std::string& journal, DWORD& code) const
{
    journal.clear();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) {
        code = GetLastError();
        return false;
    }
    if (size.QuadPart <= kJournalOffset || size.QuadPart > kJournalOffset + kJournalLimit)
        return true;  // none, or longer than any of ours: nothing to follow
    journal.resize(size_t(size.QuadPart - kJournalOffset));
    OVERLAPPED at = {};
    at.Offset = kJournalOffset;
    DWORD read = 0;
    if (!ReadFile(file.Get(), &journal[0], DWORD(journal.size()), &read, &at)) {
        code = GetLastError();
        journal.clear();
        return false;
    }
    journal.resize(read);
    return true;
}

void FolderLock::ClearJournal()
{
    LARGE_INTEGER end;
    end.QuadPart = kJournalOffset;
    // Not flushed: a cleared journal that comes back after a power cut describes the state the folder
    // is in, and finishing it again changes nothing.
    if (SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN))
        SetEndOfFile(file.Get());
}

void FolderLock::Release()
{
    if (file) {
        AcquireSRWLockExclusive(&heldLocksGuard);
        for (auto held = heldLocks.begin(); held != heldLocks.end(); ++held) {
            if (held->lock == this) {
                heldLocks.erase(held);
                break;
            }
        }
        ReleaseSRWLockExclusive(&heldLocksGuard);
    }
    file.Close();
    LeaveQueue();
}
