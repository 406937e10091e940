// Names and paths as the file system reads them, and the texts around them: one rule for each.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// Whether two names (or paths) are the same to the file system: compared without regard to case,
// character by character, as NTFS and FAT do.
bool SameName(std::wstring_view a, std::wstring_view b);

// The folder part of a path ("" for a bare name) and the name after it; a root keeps its separator
// ("C:\x" gives "C:\").
void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name);
// folder joined with name: nothing between them after "", a separator or a drive's colon; else the
// separator folder already uses ('/' when it has only those, else '\').
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// True when name can only mean a file directly in a folder: not empty, no separator, drive or
// stream colon, no character Windows forbids, not "." or "..", no trailing dot or blank, and not a
// reserved device name (CON, NUL, COM1, ...), with or without an extension.
bool IsPlainFileName(const std::wstring& name);

// UTF-16 to UTF-8 and back; FromUtf8 is false (text empty) for bytes that are not UTF-8.
std::string ToUtf8(const std::wstring& text);
bool FromUtf8(const std::string& bytes, std::wstring& text);

// The system's text for an error code (FormatMessage) without its line end and full stop; "error N"
// when the system has none.
std::wstring SystemErrorText(DWORD code);
