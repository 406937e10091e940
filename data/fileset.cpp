#include "data/fileset.h"

#include <cwchar>
#include <memory>

#include "data/safefile.h"

namespace {

const wchar_t kLockName[] = L"dialpass.lock";
const char kJournalHeader[] = "dialpass journal 2";
// The lock file: the mark (one byte) and the set's name (eight), then the journal of a replacement
// under way: its state (one byte, so that turning it to a rollback is a single write) and its text.
// A finished replacement that kept the files it replaced leaves its journal in the spares state:
// each swap's backup is then a spare for the next replacement of its target to write over.
const DWORD kMarkAndSetBytes = 9;
const DWORD kJournalOffset = kMarkAndSetBytes;
const char kCommitState = 'c', kRollbackState = 'r', kSparesState = 's';
// More than any journal of ours can hold: a longer one is damaged and not read.
const DWORD kJournalLimit = 1 << 22;

// Changes left before the next Commit or RecoverFolder stops dead; -1: never.
int stepsLeft = -1;

// One file of a replacement: its temporary with the new bytes, the name the old file is set aside
// under (none when there was no old file) and the file itself, all names within the folder.
struct Swap {
    std::wstring target;
    std::wstring temp;
    std::wstring backup;
};

enum class JournalState { Commit, Rollback, Spares };

struct CloseIfOpen {
    void operator()(HANDLE handle) const
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using HeldFile = std::unique_ptr<void, CloseIfOpen>;

uint32_t Checksum(const std::string& text)  // FNV-1a
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

std::string ToUtf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

bool FromUtf8(const std::string& bytes, std::wstring& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0)
        return false;
    text.resize(size_t(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), &text[0], n);
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The journal's text: a header line, one "swap|temp|backup|target" line per file (names cannot
// hold "|"), and "end|" with the checksum of everything before it; every line ends with CR LF.
std::string JournalText(const std::vector<Swap>& swaps)
{
    std::string text = std::string(kJournalHeader) + "\r\n";
    for (const Swap& swap : swaps)
        text += "swap|" + ToUtf8(swap.temp) + "|" + ToUtf8(swap.backup) + "|" + ToUtf8(swap.target) + "\r\n";
    char end[20];
    wsprintfA(end, "end|%08X\r\n", unsigned(Checksum(text)));
    return text + end;
}

bool IsOwnName(const std::wstring& name)
{
    return SameName(name, kLockName);
}

// Parses a journal (its state byte, then its text); false for anything that a whole journal of ours
// cannot be, so that a damaged one never names a file outside the folder or one that is not ours to
// rename or delete.
bool ParseJournal(const std::string& journal, JournalState& state, std::vector<Swap>& swaps)
{
    swaps.clear();
    if (journal.empty())
        return false;
    switch (journal[0]) {
    case kCommitState: state = JournalState::Commit; break;
    case kRollbackState: state = JournalState::Rollback; break;
    case kSparesState: state = JournalState::Spares; break;
    default: return false;
    }
    std::string text = journal.substr(1);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            return false;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (lines.size() < 3 || lines[0] != kJournalHeader)
        return false;
    char end[20];
    wsprintfA(end, "end|%08X", unsigned(Checksum(text.substr(0, text.size() - lines.back().size() - 2))));
    if (lines.back() != end)
        return false;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        size_t a = line.find('|'), b = line.find('|', a + 1), c = line.find('|', b + 1);
        if (line.compare(0, a, "swap") != 0 || a == std::string::npos || b == std::string::npos ||
            c == std::string::npos || line.find('|', c + 1) != std::string::npos)
            return false;
        Swap swap;
        if (!FromUtf8(line.substr(a + 1, b - a - 1), swap.temp) || !FromUtf8(line.substr(b + 1, c - b - 1), swap.backup) ||
            !FromUtf8(line.substr(c + 1), swap.target))
            return false;
        if (!IsTemporaryName(swap.temp) || (!swap.backup.empty() && !IsTemporaryName(swap.backup)) ||
            !IsPlainFileName(swap.target) || IsTemporaryName(swap.target) || IsOwnName(swap.target))
            return false;
        for (const Swap& other : swaps) {
            if (SameName(other.target, swap.target) || SameName(other.temp, swap.temp) ||
                (!swap.backup.empty() && SameName(other.backup, swap.backup)))
                return false;
        }
        swaps.push_back(swap);
    }
    return true;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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

// Runs attempt (which answers the system's code, 0 for success) until it succeeds; a file held open
// for a moment is tried again a few times. code: the last answer.
template <class Attempt>
bool WhileBusy(Attempt attempt, DWORD& code)
{
    for (int tries = 0;; ++tries) {
        code = attempt();
        if (code == ERROR_SUCCESS)
            return true;
        bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION;
        if (!busy || tries == 4)
            return false;
        Sleep(DWORD(20 * (tries + 1)));
    }
}

// The work of one Commit or recovery in a folder whose lock is held. Every change to the folder goes
// through Step, which the test hook can stop; after a stop nothing more is changed.
class Replacement {
public:
    Replacement(const std::wstring& folder, FolderLock& lock, FileSetError& error)
        : folder(folder), lock(lock), error(error)
    {
    }

