#include "data/safefile.h"

#include <cwchar>

namespace {
long long writeLimit = -1;
}

void SafeFileWriter::SetWriteLimitForTesting(long long bytes)
{
    writeLimit = bytes;
}

bool SafeFileWriter::Open(const wchar_t* path)
{
    Abandon();
    failed = false;
    written = 0;
    if (!path || !*path || wcslen(path) >= MAX_PATH)
        return false;
    lstrcpynW(target, path, MAX_PATH);
    lstrcpynW(temporary, path, MAX_PATH);
    lstrcatW(temporary, L".new");
    file = CreateFileW(temporary, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    return file != INVALID_HANDLE_VALUE;
}

bool SafeFileWriter::Write(const void* bytes, size_t size)
{
    if (file == INVALID_HANDLE_VALUE || failed)
        return false;
    const char* p = static_cast<const char*>(bytes);
    while (size) {
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        if (writeLimit >= 0 && written + chunk > writeLimit)
            chunk = writeLimit > written ? DWORD(writeLimit - written) : 0;
        DWORD done = 0;
        if (!chunk || !WriteFile(file, p, chunk, &done, nullptr) || done != chunk) {
            written += done;
            failed = true;
            return false;
        }
        written += done;
        p += done;
        size -= done;
    }
    return true;
}

bool SafeFileWriter::Commit()
{
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = !failed && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    file = INVALID_HANDLE_VALUE;
    if (ok)
        ok = MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(temporary);
    temporary[0] = 0;
    return ok;
}

void SafeFileWriter::Abandon()
{
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        DeleteFileW(temporary);
    }
    temporary[0] = 0;
}

bool WriteWholeFile(const wchar_t* path, const void* bytes, size_t size)
{
    SafeFileWriter writer;
    return writer.Open(path) && writer.Write(bytes, size) && writer.Commit();
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes)
{
    bytes.clear();
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    DWORD read = 0;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFFF) {
        bytes.resize(size_t(size.QuadPart));
        if (!ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr))
            read = 0;
    }
    bytes.resize(read);
    CloseHandle(file);
    return true;
}
