#include "data/safefile.h"

#include <ntsecapi.h>

#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "base/hash.h"
#include "base/path.h"

namespace {

// Bytes that may still be written before writes come up short; -1: no limit.
long long writeBudget = -1;
// Names the tests want NewTemporaryName to give next, in order.
std::vector<std::wstring> namesForTesting;

const wchar_t kTemporaryPrefix[] = L"~dp";
const size_t kRandomDigits = 32;  // 128 bits

bool IsHex(const std::wstring& text, size_t from, size_t to)
{
    if (from >= to)
        return false;
    for (size_t i = from; i < to; ++i) {
        if (!iswxdigit(text[i]))
            return false;
    }
    return true;
}

} // namespace

std::wstring NewTemporaryName(const wchar_t* suffix)
{
    if (!namesForTesting.empty()) {
        std::wstring name = namesForTesting.front();
        namesForTesting.erase(namesForTesting.begin());
        return name;
    }
    unsigned char bits[kRandomDigits / 2] = {};
    if (!RtlGenRandom(bits, sizeof(bits))) {
        // Without the system's generator (never seen): the time and the process id, which another run
        // can repeat; CREATE_NEW and the journal's checks still refuse a name that is taken.
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        DWORD id = GetCurrentProcessId();
        memcpy(bits, &now, sizeof(now));
        memcpy(bits + sizeof(now), &id, sizeof(id));
    }
    std::wstring name = kTemporaryPrefix;
    for (unsigned char byte : bits) {
        wchar_t hex[3];
        wsprintfW(hex, L"%02X", byte);
        name += hex;
    }
    return name + (suffix ? suffix : L"");
}

void SetTemporaryNamesForTesting(std::vector<std::wstring> names)
{
    namesForTesting = std::move(names);
}

FileStamp StampOf(const std::string& bytes)
{
    FileStamp stamp;
    stamp.size = bytes.size();
    stamp.hash = Fnv1a64(bytes.data(), bytes.size());
    stamp.known = true;
    return stamp;
}

FileStamp StampAt(const std::wstring& path)
{
    std::string bytes;
    return ReadWholeFile(path.c_str(), bytes) ? StampOf(bytes) : FileStamp();
}

void SafeFileWriter::SetWriteLimitForTesting(long long bytes)
{
    writeBudget = bytes;
}

bool SafeFileWriter::Create(const std::wstring& folder, const wchar_t* suffix)
{
    Abandon();
    failure = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = NewTemporaryName(suffix);
        path = JoinPath(folder, name);
        // Deleting access lets ReplaceTarget rename the file while it is open; a reader that opens
        // the target before the handle closes finds the whole, flushed file.
        file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            failure = 0;  // a name found taken before is no failure of this file
            return true;
        }
        failure = GetLastError();
        if (failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS)
            break;
    }
    name.clear();
    path.clear();
    return false;
}

bool SafeFileWriter::Write(const void* bytes, size_t size)
{
    if (!file || failure)
        return false;
    const char* p = static_cast<const char*>(bytes);
    while (size) {
        DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        bool cut = false;
        if (writeBudget >= 0 && chunk > writeBudget) {
            chunk = DWORD(writeBudget);
            cut = true;
        }
        DWORD done = 0;
        if (chunk && !WriteFile(file.Get(), p, chunk, &done, nullptr))
            failure = GetLastError();
        if (writeBudget >= 0)
            writeBudget -= done;
        if (!failure && (cut || done != chunk))
            failure = ERROR_DISK_FULL;  // what a full disk reports
        if (failure)
            return false;
        p += done;
        size -= done;
    }
    return true;
}

bool SafeFileWriter::Flush()
{
    if (!file || failure)
        return false;
    if (!FlushFileBuffers(file.Get()))
        failure = GetLastError();
    return !failure;
}

DWORD SafeFileWriter::ReplaceTarget(const std::wstring& targetPath, bool replace)
{
    if (!file || failure)
        return failure ? failure : ERROR_INVALID_HANDLE;
    if (DWORD code = RenameOpenFile(file.Get(), targetPath, replace))
        return code;
    file.Close();
    path.clear();  // it is the target now
    return ERROR_SUCCESS;
}

DWORD RenameOpenFile(HANDLE handle, const std::wstring& targetPath, bool replace)
{
    // One rename through the open handle: no second opening of the file by its name.
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + targetPath.size() * sizeof(wchar_t));
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(targetPath.size() * sizeof(wchar_t));
    memcpy(rename->FileName, targetPath.c_str(), (targetPath.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size())) ? ERROR_SUCCESS
                                                                                            : GetLastError();
}

bool SafeFileWriter::Finish()
{
    if (!file)
        return false;
    Flush();
    if (!file.Close() && !failure)
        failure = GetLastError();
    if (failure) {
        DeleteFileW(path.c_str());
        path.clear();
        return false;
    }
    path.clear();  // finished: no longer the writer's to delete
    return true;
}

void SafeFileWriter::Abandon()
{
    file.Close();
    if (!path.empty())
        DeleteFileW(path.c_str());
    path.clear();
}

bool IsTemporaryName(const std::wstring& name)
{
    size_t prefix = wcslen(kTemporaryPrefix);
    if (name.size() < prefix + 5 || name.compare(0, prefix, kTemporaryPrefix) != 0)
        return false;
    size_t dot = name.size() - 4;
    if (name.compare(dot, 4, L".new") != 0 && name.compare(dot, 4, L".old") != 0)
        return false;
    if (dot - prefix == kRandomDigits && IsHex(name, prefix, dot))
        return true;
    size_t dash = name.find(L'-', prefix);  // an earlier version's: process and counter
    return dash != std::wstring::npos && IsHex(name, prefix, dash) && IsHex(name, dash + 1, dot);
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes, DWORD* error)
{
    bytes.clear();
    UniqueHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (error)
            *error = GetLastError();
        return false;
    }
    ReadWholeHandle(file.Get(), bytes);  // a short read leaves fewer bytes, for the caller's parser to find
    return true;
}

DWORD ReadWholeHandle(HANDLE file, std::string& bytes)
{
    bytes.clear();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
        return GetLastError();
    if (size.QuadPart >= 0x7FFFFFFF)
        return ERROR_FILE_TOO_LARGE;
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    DWORD code = bytes.empty() || ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr) ? 0 : GetLastError();
    if (!bytes.empty() && !code && read != bytes.size())
        code = ERROR_HANDLE_EOF;
    bytes.resize(read);
    return code;
}
