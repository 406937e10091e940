// Steps of a stored dialing sequence: their sizes and the texts the step list shows for them.
#pragma once
#include <windows.h>

#include "base/cstring.h"

enum SequenceStepCode : BYTE {
    kStepAccessNumber = 1,
    kStepAccountNumber = 2,
    kStepPin = 3,
    kStepDestination = 4,
    kStepWait = 5,
    kStepDigits = 6,
};

// Bytes the step at offset takes (2, or 2 + its digit count); 0 when no whole step starts there.
unsigned SequenceStepSize(const BYTE* sequence, unsigned length, unsigned offset);

// Puts the text of one step from the string table into text; false (text untouched) for an
// unknown step code. Digits are 8-bit in the ANSI code page; at most 15 of them are shown.
bool FormatSequenceStep(CString& text, BYTE code, BYTE param, const char* digits, unsigned digitCount);

// Temporary text of one step from the string table ("Dial the access number", "Wait for 10 seconds",
// "Dial 00"); digits are 8-bit in the ANSI code page. Null for an unknown step code.
CString* SequenceStepText(BYTE code, BYTE param, const char* digits, unsigned digitCount);