    bool Stopped() const { return stopped; }
    // Nothing was stopped and every file meant to go went: no temporary of this writer is left.
    bool LeftNothing() const { return !stopped && !leftBehind; }
    bool Changed() const { return changing; }

    std::wstring Path(const std::wstring& name) const { return JoinFolder(folder, name); }

    bool Step()
    {
        if (stopped)
            return false;
        if (stepsLeft == 0) {
            stepsLeft = -1;
            Fail(folder, L"stopped as if the writer had crashed", 0, false);
            error.oldSetKept = false;
            stopped = true;
            return false;
        }
        if (stepsLeft > 0)
            --stepsLeft;
        if (!changing) {
            lock.MarkChanging();
            changing = true;
        }
        return true;
    }

    void Fail(const std::wstring& file, const std::wstring& what, DWORD code, bool oldSetKept)
    {
        if (!error.what.empty())
            return;  // the first failure is the one to report
        error.file = file;
        error.what = what;
        error.code = code;
        error.oldSetKept = oldSetKept;
    }

    // Writes bytes through writer, over the spare the last replacement left for target when there is
    // one, else to a new temporary; flushed and left open for its swap. Its name, or "" after a
    // failure (reported against target).
    std::wstring WriteTemporary(SafeFileWriter& writer, const std::string& bytes, const std::wstring& target)
    {
        if (!Step())
            return std::wstring();
        std::wstring spare = TakeSpare(target);
        bool opened = (!spare.empty() && writer.Reuse(folder, spare)) || writer.Create(folder, L".new");
        if (opened && writer.Write(bytes.data(), bytes.size()) && writer.Flush())
            return writer.Name();
        Fail(Path(target), L"cannot be written", writer.Failure(), true);
        return std::wstring();
    }

    // Opens the old file target (held: none when there is no old file) to set it aside through its
    // handle at the swap. Opening it for deleting finds now, before any change, a program that holds
    // it without letting it be deleted; a read-only file is never replaced. false with the code.
    bool HoldOld(const std::wstring& target, HeldFile& held, DWORD& code)
    {
        held.reset();
        if (ReadOnly(target)) {
            code = ERROR_ACCESS_DENIED;
            return false;
        }
        return WhileBusy(
            [&]() -> DWORD {
                HANDLE handle = CreateFileW(Path(target).c_str(), DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (handle == INVALID_HANDLE_VALUE)
                    return GetLastError() == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_SUCCESS) : GetLastError();
                held.reset(handle);
                return ERROR_SUCCESS;
            },
            code);
    }

