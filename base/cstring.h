// The system's wide string: exact-fit owned buffer, 16-bit length and capacity.
#pragma once
#include <windows.h>
#include <cstdint>
#include "base/object.h"

class CString : public CObject {
public:
    CString(const wchar_t* text = nullptr, int count = -1);
    // 8-bit text is widened through the fixed Windows-1250 table; count -1 reads up to the zero byte.
    explicit CString(const char* text, int count = -1);
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    ~CString() override;

    // Makes room for n characters and sets the length to n; null (and an emptied string) on failure.
    wchar_t* Allocate(unsigned n);
    // n = -1 recounts up to the first zero; always writes the terminator.
    wchar_t* SetLength(int n);

    CString& Assign(const CString& other);
    CString& Assign(const wchar_t* text);
    CString& Assign(const wchar_t* text, int count);
    CString& Assign(const char* text, int count);

    CString& Append(const wchar_t* text);
    // Widens byte for byte; callers pass 7-bit text.
    CString& Append(const char* text);
    CString& AppendPath(const wchar_t* text);
    CString& AppendPath(const char* text);

    // wvsprintfW into 1,024 characters; a null format formats the string's own text.
    CString& Format(const wchar_t* format, ...);
    CString& FormatV(const wchar_t* format, va_list args);
    // Copies string resource id of the module; a missing id gives an allocated empty text.
    int LoadResource(HINSTANCE module, UINT id);

    // The text, or the empty text while there is no buffer.
    const wchar_t* Text() const { return buffer ? buffer : L""; }
    wchar_t* Buffer() const { return buffer; }
    unsigned Length() const { return length; }
    unsigned Capacity() const { return capacity; }
    bool IsEmpty() const { return length == 0; }

    static wchar_t Widen(unsigned char byte);

private:
    void Release();
    bool Overlaps(const wchar_t* text) const;
    bool Reallocate(unsigned newLength, unsigned keep);

    wchar_t* buffer = nullptr;
    uint16_t length = 0;
    uint16_t capacity = 0;
};

CString Concat(const CString& string, const wchar_t* text);
CString Concat(const CString& string, const char* text);
CString ConcatPath(const CString& string, const wchar_t* text);

// Temporaries owned by the module's collector; null only when out of memory.
CString* TempString(unsigned room);
CString* TempString(const wchar_t* text);
CString* TempCopy(const CString& string);
CString* TempResourceString(UINT id);
