// Writing files without losing the old ones: every new file goes to a temporary of its own beside
// the target, which replaces the target only when written whole (fileset.h makes the swaps).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

// One temporary file in a folder: a unique name, created anew and opened without sharing, so that
// no other writer can truncate or add to it; flushed before it is used.
class SafeFileWriter {
public:
    SafeFileWriter() = default;
    // Deletes a temporary that was not finished (Finish failed or was never called).
    ~SafeFileWriter() { Abandon(); }
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates folder\~dp<process>-<number><suffix> (CREATE_NEW, shared for reading only); false when
    // it cannot.
    bool Create(const std::wstring& folder, const wchar_t* suffix);
    // Opens the existing temporary folder\name to be written over from its start (its old bytes
    // beyond the new ones are cut at Flush); false when it cannot.
    bool Reuse(const std::wstring& folder, const std::wstring& name);
    // Appends size bytes; false on a short write (the writer then stays failed).
    bool Write(const void* bytes, size_t size);
    // Flushes; true when every byte reached the file (a failure stays).
    bool Flush();
    // Flushes and closes; true when every byte reached the file. The file then stays on disk.
    bool Finish();
    // After Flush: renames the open file over the file at targetPath (replacing it) and closes it.
    // Answers ERROR_SUCCESS, or the system's code; after a failure the writer stays open, to try again.
    DWORD ReplaceTarget(const std::wstring& targetPath);
    // Closes and deletes an unfinished temporary.
    void Abandon();

    // The temporary's name within its folder, and the system's code of the first failure.
    const std::wstring& Name() const { return name; }
    DWORD Failure() const { return failure; }

    // For tests: after this many bytes in total (counted over every writer from this call) each write
    // comes up short, as on a disk that fills part-way; -1: no limit.
    static void SetWriteLimitForTesting(long long bytes);

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
    std::wstring name;
    DWORD failure = 0;
    bool reused = false;  // written over: Flush ends the file after the new bytes
};

// Renames the file open through handle (opened with DELETE access) to targetPath, replacing a file
// there; ERROR_SUCCESS or the system's code.
DWORD RenameOpenFile(HANDLE handle, const std::wstring& targetPath);

// A temporary's name not given before in this process: ~dp<process>-<number><suffix>.
std::wstring NewTemporaryName(const wchar_t* suffix);
// True for the names SafeFileWriter gives its temporaries.
bool IsTemporaryName(const std::wstring& name);

// Reads the whole file in one call; false only when it cannot be opened (error, when given, gets the
// system's code). A read that comes up short leaves fewer bytes, which the caller's parser then finds
// missing.
bool ReadWholeFile(const wchar_t* path, std::string& bytes, DWORD* error = nullptr);

// The folder part of a path ("" for a bare name) and the name after it.
void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name);
// folder joined with name by a backslash (none after "", a separator or a drive's colon).
std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name);
