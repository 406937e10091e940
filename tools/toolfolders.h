// Folders the tool programs work with: their own, and emptying a scratch folder of theirs.
#pragma once
#include <windows.h>

#include <string>

#include "base/handle.h"

// The folder this program lies in, without a trailing separator.
inline std::wstring ProgramDir()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, n);
    return text.substr(0, text.find_last_of(L"\\/"));
}

// Deletes the files directly in folder (not its subfolders).
inline void EmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (BOOL more = bool(search); more; more = FindNextFileW(search.Get(), &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    }
}
