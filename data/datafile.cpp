#include "data/datafile.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "base/handle.h"
#include "base/registry.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "resources/resource.h"

// Our own key. Database files are scrambled with it by tools/dpdb (`dpdb scramble`, `dpdb build`).
const unsigned char kScrambleKey[kScrambleKeyLength] = {
    0xC4, 0x18, 0x54, 0x18, 0x30, 0x12, 0xE3, 0x4C, 0xE8, 0xCE, 0xB3, 0x88, 0xF0, 0xDA, 0x42, 0x2E, 0xFB,
    0x38, 0x0E, 0x44, 0x6B, 0x6B, 0xE7, 0x3F, 0x56, 0xC8, 0x85, 0x5D, 0x18, 0xDF, 0xD7, 0x66, 0x3E, 0xF8,
    0x6A, 0x9F, 0x65, 0x51, 0xFA, 0x4E, 0xE4, 0x53, 0xE4, 0x57, 0x70, 0x8F, 0xBB, 0x5D, 0x2D, 0xCD,
};

CTableException::CTableException(int32_t code, const wchar_t* text) : code(code)
{
    if (text)
        lstrcpynW(this->text, text, 260);
}

void DataFileBuffer::Free()
{
    delete[] data;
    data = nullptr;
    size = 0;
}

void Scramble(void* bytes, size_t size, size_t offset)
{
    unsigned char* p = static_cast<unsigned char*>(bytes);
    size_t k = offset % kScrambleKeyLength;
    // Up to the next key boundary, then whole key lengths (which the compiler vectorises), then the rest.
    while (size && k) {
        *p++ ^= kScrambleKey[k];
        --size;
        if (++k == kScrambleKeyLength)
            k = 0;
    }
    for (; size >= kScrambleKeyLength; size -= kScrambleKeyLength, p += kScrambleKeyLength) {
        for (unsigned i = 0; i < kScrambleKeyLength; ++i)
            p[i] ^= kScrambleKey[i];
    }
    for (size_t i = 0; i < size; ++i)
        p[i] ^= kScrambleKey[i];
}

CString* GetDataPath(const wchar_t* format, ...)
{
    CRegKey key(HKEY_CURRENT_USER, kSettingsKey);
    CString* directory = key.Value("InstallDir").GetTextTemp();
    if (!directory)
        return nullptr;
    if (!format)
        return TempCopy(*directory);

    va_list args;
    va_start(args, format);
    CString name;
    name.FormatV(format, args);
    va_end(args);
    // The name lives in a 256-character buffer: at most 255 characters and the terminator.
    if (name.Length() > 255)
        name.SetLength(255);

    CString* path = TempCopy(*directory);
    if (path)
        path->AppendPath(name.Text());
    return path;
}

std::wstring ResolveDataFolder(const std::wstring& folder)
{
    if (folder.empty())
        return folder;
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(folder.c_str(), ARRAYSIZE(full), full, nullptr);
    return length && length < ARRAYSIZE(full) ? std::wstring(full, length) : folder;
}

void HoldDataFolder(FolderReadHold& hold, const wchar_t* path)
{
    std::wstring folder, name;
    SplitPath(path ? path : L"", folder, name);
    if (!hold.Take(ResolveDataFolder(folder)))
        throw CTableException(kTableOpenFailed, path);
}

void ReadRawDataFile(DataFileBuffer& buffer, const wchar_t* path)
{
    buffer.Free();
    UniqueHandle file(CreateFileW(path ? path : L"", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw CTableException(kTableOpenFailed, path);

    DWORD high = 0;
    DWORD size = GetFileSize(file.Get(), &high);
    // Decision: a file of 65,536 bytes or more is refused whole (code 3) rather than cut at a wrapped
    // 16-bit line offset. A zero-byte file reads as an empty table (RecordTable::ParseBuffer).
    bool readable = high == 0 && size <= kMaxDataFileSize;  // a failed GetFileSize gives 0xFFFFFFFF
    if (readable) {
        buffer.data = new (std::nothrow) char[size ? size : 1];
        readable = buffer.data != nullptr;
    }
    DWORD read = 0;
    if (readable && size)
        readable = ReadFile(file.Get(), buffer.data, size, &read, nullptr) && read == size;
    file.Close();
    if (!readable) {
        buffer.Free();
        throw CTableException(kTableReadFailed, path);
    }
    buffer.size = size;
}

void ReadDataFile(DataFileBuffer& buffer, const wchar_t* path)
{
    ReadRawDataFile(buffer, path);
    Scramble(buffer.data, buffer.size);
}

bool NextLine(const char* data, uint32_t size, const char*& cursor)
{
    if (!data || size == 0)
        return false;
    if (!cursor) {
        cursor = data;
        return true;
    }
    uint32_t at = uint32_t(cursor - data);
    if (at >= size)
        return false;
    const void* end = memchr(cursor, '\r', size - at);
    if (!end)
        return false;
    uint32_t next = uint32_t(static_cast<const char*>(end) - data) + 1;
    if (next < size && data[next] == '\n')
        ++next;
    // The 16-bit rule of the device; both tests agree for every size the reader accepts.
    if (uint16_t(next) >= size || next >= size)
        return false;
    cursor = data + next;
    return true;
}

uint32_t LineLength(const char* data, uint32_t size, const char* line)
{
    uint32_t at = uint32_t(line - data);
    if (at >= size)
        return 0;
    const void* end = memchr(line, '\r', size - at);
    return end ? uint32_t(static_cast<const char*>(end) - line) : size - at;
}

CString* TableErrorText(const CTableException& error)
{
    UINT id = 0;
    switch (error.code) {
    case kTableCorrupt: id = IDS_TABLE_CORRUPT; break;
    case kTableOpenFailed: id = IDS_TABLE_OPEN_FAILED; break;
    case kTableReadFailed: id = IDS_TABLE_READ_FAILED; break;
    }
    CString* text = id ? TempResourceString(id) : TempString(L"");
    if (!text)
        return nullptr;
    CString path(error.text, int(wcsnlen(error.text, 260)));
    text->Append(L"\n\n");
    text->Append(path.Text());
    return text;
}

void ShowTableError(HWND owner, const CTableException& error)
{
    CString* text = TableErrorText(error);
    CString* caption = TempResourceString(IDS_APP_NAME);
    MessageBoxW(owner, text ? text->Text() : L"", caption ? caption->Text() : L"",
                MB_OK | MB_ICONEXCLAMATION);
}