    // Writes bytes to a new temporary and renames it over target: a set of one file, which needs no
    // journal. false after a failure (reported) or a stop.
    bool Replace(const std::string& bytes, const std::wstring& target)
    {
        if (!Step())
            return false;
        SafeFileWriter writer;  // removes its temporary unless it was renamed or kept
        if (!writer.Create(folder, L".new") || !writer.Write(bytes.data(), bytes.size()) || !writer.Flush()) {
            Fail(Path(target), L"cannot be written", writer.Failure(), true);
            return false;
        }
        if (!Step()) {
            writer.Finish();  // as after a crash, the temporary stays
            return false;
        }
        DWORD code = 0;
        if (WhileBusy([&]() { return ReadOnly(target) ? DWORD(ERROR_ACCESS_DENIED) : writer.ReplaceTarget(Path(target)); },
                      code))
            return true;
        Fail(Path(target), L"cannot be replaced", code, true);
        return false;
    }

    // A read-only file is not replaced, on every system alike (Wine's rename would replace it).
    bool ReadOnly(const std::wstring& name) const
    {
        DWORD attributes = GetFileAttributesW(Path(name).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    }

    // Renames from over to (replacing it).
    bool Move(const std::wstring& from, const std::wstring& to, DWORD& code)
    {
        if (!Step())
            return false;
        return WhileBusy(
            [&]() -> DWORD {
                if (ReadOnly(to))
                    return ERROR_ACCESS_DENIED;
                bool moved =
                    MoveFileExW(Path(from).c_str(), Path(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
                return moved ? ERROR_SUCCESS : GetLastError();
            },
            code);
    }

    // Deletes a file if it is there; false only when it stays (or the hook stopped). probe false: the
    // file is known to be there, so it is not looked for first.
    bool Delete(const std::wstring& name, bool probe = true)
    {
        if (probe && !Exists(Path(name)))
            return true;
        if (Step() && (DeleteFileW(Path(name).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND))
            return true;
        leftBehind = true;
        return false;
    }

    // The journal goes into the lock file, which is open already: written whole and flushed before
    // the first swap, so a journal that cannot be read whole was never acted on.
    bool WriteJournal(const std::vector<Swap>& swaps)
    {
        if (!Step())
            return false;
        DWORD code = 0;
        if (lock.WriteJournal(std::string(1, kCommitState) + JournalText(swaps), code))
            return true;
        Fail(Path(kLockName), L"cannot be written", code, true);
        return false;
    }

    // One byte turns the journal into a rollback: an interrupted rollback is finished as one, never
    // taken forward.
    bool TurnJournalToRollback()
    {
        DWORD code = 0;
        return Step() && lock.WriteJournalState(kRollbackState, code);
    }

    void ClearJournal()
    {
        if (Step())
            lock.ClearJournal();
    }

    // Puts every new file in place, each old one set aside first, then removes what is no longer
    // needed: the old files, unless keepReplaced makes them the next replacement's spares (the journal
    // then stays in the spares state), and the spares of files not replaced this time.
    // writers and oldFiles: the temporaries and old files still open, one per swap, when this writer
    // made them; none when finishing another's journal. When a swap cannot be made, turns to
    // RollBack; the failure is reported either way.
    bool RollForward(std::vector<Swap>& swaps, std::vector<SafeFileWriter>* writers = nullptr,
                     std::vector<HeldFile>* oldFiles = nullptr, bool keepReplaced = false)
    {
        for (size_t i = 0; i < swaps.size(); ++i) {
            const Swap& swap = swaps[i];
            if (!writers && !Exists(Path(swap.temp)))
                continue;  // swapped before
            DWORD code = 0;
            bool swapped = SetAside(swap, oldFiles ? &(*oldFiles)[i] : nullptr, code) &&
                           (writers ? SwapOpen((*writers)[i], swap.target, code) : Move(swap.temp, swap.target, code));
            if (!swapped) {
                if (stopped)
                    return false;
                Fail(Path(swap.target), L"cannot be replaced", code, true);
                // Closed, so that the rollback can rename and delete them by name.
                if (writers) {
                    for (SafeFileWriter& writer : *writers)
                        writer.Finish();
                }
                if (oldFiles) {
                    for (HeldFile& old : *oldFiles)
                        old.reset();
                }
                if (!TurnJournalToRollback()) {
                    error.oldSetKept = false;
                    return false;
                }
                RollBack(swaps);
                return false;
            }
        }
        // The new set is whole from here on; what cannot be deleted now is deleted at the next opening.
        for (const Swap& spare : spares)
            Delete(spare.backup);
        spares.clear();
        if (keepReplaced) {
            DWORD code = 0;
            // Not flushed: a journal that comes back in the commit state finishes again as it did.
            return Step() && lock.WriteJournalState(kSparesState, code, false);
        }
        for (const Swap& swap : swaps) {
            if (!swap.backup.empty())
                Delete(swap.backup, false);
        }
        ClearJournal();
        return !stopped;
    }

    // Keeps the old file of swap under its backup name: through the handle that holds it, or by name
    // when finishing another's journal (unless that was done before).
    bool SetAside(const Swap& swap, HeldFile* held, DWORD& code)
    {
        if (swap.backup.empty())
            return true;
        if (held) {
            if (!Step())
                return false;
            code = RenameOpenFile(held->get(), Path(swap.backup));
            held->reset();
            return code == ERROR_SUCCESS;
        }
        if (Exists(Path(swap.backup)) || !Exists(Path(swap.target)))
            return true;
        if (ReadOnly(swap.target)) {
            code = ERROR_ACCESS_DENIED;
            return false;
        }
        return Move(swap.target, swap.backup, code);
    }

    // Renames a temporary still open over target through its own handle: no opening by name. The old
    // file was found replaceable when it was held, and is set aside by now.
    bool SwapOpen(SafeFileWriter& writer, const std::wstring& target, DWORD& code)
    {
        if (!Step())
            return false;
        return WhileBusy([&]() { return writer.ReplaceTarget(Path(target)); }, code);
    }

    // Puts every old file set aside back (and removes files that did not exist before); safe to
    // repeat. A file whose old one was never set aside holds its old bytes still.
    bool RollBack(const std::vector<Swap>& swaps)
    {
        bool whole = true;
        for (const Swap& swap : swaps) {
            DWORD code = 0;
            if (!swap.backup.empty()) {
                if (Exists(Path(swap.backup)) && !Move(swap.backup, swap.target, code)) {
                    if (stopped)
                        return false;
                    whole = false;
                    Fail(Path(swap.target), L"cannot be put back", code, false);
                }
            } else if (!Exists(Path(swap.temp)) && Exists(Path(swap.target))) {
                if (!Step())
                    return false;
                if (!DeleteFileW(Path(swap.target).c_str())) {
                    whole = false;
                    Fail(Path(swap.target), L"cannot be removed", GetLastError(), false);
                }
            }
        }
        if (!whole) {
            error.oldSetKept = false;
            return false;  // the journal stays, so the next opening tries again
        }
        for (const Swap& swap : swaps) {
            if (!Delete(swap.temp))
                return false;
        }
        ClearJournal();
        return !stopped;
    }

    // Finishes what a journal in the folder describes; true when the folder holds a whole set (the
    // new one, or the old one when a swap could not be made, which error then describes).
    bool Recover()
    {
        std::wstring journal = Path(kLockName);
        std::string text;
        DWORD code = 0;
        if (!lock.ReadJournal(text, code)) {
            Fail(journal, L"cannot be read", code, false);
            return false;
        }
        if (text.empty())
            return true;
        JournalState state;
        std::vector<Swap> swaps;
        if (!ParseJournal(text, state, swaps)) {
            // Cut short by a writer that stopped while writing it, before any swap; or damaged since,
            // when nothing in it can be trusted to name the swaps. Its temporaries are swept later.
            ClearJournal();
            return !stopped;
        }
        if (state == JournalState::Spares) {
            spares = swaps;  // a finished replacement: nothing to do
            return true;
        }
        bool whole = state == JournalState::Commit ? RollForward(swaps) : RollBack(swaps);
        if (!whole && !stopped && error.oldSetKept)
            return true;  // a swap failed and the old set was put back
        if (!whole) {
            if (!stopped) {
                error.what = L"an unfinished replacement of files in this folder cannot be completed: " +
                             error.file + L" " + error.what;
                error.file = journal;
                error.oldSetKept = false;
            }
            return false;
        }
        return true;
    }

    // The spares the last replacement left (after any recovery, the journal holds none or those).
    void ReadSpares()
    {
        std::string text;
        DWORD code = 0;
        JournalState state;
        std::vector<Swap> swaps;
        if (lock.ReadJournal(text, code) && ParseJournal(text, state, swaps) && state == JournalState::Spares)
            spares = swaps;
    }

    // The spare left for target ("" when none), no longer offered to another file.
    std::wstring TakeSpare(const std::wstring& target)
    {
        for (auto spare = spares.begin(); spare != spares.end(); ++spare) {
            if (SameName(spare->target, target)) {
                std::wstring name = spare->backup;
                spares.erase(spare);
                return name;
            }
        }
        return std::wstring();
    }

    // Temporaries that no journal names are left by writers that crashed: removed by a later lock
    // holder. Spares are kept.
    void SweepOrphans()
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(Path(L"~dp*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            bool spare = false;
            for (const Swap& kept : spares)
                spare = spare || SameName(kept.backup, found.cFileName);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryName(found.cFileName) && !spare)
                Delete(found.cFileName);
        } while (!stopped && FindNextFileW(search, &found));
        FindClose(search);
    }

private:
    std::wstring folder;
    FolderLock& lock;
    FileSetError& error;
    bool stopped = false;
    bool changing = false;    // the lock is marked as changing
    bool leftBehind = false;  // a file that was to be deleted is still there
    std::vector<Swap> spares; // of the last replacement, not yet taken; each one's backup is the spare
};

// A lock that could not be taken because there is no lock file, or one that cannot be opened at
// all: the folder was never written through it, so it holds no journal either.
bool NeverWrittenThroughLock(const FileSetError& failure)
{
    DWORD code = failure.code;
    return !failure.folderBusy &&
           (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_ACCESS_DENIED);
}

} // namespace

std::wstring SystemErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    // Without the line end and the full stop, so that it can stand inside a longer message.
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ' ||
                               result.back() == L'.'))
        result.pop_back();
    if (result.empty()) {
        wchar_t number[24];
        wsprintfW(number, L"error %lu", code);
        result = number;
    }
    return result;
}

std::wstring FileSetError::Text() const
{
    std::wstring text = file + L": " + what;
    if (code)
        text += L": " + SystemErrorText(code);
    text += oldSetKept ? L"; the old files are in place"
                       : L"; the files are put in order when the folder is next opened";
    return text;
}

bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name.size() >= MAX_PATH || name.back() == L'.' || name.back() == L' ')
        return false;  // Windows drops trailing dots and blanks, so the name would mean another file
    for (wchar_t c : name) {
        if (c < 32 || wcschr(L"<>:\"/\\|?*", c))
            return false;
    }
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    CharUpperBuffW(&stem[0], DWORD(stem.size()));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (stem == device)
            return false;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
        ((stem[3] >= L'0' && stem[3] <= L'9') || stem[3] == 0xB9 || stem[3] == 0xB2 || stem[3] == 0xB3))
        return false;
    return true;
}

