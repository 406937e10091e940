#include "data/fileset.h"

#include <cwchar>

#include "data/safefile.h"

namespace {

const char kJournalHeader[] = "dialpass journal 3";
// Written by earlier versions, which a folder may still hold: no identities, and a third state in
// which a finished replacement kept the files it replaced as spares.
const char kOldJournalHeader[] = "dialpass journal 2";
// The journal, kept in the lock file: its state (one byte, so that turning it to a rollback is a
// single write) and its text.
const char kCommitState = 'c', kRollbackState = 'r', kOldSparesState = 's';

// Changes left before the next Commit or RecoverFolder stops dead; -1: never.
int stepsLeft = -1;

// One file of a replacement: its temporary with the new bytes, the name the old file is set aside
// under (none when there was no old file) and the file itself, all names within the folder; and
// the stamps of the new and the old file, so that recovery and rollback move and delete only the
// files this replacement created or set aside.
struct Swap {
    std::wstring target;
    std::wstring temp;
    std::wstring backup;
    FileStamp tempStamp;
    FileStamp oldStamp;
};

enum class JournalState { Commit, Rollback, OldSpares };

// An old file held open from before the first change until it is set aside.
using HeldFile = UniqueHandle;

uint32_t Checksum(const std::string& text)  // FNV-1a
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

// "SSSSSSSSSSSSSSSS:HHHHHHHHHHHHHHHH" (size, hash), or "-" when there is no file.
std::string StampText(const FileStamp& stamp)
{
    if (!stamp.known)
        return "-";
    char text[40];
    wsprintfA(text, "%08lX%08lX:%08lX%08lX", static_cast<unsigned long>(stamp.size >> 32),
              static_cast<unsigned long>(stamp.size & 0xFFFFFFFFu), static_cast<unsigned long>(stamp.hash >> 32),
              static_cast<unsigned long>(stamp.hash & 0xFFFFFFFFu));
    return text;
}

bool ParseHex(const std::string& text, size_t from, size_t count, uint64_t& value)
{
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | unsigned(digit);
    }
    return true;
}

bool ParseStamp(const std::string& text, FileStamp& stamp)
{
    stamp = FileStamp();
    if (text == "-")
        return true;
    if (text.size() != 33 || text[16] != ':' || !ParseHex(text, 0, 16, stamp.size) || !ParseHex(text, 17, 16, stamp.hash))
        return false;
    stamp.known = true;
    return true;
}

// The journal's text: a header line, one "swap|temp|its stamp|backup|old file's stamp|target" line per
// file (names cannot hold "|"), and "end|" with the checksum of everything before it; every line
// ends with CR LF.
std::string JournalText(const std::vector<Swap>& swaps)
{
    std::string text = std::string(kJournalHeader) + "\r\n";
    for (const Swap& swap : swaps)
        text += "swap|" + ToUtf8(swap.temp) + "|" + StampText(swap.tempStamp) + "|" + ToUtf8(swap.backup) + "|" +
                StampText(swap.oldStamp) + "|" + ToUtf8(swap.target) + "\r\n";
    char end[20];
    wsprintfA(end, "end|%08X\r\n", unsigned(Checksum(text)));
    return text + end;
}

bool IsOwnName(const std::wstring& name)
{
    return SameName(name, kFolderLockName);
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        size_t bar = line.find('|', start);
        fields.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            return fields;
        start = bar + 1;
    }
}

