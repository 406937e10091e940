// Thin registry wrappers: never throw, never show anything; each keeps the last result code.
#pragma once
#include <windows.h>
#include "base/cstring.h"
#include "base/object.h"

class CRegValue;

class CRegKey : public CObject {
public:
    // A non-empty path is created when missing; an empty or null path opens the root itself.
    CRegKey(HKEY root, const wchar_t* path);
    ~CRegKey() override;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // For a key that is not open: the previous handle is not closed.
    bool Create(HKEY root, const wchar_t* path);
    bool Close();
    // The name is ASCII; the value borrows this key's handle and must not outlive it.
    CRegValue Value(const char* name) const;

    HKEY Handle() const { return handle; }
    DWORD Disposition() const { return disposition; }
    LONG Error() const { return error; }
    const CString& Path() const { return path; }

private:
    HKEY handle = nullptr;
    DWORD disposition = 0;
    LONG error = 0;
    CString path;
};

class CRegValue : public CObject {
public:
    CRegValue(HKEY key, const char* name);
    ~CRegValue() override;

    bool Exists();
    // Any 4 bytes count as a number, whatever the stored type; on error out = defaultValue.
    bool GetNumber(DWORD& out, DWORD defaultValue);
    DWORD GetNumber();
    // size in characters; on error the buffer gets defaultText, or the empty text when there is none.
    bool GetText(wchar_t* buffer, DWORD size, const wchar_t* defaultText);
    // Up to 511 characters; missing or longer values read as the empty text.
    CString* GetTextTemp();
    void SetText(const wchar_t* text);
    void SetNumber(DWORD value);
    void Delete();

    LONG Error() const { return error; }

private:
    HKEY key;
    LONG error = 0;
    CString name;
};

// The configuration key of the applet under HKEY_CURRENT_USER.
extern const wchar_t kSettingsKey[];
