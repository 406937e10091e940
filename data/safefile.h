// Writing files without losing the old ones: every new file goes to a temporary of its own beside
// the target, which replaces the target only when written whole (fileset.h makes the swaps).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"

// What a file holds, in brief: its size and a 64-bit hash of its bytes. A replacement notes the
// stamp of every file it creates or sets aside, so that recovery and rollback touch a file only when
// it still holds those bytes (a file's index on the volume would not do: FAT gives a renamed file another).
struct FileStamp {
    uint64_t size = 0;
    uint64_t hash = 0;
    bool known = false;
    bool operator==(const FileStamp& other) const
    {
        return known && other.known && size == other.size && hash == other.hash;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
FileStamp StampOf(const std::string& bytes);
// The stamp of the file at path; not known when there is none or it cannot be read.
FileStamp StampAt(const std::wstring& path);

// One temporary file in a folder: a name no other process or run can hold, created anew (never one
// that exists) and opened without sharing, so that no other writer can truncate or add to it;
// flushed before it is used.
class SafeFileWriter {
public:
    SafeFileWriter() = default;
    // Deletes a temporary that was not finished (Finish failed or was never called).
    ~SafeFileWriter() { Abandon(); }
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates folder\<NewTemporaryName(suffix)> (CREATE_NEW, shared for reading only; a name that is
    // taken is never opened, another is drawn); false when it cannot.
    bool Create(const std::wstring& folder, const wchar_t* suffix);
    // Appends size bytes; false on a short write (the writer then stays failed).
    bool Write(const void* bytes, size_t size);
    // Flushes; true when every byte reached the file (a failure stays).
    bool Flush();
    // Flushes and closes; true when every byte reached the file. The file then stays on disk.
    bool Finish();
    // After Flush: renames the open file to targetPath and closes it; replace false fails with
    // ERROR_ALREADY_EXISTS when a file is there. Answers ERROR_SUCCESS, or the system's code; after a
    // failure the writer stays open, to try again.
    DWORD ReplaceTarget(const std::wstring& targetPath, bool replace = true);
    // Closes and deletes an unfinished temporary.
    void Abandon();

    // The temporary's name within its folder, and the system's code of the first failure.
    const std::wstring& Name() const { return name; }
    DWORD Failure() const { return failure; }

    // For tests: after this many bytes in total (counted over every writer from this call) each write
    // comes up short, as on a disk that fills part-way; -1: no limit.
    static void SetWriteLimitForTesting(long long bytes);

private:
    UniqueHandle file;
    std::wstring path;
    std::wstring name;
    DWORD failure = 0;
};

// Renames the file open through handle (opened with DELETE access) to targetPath; replace: a file
// there is replaced, else the rename fails with ERROR_ALREADY_EXISTS. ERROR_SUCCESS or the system's code.
DWORD RenameOpenFile(HANDLE handle, const std::wstring& targetPath, bool replace);

// A temporary's name: ~dp, 128 random bits from the system's generator in 32 hex digits, suffix
// (".new" or ".old"). No other process, and no earlier run with the same process id, can hold it.
std::wstring NewTemporaryName(const wchar_t* suffix);
// For tests: the next names NewTemporaryName gives (with their suffix as given), in order; then
// random names again.
void SetTemporaryNamesForTesting(std::vector<std::wstring> names);
// True for the names SafeFileWriter gives its temporaries, and for those of earlier versions
// (~dp<hex>-<hex>.new/.old), which a folder may still hold.
bool IsTemporaryName(const std::wstring& name);

// Reads the whole file in one call; false only when it cannot be opened (error, when given, gets the
// system's code). A read that comes up short leaves fewer bytes, which the caller's parser then finds
// missing.
bool ReadWholeFile(const wchar_t* path, std::string& bytes, DWORD* error = nullptr);
// Reads the whole file open through file (GENERIC_READ) from its current position; ERROR_SUCCESS only
// when every byte was read, else the system's code with the bytes read so far.
DWORD ReadWholeHandle(HANDLE file, std::string& bytes);
