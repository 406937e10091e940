// Saving a file without losing the old one: everything goes to a new file beside the target
// (target + ".new"), which replaces the target only when the whole content was written.
#pragma once
#include <windows.h>
#include <cstddef>
#include <string>

class SafeFileWriter {
public:
    SafeFileWriter() = default;
    // Abandons an uncommitted file: the new file is deleted and the target stays as it was.
    ~SafeFileWriter() { Abandon(); }
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates target + ".new" anew (GENERIC_WRITE, CREATE_ALWAYS); false when it cannot be created.
    bool Open(const wchar_t* target);
    // Appends size bytes; false on a short write (the writer then stays failed).
    bool Write(const void* bytes, size_t size);
    // Flushes, closes and moves the new file over the target (MOVEFILE_REPLACE_EXISTING); false
    // when anything failed, in which case the new file is deleted and the target is untouched.
    bool Commit();
    // Closes and deletes the new file.
    void Abandon();

    // For tests: every write after this many bytes in total comes up short (-1: no limit).
    static void SetWriteLimitForTesting(long long bytes);

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    bool failed = false;
    long long written = 0;
    wchar_t target[MAX_PATH + 8] = {};
    wchar_t temporary[MAX_PATH + 8] = {};
};

// Writes size bytes to path through a SafeFileWriter; true when the file was replaced whole.
bool WriteWholeFile(const wchar_t* path, const void* bytes, size_t size);

// Reads the whole file in one call; false only when it cannot be opened. A read that comes up short
// leaves fewer bytes, which the caller's parser then finds missing.
bool ReadWholeFile(const wchar_t* path, std::string& bytes);
