#include "updater/updatelog.h"

#include <cstdio>

namespace {

// A log beyond this size is started afresh by the next run instead of growing for ever.
constexpr DWORD kLogRestartSize = 256 * 1024;

std::string Stamp(const char* format)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    snprintf(stamp, sizeof(stamp), format, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
             now.wMilliseconds);
    return stamp;
}

} // namespace

UpdateLog::UpdateLog(const std::wstring& path)
{
    InitializeCriticalSection(&lock);
    if (!path.empty()) {
        // Appending needs no lock on the folder and never rewrites what earlier lines wrote.
        file.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size = {};
        if (file && GetFileSizeEx(file.Get(), &size) && size.QuadPart > kLogRestartSize) {
            file.Close();
            file.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        written = bool(file);
    }
    std::string header = std::string(kRunHeader) + Stamp(" %04u-%02u-%02u %02u:%02u:%02u ====\r\n");
    text = header;
    DWORD done = 0;
    if (file && (!WriteFile(file.Get(), header.data(), DWORD(header.size()), &done, nullptr) || done != header.size()))
        written = false;
}

UpdateLog::~UpdateLog()
{
    file.Close();
    DeleteCriticalSection(&lock);
}

void UpdateLog::Line(const std::wstring& line)
{
    std::string stamp = Stamp("%04u-%02u-%02u %02u:%02u:%02u.%03u  ");
    std::wstring wide = std::wstring(stamp.begin(), stamp.end()) + line + L"\r\n";
    int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return;
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &bytes[0], n, nullptr, nullptr);
    EnterCriticalSection(&lock);
    text += bytes;
    DWORD done = 0;
    // One write per line: a full disk loses this line only, and a later, shorter one may still fit.
    if (file && (!WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &done, nullptr) || done != bytes.size()))
        written = false;
    // A console run shows the steps as they happen.
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), DWORD(bytes.size()), &done, nullptr);
    LeaveCriticalSection(&lock);
}

std::string UpdateLog::Text() const
{
    EnterCriticalSection(&lock);
    std::string copy = text;
    LeaveCriticalSection(&lock);
    return copy;
}
