#include "updater/updatelog.h"

#include <windows.h>

#include <cstdio>

#include "data/fileset.h"
#include "data/safefile.h"

void UpdateLog::Line(const std::wstring& line)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[40];
    swprintf(stamp, 40, L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond, now.wMilliseconds);
    std::wstring wide = stamp + line + L"\r\n";
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n > 0) {
        std::string bytes(size_t(n), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &bytes[0], n, nullptr, nullptr);
        text += bytes;
        // A console run shows the steps as they happen.
        DWORD done = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), DWORD(bytes.size()), &done, nullptr);
    }
    if (!path.empty())
        written = WriteWholeFile(path.c_str(), text.data(), text.size());
}
