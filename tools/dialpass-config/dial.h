// dialpass-config --dial: what the phone dials through the card for one number.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A number in international form split into country code and the rest, digits only.
struct InternationalNumber {
    unsigned countryCode = 0;
    std::wstring national;
};

// "+CC NUMBER" with blanks, "-", ".", "/" and round brackets allowed between digits: the digits,
// and how many of them form the first group when a separator follows it (0 when none does).
// False with the reason in error.
bool ReadInternational(const std::wstring& text, std::wstring& digits, size_t& firstGroup, std::wstring& error);
// The country code is the first group when it has 1 to 3 digits, else the longest of knownCodes
// that starts the digits. False with the reason in error.
bool ParseInternational(const std::wstring& text, const std::vector<unsigned>& knownCodes,
                        InternationalNumber& number, std::wstring& error);

// The dialable form of a value: formatting characters (blank - . / ( )) dropped.
std::wstring Dialable(const std::wstring& text);

struct DialStep {
    std::wstring words;   // as the sequence editor lists it
    std::wstring dialed;  // what it adds to the dial string
};

// The dial string of a published sequence in the dialable-address notation of Windows telephony:
// "W" waits for a dial tone, each "," pauses two seconds. False with the reason in error when a
// step cannot be read (the steps before it are in steps).
bool BuildDialString(const BYTE* sequence, unsigned length, const std::wstring& accessNumber,
                     const std::wstring& account, const std::wstring& pin, const std::wstring& destination,
                     std::wstring& dialString, std::vector<DialStep>& steps, std::wstring& error);

// Reads the published configuration and prints the dial string and its steps. Exit code: 0 shown,
// 1 nothing to show (no configuration, no sequence, a step that cannot be read), 2 a bad NUMBER.
int RunDial(const std::wstring& numberText);
