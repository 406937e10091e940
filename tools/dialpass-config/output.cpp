#include "output.h"

#include <windows.h>

#include <cstdarg>
#include <vector>

#include "base/path.h"

namespace {

std::wstring FormatV(const wchar_t* format, va_list args)
{
    va_list count;
    va_copy(count, args);
    int length = _vscwprintf(format, count);
    va_end(count);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    _vsnwprintf(text.data(), text.size(), format, args);
    return std::wstring(text.data(), size_t(length));
}

void Write(DWORD which, FILE* stream, const std::wstring& text)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = ToUtf8(text);
    fwrite(bytes.data(), 1, bytes.size(), stream);
    fflush(stream);
}

}  // namespace

std::wstring Formatted(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    return text;
}

void Print(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    Write(STD_OUTPUT_HANDLE, stdout, text);
}

void PrintError(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    Write(STD_ERROR_HANDLE, stderr, text);
}
