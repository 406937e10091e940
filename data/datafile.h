// Record file reader: where data files are, reading and unscrambling them whole,
// cutting them into lines, and the one exception of the database readers.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/cstring.h"
#include "data/fileset.h"

// Length of the scrambling key: byte i of a database file is XORed with key byte i % 50.
constexpr unsigned kScrambleKeyLength = 50;
// The scrambling key of Dialpass database files; defined once, in datafile.cpp.
extern const unsigned char kScrambleKey[kScrambleKeyLength];

// The largest database file the reader accepts: line offsets are kept in 16 bits.
constexpr uint32_t kMaxDataFileSize = 65535;

// Codes of CTableException.
enum : int32_t {
    kTableCorrupt = 1,     // a line of the file does not fit its record format
    kTableOpenFailed = 2,  // the file cannot be opened
    kTableReadFailed = 3,  // the file cannot be read whole (or is 65,536 bytes or more)
};

// Thrown and caught by value; text is the file's path (empty while a record parser throws code 1).
struct CTableException {
    int32_t code = 0;
    wchar_t text[260] = {};

    CTableException() = default;
    // Copies at most 259 characters of text and the terminator.
    explicit CTableException(int32_t code, const wchar_t* text = nullptr);
};

// One file in memory while it is parsed: data owned, exactly size bytes, no terminator.
struct DataFileBuffer {
    char* data = nullptr;
    uint32_t size = 0;

    DataFileBuffer() = default;
    ~DataFileBuffer() { Free(); }
    DataFileBuffer(const DataFileBuffer&) = delete;
    DataFileBuffer& operator=(const DataFileBuffer&) = delete;
    void Free();
};

// XORs size bytes that start at file offset `offset` with the key; scrambles and unscrambles.
void Scramble(void* bytes, size_t size, size_t offset = 0);

// Installation directory ("InstallDir") joined with the wvsprintfW-formatted name (cut to 255
// characters); a null format gives the directory alone. Collector-owned; null only without memory.
CString* GetDataPath(const wchar_t* format, ...);

// folder as the file functions read it: one without a drive ("\Program Files\Card", as "InstallDir"
// may hold) lies on the current drive, a relative one below the current folder. The applet and the
// updater (which it starts with its own current folder) both resolve folders with this.
std::wstring ResolveDataFolder(const std::wstring& folder);

// Before a database file is read: takes hold of its folder for the read (no writer changes the
// folder until hold is released) after finishing an unfinished replacement there (data/fileset.h).
// Throws code 2 with the path when the folder cannot be held or put in order.
void HoldDataFolder(FolderReadHold& hold, const wchar_t* path);

// Reads the whole file into buffer as it is stored (no unscrambling). Throws code 2 when it cannot
// be opened, code 3 when it cannot be read whole or holds 65,536 bytes or more (16-bit offsets).
void ReadRawDataFile(DataFileBuffer& buffer, const wchar_t* path);
// ReadRawDataFile, then unscrambles the buffer in place. Throws code 2 or 3 with the path.
void ReadDataFile(DataFileBuffer& buffer, const wchar_t* path);

// Moves cursor (null before the first line) to the start of the next line: lines end at CR with an
// optional LF behind it; a next line exists only while its start, modulo 65,536, is below size.
bool NextLine(const char* data, uint32_t size, const char*& cursor);
inline bool NextLine(const DataFileBuffer& buffer, const char*& cursor)
{
    return NextLine(buffer.data, buffer.size, cursor);
}
// Bytes of the line that starts at line: up to its CR, or to the end of the data.
uint32_t LineLength(const char* data, uint32_t size, const char* line);

// The first c in [from, end), or null: memchr for the short spans of a record line, inline (the
// C library's is a call into another DLL, a byte at a time under Wine), 16 bytes a step with SSE2.
inline const char* FindByte(const char* from, const char* end, char c)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; end - from >= 16; from += 16) {
        int hits = _mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), wanted));
        if (hits)
            return from + __builtin_ctz(unsigned(hits));
    }
#endif
    for (; from < end; ++from) {
        if (*from == c)
            return from;
    }
    return nullptr;
}

// The box text of an exception: string 1054/1055/1056 by code, "\n\n", the path. Collector-owned.
CString* TableErrorText(const CTableException& error);
// Shows TableErrorText in a message box: owner, caption string 102, MB_OK | MB_ICONEXCLAMATION.
void ShowTableError(HWND owner, const CTableException& error);
