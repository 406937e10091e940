#include "base/registry.h"

const wchar_t kSettingsKey[] = L"SOFTWARE\\Kestrova\\Dialpass";

CRegKey::CRegKey(HKEY root, const wchar_t* path)
{
    if (path && *path) {
        Create(root, path);
    } else {
        disposition = REG_OPENED_EXISTING_KEY;
        error = RegOpenKeyExW(root, L"", 0, 0, &handle);
        if (error)
            handle = nullptr;
    }
}

CRegKey::~CRegKey()
{
    if (handle)
        RegCloseKey(handle);
}

bool CRegKey::Create(HKEY root, const wchar_t* path)
{
    this->path.Assign(path);
    error = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, &disposition);
    if (error)
        handle = nullptr;
    return error == ERROR_SUCCESS;
}

bool CRegKey::Close()
{
    error = RegCloseKey(handle);
    handle = nullptr;
    path.Assign(L"");
    return error == ERROR_SUCCESS;
}

CRegValue CRegKey::Value(const char* name) const
{
    return CRegValue(handle, name);
}

CRegValue::CRegValue(HKEY key, const char* name) : key(key), name(name) {}

CRegValue::~CRegValue()
{
    key = nullptr;  // borrowed from the CRegKey
}

bool CRegValue::Exists()
{
    error = RegQueryValueExW(key, name.Text(), nullptr, nullptr, nullptr, nullptr);
    return error == ERROR_SUCCESS;
}

bool CRegValue::GetNumber(DWORD& out, DWORD defaultValue)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    error = RegQueryValueExW(key, name.Text(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    out = error == ERROR_SUCCESS ? value : defaultValue;
    return error == ERROR_SUCCESS;
}

DWORD CRegValue::GetNumber()
{
    DWORD value = 0;
    GetNumber(value, 0);
    return value;
}

bool CRegValue::GetText(wchar_t* buffer, DWORD size, const wchar_t* defaultText)
{
    if (!buffer || !size)
        return false;
    DWORD bytes = size * sizeof(wchar_t);
    error = RegQueryValueExW(key, name.Text(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (error != ERROR_SUCCESS) {
        lstrcpynW(buffer, defaultText ? defaultText : L"", int(size));
        return false;
    }
    // A value stored without its terminator still reads as a terminated text.
    DWORD chars = bytes / sizeof(wchar_t);
    buffer[chars < size ? chars : size - 1] = 0;
    return true;
}

CString* CRegValue::GetTextTemp()
{
    const DWORD room = 512;
    CString* text = TempString(room);
    if (!text || !text->Buffer())
        return text;
    GetText(text->Buffer(), room, nullptr);
    text->SetLength(-1);
    return text;
}

void CRegValue::SetText(const wchar_t* text)
{
    if (!text)
        text = L"";
    DWORD bytes = DWORD((lstrlenW(text) + 1) * sizeof(wchar_t));
    error = RegSetValueExW(key, name.Text(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

void CRegValue::SetNumber(DWORD value)
{
    error = RegSetValueExW(key, name.Text(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void CRegValue::Delete()
{
    error = RegDeleteValueW(key, name.Text());
}
