#include "base/path.h"

#include <cwchar>

bool SameName(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name)
{
    size_t cut = path.find_last_of(L"\\/:");
    if (cut == std::wstring::npos) {
        folder.clear();
        name = path;
        return;
    }
    // "C:\x" keeps "C:\" as its folder; "dir\x" gives "dir".
    bool root = cut == 0 || path[cut] == L':' || (cut == 2 && path[1] == L':');
    folder = path.substr(0, root ? cut + 1 : cut);
    name = path.substr(cut + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    std::wstring path = folder;
    wchar_t last = folder.empty() ? L'\\' : folder.back();
    if (last != L'\\' && last != L'/' && last != L':') {
        bool slashes = wcschr(folder.c_str(), L'/') && !wcschr(folder.c_str(), L'\\');
        path += slashes ? L'/' : L'\\';
    }
    path += name;
    return path;
}

bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name.size() >= MAX_PATH || name.back() == L'.' || name.back() == L' ')
        return false;  // Windows drops trailing dots and blanks, so the name would mean another file
    for (wchar_t c : name) {
        if (c < 32 || wcschr(L"<>:\"/\\|?*", c))
            return false;
    }
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    CharUpperBuffW(&stem[0], DWORD(stem.size()));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (stem == device)
            return false;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
        ((stem[3] >= L'0' && stem[3] <= L'9') || stem[3] == 0xB9 || stem[3] == 0xB2 || stem[3] == 0xB3))
        return false;
    return true;
}

std::string ToUtf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

bool FromUtf8(const std::string& bytes, std::wstring& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0)
        return false;
    text.resize(size_t(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), &text[0], n);
    return true;
}

std::wstring SystemErrorText(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    // Without the line end and the full stop, so that it can stand inside a longer message.
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ' ||
                               result.back() == L'.'))
        result.pop_back();
    if (result.empty()) {
        wchar_t number[24];
        wsprintfW(number, L"error %lu", code);
        result = number;
    }
    return result;
}