bool FolderLock::Acquire(const std::wstring& folder, DWORD wait, FileSetError& error, bool create)
{
    Release();
    std::wstring path = JoinFolder(folder, kLockName);
    DWORD start = GetTickCount();
    DWORD pause = 5;
    for (;;) {
        handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            unsigned char state[kMarkAndSetBytes] = {};
            DWORD read = 0;
            if (!ReadFile(handle, state, sizeof(state), &read, nullptr))
                read = 0;
            found = read >= 1 ? char(state[0]) : 0;
            foundSet = 0;
            for (DWORD i = read == sizeof(state) ? 8 : 0; i > 0; --i)
                foundSet = foundSet << 8 | state[i];
            marked = found;
            set = foundSet;
            return true;
        }
        DWORD code = GetLastError();
        DWORD waited = GetTickCount() - start;
        bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        if (!busy || waited >= wait) {
            error = FileSetError();
            error.file = busy ? path : folder.empty() ? std::wstring(L".") : folder;
            error.code = code;
            error.folderBusy = busy;
            error.what = busy ? L"another program is writing to this folder and did not finish within " +
                                    Seconds(wait) + L" seconds"
                              : std::wstring(L"the writer's lock (") + kLockName + L") cannot be taken in this folder";
            return false;
        }
        Sleep(pause < wait - waited ? pause : wait - waited);
        pause = pause < 80 ? pause * 2 : 100;
    }
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
    if (handle != INVALID_HANDLE_VALUE && (marked != state || next != set) &&
        WriteFile(handle, bytes, size, &written, &start) && written == size) {
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
    if (!GetFileSizeEx(handle, &size)) {
        code = GetLastError();
        return false;
    }
    if (size.QuadPart <= kJournalOffset || size.QuadPart > kJournalOffset + kJournalLimit)
        return true;  // none, or longer than any of ours: nothing to follow
    journal.resize(size_t(size.QuadPart - kJournalOffset));
    OVERLAPPED at = {};
    at.Offset = kJournalOffset;
    DWORD read = 0;
    if (!ReadFile(handle, &journal[0], DWORD(journal.size()), &read, &at)) {
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
    if (SetFilePointerEx(handle, end, nullptr, FILE_BEGIN))
        SetEndOfFile(handle);
}

void FolderLock::Release()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

FolderWriter::~FolderWriter()
{
    if (lock.Held() && inOrder)
        lock.MarkInOrder();
}

void FileSet::StopAfterStepsForTesting(int steps)
{
    stepsLeft = steps;
}

bool FileSet::Add(const std::wstring& name, std::string bytes)
{
    if (!IsPlainFileName(name) || IsTemporaryName(name) || IsOwnName(name))
        return false;
    for (File& file : files) {
        if (SameName(file.name, name)) {
            file.bytes = std::move(bytes);
            return true;
        }
    }
    files.push_back(File{name, std::move(bytes)});
    return true;
}

bool FileSet::Commit(DWORD lockWait)
{
    FolderWriter writer;
    return Commit(writer, lockWait);
}

bool FileSet::Commit(FolderWriter& writer, DWORD lockWait)
{
    error = FileSetError();
    if (files.empty())
        return true;
    if (!writer.folder.empty() && !SameName(writer.folder, folder)) {
        FolderWriter own;
        return Commit(own, lockWait);
    }
    FolderLock& lock = writer.lock;
    Replacement replacement(folder, lock, error);
    // The folder is marked in order at the writer's end only when every commit succeeded and left
    // nothing behind; after a failure the next writer searches it.
    auto finished = [&](bool done) {
        writer.inOrder = writer.inOrder && done && replacement.LeftNothing();
        return done;
    };
    if (!lock.Held()) {
        if (!lock.Acquire(folder, lockWait, error))
            return false;
        // Only a writer that did not finish can have left a journal.
        bool recovered = lock.FoundInOrder() || replacement.Recover();
        if (recovered) {
            error = FileSetError();  // an earlier replacement that was undone is not this one's failure
            // A writer that died leaves its mark on the lock (and perhaps a journal, which has changed
            // the folder by now): only then can temporaries of it be here, and the folder is searched.
            if (!lock.FoundInOrder() || replacement.Changed())
                replacement.SweepOrphans();
        }
        if (!recovered || replacement.Stopped()) {
            lock.Release();  // the next commit starts over, recovery first
            return false;
        }
        writer.folder = folder;
    }

    if (files.size() == 1)
        return finished(replacement.Replace(files[0].bytes, files[0].name));

    replacement.ReadSpares();
    std::vector<Swap> swaps(files.size());
    // The old files are held from before the first change until each is set aside, so that one that
    // cannot be replaced is found before anything changed.
    std::vector<HeldFile> oldFiles(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        swaps[i].target = files[i].name;
        DWORD code = 0;
        if (!replacement.HoldOld(files[i].name, oldFiles[i], code)) {
            // Nothing was changed: the folder stays in order for the next writer.
            replacement.Fail(replacement.Path(files[i].name), L"cannot be replaced", code, true);
            return false;
        }
        if (oldFiles[i])
            swaps[i].backup = NewTemporaryName(L".old");
    }
    // The new files stay open until their swaps; a writer left unfinished deletes its temporary.
    std::vector<SafeFileWriter> temporaries(files.size());
    auto abandon = [&]() {
        writer.inOrder = false;
        if (replacement.Stopped()) {
            for (SafeFileWriter& temporary : temporaries)
                temporary.Finish();  // as after a crash, the temporaries not yet swapped stay
        }
        return false;
    };
    for (size_t i = 0; i < files.size(); ++i) {
        swaps[i].temp = replacement.WriteTemporary(temporaries[i], files[i].bytes, files[i].name);
        if (swaps[i].temp.empty())
            return abandon();
    }
    if (!replacement.WriteJournal(swaps))
        return abandon();
    bool done = replacement.RollForward(swaps, &temporaries, &oldFiles, keepReplaced);
    if (replacement.Stopped())
        abandon();
    return finished(done);
}

bool RecoverFolder(const std::wstring& folder, FileSetError* error, DWORD lockWait)
{
    FileSetError local;
    FileSetError& failure = error ? *error : local;
    failure = FileSetError();
    FolderLock lock;
    if (!lock.Acquire(folder, lockWait, failure, false)) {
        if (NeverWrittenThroughLock(failure)) {
            failure = FileSetError();
            return true;
        }
        failure.oldSetKept = false;
        return false;
    }
    // Only a writer that did not finish can have left a journal.
    return lock.FoundInOrder() || Replacement(folder, lock, failure).Recover();
}

bool FolderReadHold::Take(const std::wstring& folder, DWORD wait, FileSetError* error)
{
    FileSetError local;
    FileSetError& failure = error ? *error : local;
    if (!lock.Acquire(folder, wait, failure, false))
        return NeverWrittenThroughLock(failure);
    // Only a writer that did not finish can have left a journal.
    if (lock.FoundInOrder())
        return true;
    if (Replacement(folder, lock, failure).Recover())
        return true;
    lock.Release();
    return false;
}

bool WriteWholeFile(const wchar_t* path, const void* bytes, size_t size, FileSetError* error)
{
    return WriteWholeFile(path, std::string(static_cast<const char*>(bytes), size), error);
}

bool WriteWholeFile(const wchar_t* path, std::string bytes, FileSetError* error, FolderWriter* writer)
{
    std::wstring folder, name;
    SplitPath(path ? path : L"", folder, name);
    FileSet set(folder);
    bool ok = set.Add(name, std::move(bytes)) && (writer ? set.Commit(*writer, writer->LockWait()) : set.Commit());
    if (!ok && error) {
        *error = set.Error();
        if (error->file.empty()) {  // the name itself was refused
            error->file = path ? path : L"";
            error->what = L"is not a file name";
            error->code = ERROR_INVALID_NAME;
        }
    }
    return ok;
}