// Parses a journal (its state byte, then its text); false for anything that a whole journal of ours
// cannot be, so that a damaged one never names a file outside the folder, one that is not ours to
// rename or delete, or one name in two roles. old: written by an earlier version (no identities).
bool ParseJournal(const std::string& journal, JournalState& state, std::vector<Swap>& swaps, bool& old)
{
    swaps.clear();
    if (journal.empty())
        return false;
    switch (journal[0]) {
    case kCommitState: state = JournalState::Commit; break;
    case kRollbackState: state = JournalState::Rollback; break;
    case kOldSparesState: state = JournalState::OldSpares; break;
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
    if (lines.size() < 3)
        return false;
    old = lines[0] == kOldJournalHeader;
    if ((!old && lines[0] != kJournalHeader) || (!old && state == JournalState::OldSpares))
        return false;
    char end[20];
    wsprintfA(end, "end|%08X", unsigned(Checksum(text.substr(0, text.size() - lines.back().size() - 2))));
    if (lines.back() != end)
        return false;
    std::vector<std::wstring> names;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::vector<std::string> fields = Fields(lines[i]);
        if (fields.size() != (old ? 4u : 6u) || fields[0] != "swap")
            return false;
        Swap swap;
        bool parsed = old ? FromUtf8(fields[1], swap.temp) && FromUtf8(fields[2], swap.backup) &&
                                FromUtf8(fields[3], swap.target)
                          : FromUtf8(fields[1], swap.temp) && ParseStamp(fields[2], swap.tempStamp) &&
                                FromUtf8(fields[3], swap.backup) && ParseStamp(fields[4], swap.oldStamp) &&
                                FromUtf8(fields[5], swap.target);
        if (!parsed || !IsTemporaryName(swap.temp) || (!swap.backup.empty() && !IsTemporaryName(swap.backup)) ||
            !IsPlainFileName(swap.target) || IsTemporaryName(swap.target) || IsOwnName(swap.target))
            return false;
        // A new file always has its stamp; an old one exactly when it is set aside under a name.
        if (!old && (!swap.tempStamp.known || swap.oldStamp.known == swap.backup.empty()))
            return false;
        for (const std::wstring* name : {&swap.target, &swap.temp, &swap.backup}) {
            if (name->empty())
                continue;
            for (const std::wstring& other : names) {
                if (SameName(other, *name))
                    return false;  // one name in two roles, or twice in one
            }
            names.push_back(*name);
        }
        swaps.push_back(swap);
    }
    return true;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
// through Step, which the test hook can stop; after a stop nothing more is changed. No rename ever
// replaces a file, but the one rename of a set of one file over its target: a name that is taken
// fails the step, and every file moved or deleted is first found to be the one the journal names.
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

    std::wstring Path(const std::wstring& name) const { return JoinPath(folder, name); }
    FileStamp StampOf(const std::wstring& name) const { return name.empty() ? FileStamp() : StampAt(Path(name)); }

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

    // Writes bytes to a new temporary through writer, flushed and left open for its swap: a name
    // that no file has and that no other swap of this replacement uses. false after a failure
    // (reported against target).
    bool WriteTemporary(SafeFileWriter& writer, const std::string& bytes, const std::vector<Swap>& swaps, Swap& swap)
    {
        if (!Step())
            return false;
        bool created = writer.Create(folder, L".new");
        for (int tries = 0; created && (NameInUse(swaps, writer.Name(), swap) || SameName(writer.Name(), swap.backup)); ++tries) {
            writer.Abandon();  // its own, just created
            created = tries < 100 && writer.Create(folder, L".new");
        }
        if (created && writer.Write(bytes.data(), bytes.size()) && writer.Flush()) {
            swap.temp = writer.Name();
            swap.tempStamp = ::StampOf(bytes);
            return true;
        }
        Fail(Path(swap.target), L"cannot be written", writer.Failure() ? writer.Failure() : DWORD(ERROR_FILE_EXISTS), true);
        return false;
    }

    // Whether a swap other than self names name in any role.
    static bool NameInUse(const std::vector<Swap>& swaps, const std::wstring& name, const Swap& self)
    {
        for (const Swap& swap : swaps) {
            if (&swap == &self)
                continue;
            if (SameName(swap.target, name) || SameName(swap.temp, name) || SameName(swap.backup, name))
                return true;
        }
        return false;
    }

    // Opens the old file target (held: none when there is no old file) to set it aside through its
    // handle at the swap, notes its stamp, and names the place it goes to: a temporary's name that
    // no file has and no other swap uses.
    // Opening it for deleting finds now, before any change, a program that holds it without letting
    // it be deleted; a read-only file is never replaced. false with the code.
    bool HoldOld(const std::vector<Swap>& swaps, Swap& swap, HeldFile& held, DWORD& code)
    {
        held.Close();
        if (ReadOnly(swap.target)) {
            code = ERROR_ACCESS_DENIED;
            return false;
        }
        bool opened = WhileBusy(
            [&]() -> DWORD {
                HANDLE handle = CreateFileW(Path(swap.target).c_str(), DELETE | GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (handle == INVALID_HANDLE_VALUE)
                    return GetLastError() == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_SUCCESS) : GetLastError();
                held.Reset(handle);
                return ERROR_SUCCESS;
            },
            code);
        if (!opened || !held)
            return opened;
        std::string bytes;
        if ((code = ReadWholeHandle(held.Get(), bytes)) != ERROR_SUCCESS)
            return false;
        swap.oldStamp = ::StampOf(bytes);
        for (int tries = 0; swap.backup.empty() || Exists(Path(swap.backup)); ++tries) {
            if (tries == 100) {
                code = ERROR_FILE_EXISTS;
                return false;
            }
            swap.backup = NewTemporaryName(L".old");
            if (NameInUse(swaps, swap.backup, swap))
                swap.backup.clear();
        }
        return true;
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

    // Renames from to to, which must not exist (a file there fails the move with ERROR_ALREADY_EXISTS).
    bool Move(const std::wstring& from, const std::wstring& to, DWORD& code)
    {
        if (!Step())
            return false;
        return WhileBusy(
            [&]() -> DWORD {
                return MoveFileExW(Path(from).c_str(), Path(to).c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS
                                                                                                  : GetLastError();
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
        Fail(Path(kFolderLockName), L"cannot be written", code, true);
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

    // This writer's swaps, through the handles it holds: each old file set aside, each new one put in
    // its place, then the old files removed. writers and oldFiles: one per swap. When a swap cannot
    // be made, turns to RollBack; the failure is reported either way.
    bool SwapOwn(std::vector<Swap>& swaps, std::vector<SafeFileWriter>& writers, std::vector<HeldFile>& oldFiles)
    {
        for (size_t i = 0; i < swaps.size(); ++i) {
            const Swap& swap = swaps[i];
            DWORD code = 0;
            bool setAside = true;
            if (oldFiles[i]) {
                setAside = Step();
                if (setAside)
                    code = RenameOpenFile(oldFiles[i].Get(), Path(swap.backup), false);
                setAside = setAside && code == ERROR_SUCCESS;
                oldFiles[i].Close();
            }
            bool swapped = setAside && Step() &&
                           WhileBusy([&]() { return writers[i].ReplaceTarget(Path(swap.target), false); }, code);
            if (!swapped)
                return Undo(swaps, code, [&] {
                    // Closed, so that the rollback can rename and delete them by name.
                    for (SafeFileWriter& writer : writers)
                        writer.Finish();
                    oldFiles.clear();
                });
        }
        return Finish(swaps);
    }

    // Finishes another writer's journal: each swap not made yet is made, by name, each file first
    // found to hold the bytes the journal names. Turns to RollBack when one cannot be made.
    bool RollForward(const std::vector<Swap>& swaps)
    {
        for (const Swap& swap : swaps) {
            bool swapped = false, newAside = NewStillAside(swap);
            DWORD code = ERROR_FILE_NOT_FOUND;
            if (!newAside) {
                swapped = StampOf(swap.target) == swap.tempStamp;  // moved in before
            } else if (!swap.oldStamp.known || StampOf(swap.backup) == swap.oldStamp) {
                swapped = Move(swap.temp, swap.target, code);  // nothing there: a taken name fails the move
            } else if (StampOf(swap.target) == swap.oldStamp) {
                swapped = Move(swap.target, swap.backup, code) && Move(swap.temp, swap.target, code);
            }
            if (!swapped)
                return Undo(swaps, code, [] {});
        }
        return Finish(swaps);
    }

    // Reports the failed swap (unless stopped) and puts the old set back; closeFiles lets go of what
    // the writer still holds first.
    template <class CloseFiles>
    bool Undo(const std::vector<Swap>& swaps, DWORD code, CloseFiles closeFiles)
    {
        if (stopped)
            return false;
        Fail(Path(failedTarget(swaps)), L"cannot be replaced", code, true);
        closeFiles();
        if (!TurnJournalToRollback()) {
            error.oldSetKept = false;
            return false;
        }
        RollBack(swaps);
        return false;
    }

    // The new set is whole: the old files go (what cannot be deleted now is swept at a later
    // opening), then the journal.
    bool Finish(const std::vector<Swap>& swaps)
    {
        for (const Swap& swap : swaps) {
            if (!swap.backup.empty() && StampOf(swap.backup) == swap.oldStamp)
                Delete(swap.backup, false);
        }
        ClearJournal();
        return !stopped;
    }

    // Puts every old file back in its place and removes the new ones; safe to repeat. Only files
    // found to hold the bytes the journal names are moved or deleted, and a move never replaces a
    // file: a name that another file holds is left alone. A new file whose old one is nowhere stays
    // rather than leave nothing. A file that cannot be put back is named in the error.
    bool RollBack(const std::vector<Swap>& swaps)
    {
        bool whole = true;
        for (const Swap& swap : swaps) {
            DWORD code = 0;
            bool oldAside = swap.oldStamp.known && StampOf(swap.backup) == swap.oldStamp;
            bool newInPlace = !NewStillAside(swap) && StampOf(swap.target) == swap.tempStamp;
            if (newInPlace && (oldAside || !swap.oldStamp.known)) {
                if (!Step())
                    return false;
                if (!DeleteFileW(Path(swap.target).c_str())) {
                    whole = false;
                    PutBackFailed(swap, oldAside ? L"cannot be put back" : L"cannot be removed", GetLastError());
                    continue;
                }
            }
            if (oldAside && !Move(swap.backup, swap.target, code)) {
                if (stopped)
                    return false;
                whole = false;
                PutBackFailed(swap, L"cannot be put back", code);
            }
        }
        if (!whole) {
            error.oldSetKept = false;
            return false;  // the journal stays, so the next opening tries again
        }
        for (const Swap& swap : swaps) {
            if (NewStillAside(swap) && !Delete(swap.temp, false))
                return false;
        }
        ClearJournal();
        return !stopped;
    }

    // Finishes what a journal in the folder describes; true when the folder holds a whole set (the
    // new one, or the old one when a swap could not be made, which error then describes).
    bool Recover()
    {
        std::wstring journal = Path(kFolderLockName);
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
        bool old = false;
        if (!ParseJournal(text, state, swaps, old)) {
            // Cut short by a writer that stopped while writing it, before any swap; or damaged since,
            // when nothing in it can be trusted to name the swaps. Its temporaries are swept later.
            ClearJournal();
            return !stopped;
        }
        if (old)
            StampOldSwaps(swaps);
        if (state == JournalState::OldSpares) {
            // An earlier version's finished replacement kept the old files for its next one: they go.
            for (const Swap& spare : swaps)
                Delete(spare.backup);
            ClearJournal();
            return !stopped;
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

    // Temporaries that no journal names are left by writers that crashed: removed by a later lock
    // holder.
    void SweepOrphans()
    {
        WIN32_FIND_DATAW found;
        UniqueFind search(FindFirstFileW(Path(L"~dp*").c_str(), &found));
        if (!search)
            return;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryName(found.cFileName))
                Delete(found.cFileName);
        } while (!stopped && FindNextFileW(search.Get(), &found));
    }

private:
    // The new file of swap is still under its temporary name: not moved in yet. (Its bytes decide,
    // not the name alone: an old and a new file may hold the same bytes, but only one of them is
    // the temporary.)
    bool NewStillAside(const Swap& swap) const { return StampOf(swap.temp) == swap.tempStamp; }

    // The first swap whose new file is not in place: the one that failed.
    const std::wstring& failedTarget(const std::vector<Swap>& swaps) const
    {
        for (const Swap& swap : swaps) {
            if (NewStillAside(swap))
                return swap.target;
        }
        return swaps.back().target;
    }

    // A file whose old bytes could not be put back: named in the error, with where they are.
    void PutBackFailed(const Swap& swap, const wchar_t* what, DWORD code)
    {
        std::wstring text = what;
        if (swap.oldStamp.known)
            text += L" (its old content is kept as " + swap.backup + L")";
        if (!error.putBack.empty())
            error.putBack += L"; ";
        error.putBack += Path(swap.target) + L" " + text;
        Fail(Path(swap.target), text, code, false);
    }

    // An earlier version's journal names no stamps: they are read off the folder as that version's
    // own recovery saw it (a temporary still there was not moved in, so the target holds the new file
    // only when it is gone; a backup there holds the old file).
    void StampOldSwaps(std::vector<Swap>& swaps) const
    {
        for (Swap& swap : swaps) {
            FileStamp atTemp = StampOf(swap.temp), atTarget = StampOf(swap.target), atBackup = StampOf(swap.backup);
            swap.tempStamp = atTemp.known ? atTemp : atTarget;
            swap.oldStamp = swap.backup.empty() ? FileStamp() : atBackup.known ? atBackup : atTemp.known ? atTarget : FileStamp();
        }
    }

    std::wstring folder;
    FolderLock& lock;
    FileSetError& error;
    bool stopped = false;
    bool changing = false;    // the lock is marked as changing
    bool leftBehind = false;  // a file that was to be deleted is still there
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
        // A writer that did not finish can have left a journal, and an earlier version left one of
        // the files it kept even when it finished.
        bool recovered = replacement.Recover();
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

    std::vector<Swap> swaps(files.size());
    // The old files are held from before the first change until each is set aside, so that one that
    // cannot be replaced is found before anything changed.
    std::vector<HeldFile> oldFiles(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        swaps[i].target = files[i].name;
        DWORD code = 0;
        if (!replacement.HoldOld(swaps, swaps[i], oldFiles[i], code)) {
            // Nothing was changed: the folder stays in order for the next writer.
            replacement.Fail(replacement.Path(files[i].name), L"cannot be replaced", code, true);
            return false;
        }
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
        if (!replacement.WriteTemporary(temporaries[i], files[i].bytes, swaps, swaps[i]))
            return abandon();
    }
    if (!replacement.WriteJournal(swaps))
        return abandon();
    bool done = replacement.SwapOwn(swaps, temporaries, oldFiles);
    if (replacement.Stopped())
        abandon();
    return finished(done);
}

bool RecoverFolder(const std::wstring& folder, FileSetError* error, DWORD lockWait)
{
    FileSetError local;
    FileSetError& failure = error ? *error : local;
    failure = FileSetError();
    if (FolderLock* held = FolderLock::HeldByThisThread(folder))
        return Replacement(folder, *held, failure).Recover();
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
    Release();
    // A writer on this thread (OK publishing what it saved) reads under its own lock: waiting for it
    // could only end in giving up. Its replacement is over by now, unless it was stopped.
    if (FolderLock* held = FolderLock::HeldByThisThread(folder)) {
        borrowed = held;
        return Replacement(folder, *held, failure).Recover();
    }
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
