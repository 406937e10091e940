// Lists kept in one string-table entry, fields separated by ";" ("#" makes the next character literal).
#pragma once
#include <windows.h>
#include "base/cstring.h"
#include "base/object.h"
#include "base/tree.h"

template <class Char>
class CSection : public CObject {
public:
    CSection(const Char* text, int length) : begin(text), end(text + length) {}

    // Copies the field at cursor into destination (room for the rest of the text plus one), resolving escapes.
    int CopyField(Char* destination, const Char* cursor) const
    {
        Char* out = destination;
        while (cursor < end) {
            Char c = *cursor;
            if (c == Char(';'))
                break;
            if (c == Char('#')) {
                if (++cursor >= end)
                    break;  // a "#" at the very end escapes nothing
                c = *cursor;
            }
            *out++ = c;
            ++cursor;
        }
        *out = 0;
        return int(out - destination);
    }

    // 1 and the cursor on the next field, or 0 (cursor unchanged) at the end or at ";" then carriage return.
    int NextField(const Char*& cursor) const
    {
        const Char* scan = cursor;
        while (scan < end) {
            Char c = *scan++;
            if (c == Char('#')) {
                if (scan < end)
                    ++scan;
                continue;
            }
            if (c == Char(';')) {
                if (scan >= end || *scan == Char('\r'))
                    return 0;
                cursor = scan;
                return 1;
            }
        }
        return 0;
    }

    const Char* begin;
    const Char* end;
};

class CPropertyString : public TArray<CString, int, 64> {
public:
    CPropertyString() = default;
    CPropertyString(HINSTANCE module, UINT id) { Load(module, id); }
    ~CPropertyString() override { SetText(nullptr); }

    // 0 and the array untouched when the entry is missing or empty.
    int Load(HINSTANCE module, UINT id);
    // Null text removes every element; a text overwrites indexes 0, 1, 2, ... with its fields.
    int SetText(const wchar_t* text);
};
