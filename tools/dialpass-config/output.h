// Output of dialpass-config: wide text to a console, UTF-8 to a pipe or file; no length limit.
#pragma once
#include <cstdio>
#include <string>

// printf-style with %ls for wide text; the whole text is written, however long.
void Print(const wchar_t* format, ...);
// The same to standard error.
void PrintError(const wchar_t* format, ...);
std::wstring Formatted(const wchar_t* format, ...);
