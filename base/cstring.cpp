#include "base/cstring.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/module.h"
#include "base/collector.h"

namespace {

// Windows-1250 for bytes 0x80..0xFF; 0x80 and the undefined bytes read as U+FFFE.
const uint16_t kHighHalf1250[128] = {
    0xFFFE, 0xFFFE, 0x201A, 0xFFFE, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0xFFFE, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0xFFFE, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFE, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

const unsigned kMaxLength = 65534;

size_t TextLength(const wchar_t* text)
{
    return wcslen(text);
}

} // namespace

wchar_t CString::Widen(unsigned char byte)
{
    return byte < 0x80 ? wchar_t(byte) : wchar_t(kHighHalf1250[byte - 0x80]);
}

CString::CString(const wchar_t* text, int count)
{
    if (count >= 0)
        Assign(text, count);
    else if (text)
        Assign(text);
}

CString::CString(const char* text, int count)
{
    if (!text)
        return;
    if (count < 0)
        count = int(strlen(text));
    Assign(text, count);
}

CString::CString(const CString& other)
{
    Assign(other);
}

CString::CString(CString&& other) noexcept
    : buffer(other.buffer), length(other.length), capacity(other.capacity)
{
    other.buffer = nullptr;
    other.length = other.capacity = 0;
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept
{
    if (this != &other) {
        Release();
        buffer = other.buffer;
        length = other.length;
        capacity = other.capacity;
        other.buffer = nullptr;
        other.length = other.capacity = 0;
    }
    return *this;
}

CString::~CString()
{
    Release();
}

// A text inside our own buffer would be freed by a reallocation.
bool CString::Overlaps(const wchar_t* text) const
{
    return buffer && text >= buffer && text < buffer + capacity;
}

void CString::Release()
{
    delete[] buffer;
    buffer = nullptr;
    length = capacity = 0;
}

// New buffer of exactly newLength + 1 characters keeping the first `keep` characters.
bool CString::Reallocate(unsigned newLength, unsigned keep)
{
    wchar_t* fresh = newLength <= kMaxLength ? new (std::nothrow) wchar_t[newLength + 1] : nullptr;
    if (!fresh) {
        Release();
        return false;
    }
    if (buffer && keep)
        memcpy(fresh, buffer, keep * sizeof(wchar_t));
    fresh[keep] = 0;
    delete[] buffer;
    buffer = fresh;
    capacity = uint16_t(newLength + 1);
    return true;
}

wchar_t* CString::Allocate(unsigned n)
{
    if (n >= capacity) {
        // The old text moves with its terminator; the rest up to n is left as found.
        unsigned keep = buffer ? length : 0;
        if (!Reallocate(n, keep))
            return nullptr;
    }
    length = uint16_t(n);
    return buffer;
}

wchar_t* CString::SetLength(int n)
{
    if (!buffer)
        return nullptr;
    if (n < 0) {
        size_t counted = 0;
        while (counted + 1 < capacity && buffer[counted])
            ++counted;
        n = int(counted);
    } else if (n >= capacity) {
        n = capacity - 1;
    }
    length = uint16_t(n);
    buffer[length] = 0;
    return buffer;
}

CString& CString::Assign(const CString& other)
{
    if (this == &other)
        return *this;
    unsigned n = other.length;
    if (Allocate(n)) {
        memcpy(buffer, other.Text(), n * sizeof(wchar_t));
        buffer[n] = 0;
    }
    return *this;
}

CString& CString::Assign(const wchar_t* text)
{
    if (!text) {
        if (Allocate(0))
            SetLength(0);
        return *this;
    }
    size_t n = TextLength(text);
    if (n > kMaxLength) {
        Release();
        return *this;
    }
    if (Overlaps(text))
        return *this = CString(text);
    if (Allocate(unsigned(n))) {
        memcpy(buffer, text, n * sizeof(wchar_t));
        SetLength(int(n));
    }
    return *this;
}

CString& CString::Assign(const wchar_t* text, int count)
{
    if (count < 0)
        return Assign(text);
    if (!text)
        count = 0;
    if (Overlaps(text))
        return *this = CString(text, count);
    if (Allocate(unsigned(count))) {
        if (count)
            memcpy(buffer, text, size_t(count) * sizeof(wchar_t));
        SetLength(count);
    }
    return *this;
}

CString& CString::Assign(const char* text, int count)
{
    if (!text || count < 0)
        count = 0;
    if (Allocate(unsigned(count))) {
        for (int i = count - 1; i >= 0; --i)
            buffer[i] = Widen(static_cast<unsigned char>(text[i]));
        buffer[count] = 0;
    }
    return *this;
}

CString& CString::Append(const wchar_t* text)
{
    if (!text)
        return *this;
    size_t added = TextLength(text);
    size_t newLength = length + added;
    if (buffer && newLength < capacity) {
        memmove(buffer + length, text, added * sizeof(wchar_t));
    } else {
        wchar_t* fresh = newLength <= kMaxLength ? new (std::nothrow) wchar_t[newLength + 1] : nullptr;
        if (!fresh) {
            Release();
            return *this;
        }
        if (buffer)
            memcpy(fresh, buffer, length * sizeof(wchar_t));
        memcpy(fresh + length, text, added * sizeof(wchar_t));  // before the old buffer, which text may be, goes
        delete[] buffer;
        buffer = fresh;
        capacity = uint16_t(newLength + 1);
    }
    length = uint16_t(newLength);
    buffer[length] = 0;
    return *this;
}

CString& CString::Append(const char* text)
{
    if (!text)
        return *this;
    size_t added = strlen(text);
    size_t newLength = length + added;
    if (!buffer || newLength >= capacity) {
        if (!Reallocate(unsigned(newLength), buffer ? length : 0))
            return *this;
    }
    for (size_t i = 0; i < added; ++i)
        buffer[length + i] = static_cast<unsigned char>(text[i]);
    length = uint16_t(newLength);
    buffer[length] = 0;
    return *this;
}

CString& CString::AppendPath(const wchar_t* text)
{
    if (length && buffer[length - 1] != L'\\' && text && text[0] != L'\\')
        Append(L"\\");
    return Append(text);
}

CString& CString::AppendPath(const char* text)
{
    if (length && buffer[length - 1] != L'\\')
        Append("\\");
    return Append(text);
}

CString& CString::FormatV(const wchar_t* format, va_list args)
{
    wchar_t formatted[1024];
    formatted[0] = 0;
    wvsprintfW(formatted, format ? format : Text(), args);
    formatted[1023] = 0;
    return Assign(formatted);
}

CString& CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

int CString::LoadResource(HINSTANCE module, UINT id)
{
    // The read-only form: the pointer to the stored text, which has no terminator.
    const wchar_t* stored = nullptr;
    int count = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&stored), 0);
    if (count <= 0 || !stored)
        count = 0;
    Assign(count ? stored : L"", count);
    return length;
}

CString Concat(const CString& string, const wchar_t* text)
{
    CString result(string);
    result.Append(text);
    return result;
}

CString Concat(const CString& string, const char* text)
{
    CString result(string);
    result.Append(text);
    return result;
}

CString ConcatPath(const CString& string, const wchar_t* text)
{
    CString result(string);
    result.AppendPath(text);
    return result;
}

CString* TempString(unsigned room)
{
    CString* string = NewTemporary<CString>();
    if (string && string->Allocate(room))
        string->SetLength(0);
    return string;
}

CString* TempString(const wchar_t* text)
{
    return NewTemporary<CString>(text);
}

CString* TempCopy(const CString& string)
{
    return NewTemporary<CString>(string);
}

CString* TempResourceString(UINT id)
{
    CString* string = NewTemporary<CString>();
    if (string)
        string->LoadResource(moduleInstance, id);
    return string;
}
