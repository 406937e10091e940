// dialpass-config: prints every value the dialer reads under HKCU\SOFTWARE\Kestrova\Dialpass,
// with each "Sequence" shown as bytes and as the steps the sequence editor would list.
#include <windows.h>

#include <cstdio>

#include "base/cstring.h"
#include "base/module.h"
#include "base/registry.h"
#include "pages/sequencesteps.h"

namespace {

const wchar_t kRootName[] = L"HKEY_CURRENT_USER";

// Console output is written wide; a pipe or file gets UTF-8.
void Print(const wchar_t* format, ...)
{
    wchar_t text[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, 1023, format, args);
    va_end(args);
    text[1023] = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text, DWORD(lstrlenW(text)), &written, nullptr);
        return;
    }
    char bytes[4096];
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
    if (size > 1)
        fwrite(bytes, 1, size_t(size - 1), stdout);
}

const wchar_t* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_DWORD: return L"REG_DWORD";
    case REG_QWORD: return L"REG_QWORD";
    case REG_BINARY: return L"REG_BINARY";
    case REG_NONE: return L"REG_NONE";
    default: return L"(other type)";
    }
}

void PrintBytes(const BYTE* data, DWORD size)
{
    for (DWORD i = 0; i < size; i += 16) {
        wchar_t line[80];
        int used = wsprintfW(line, L"      %04X ", unsigned(i));
        for (DWORD j = i; j < size && j < i + 16; ++j)
            used += wsprintfW(line + used, L" %02X", data[j]);
        Print(L"%ls\n", line);
    }
}

void PrintSteps(const BYTE* data, DWORD size, DWORD length, bool haveLength)
{
    if (!haveLength) {
        Print(L"    steps: none shown, the key has no \"Length\" value\n");
        return;
    }
    if (length > size) {
        Print(L"    steps: \"Length\" %lu is more than the %lu bytes stored\n", length, size);
        length = size;
    }
    if (length == 0) {
        Print(L"    steps: none (Length 0)\n");
        return;
    }
    Print(L"    steps (first %lu bytes):\n", length);
    unsigned number = 1;
    for (unsigned offset = 0; offset < length; ++number) {
        unsigned stepSize = SequenceStepSize(data, length, offset);
        if (!stepSize) {
            Print(L"      %u. cannot be read: code %u at byte %u\n", number, unsigned(data[offset]), offset);
            return;
        }
        BYTE code = data[offset];
        BYTE param = data[offset + 1];
        const char* digits = reinterpret_cast<const char*>(data + offset + 2);
        CString* text = SequenceStepText(code, param, digits, code == kStepDigits ? param : 0);
        Print(L"      %u. %ls\n", number, text ? text->Text() : L"");
        offset += stepSize;
    }
}

void PrintValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        CString text(reinterpret_cast<const wchar_t*>(data), int(size / sizeof(wchar_t)));
        text.SetLength(-1);
        Print(L"  \"%ls\" %ls \"%ls\" (%lu bytes)\n", name, TypeName(type), text.Text(), size);
        break;
    }
    case REG_DWORD:
        if (size == sizeof(DWORD)) {
            DWORD number = *reinterpret_cast<const DWORD*>(data);
            Print(L"  \"%ls\" REG_DWORD %lu (0x%08lX)\n", name, number, number);
            break;
        }
        [[fallthrough]];
    default:
        Print(L"  \"%ls\" %ls, %lu bytes\n", name, TypeName(type), size);
        PrintBytes(data, size);
        if (lstrcmpiW(name, L"Sequence") == 0) {
            DWORD length = 0;
            DWORD lengthSize = sizeof(length);
            DWORD lengthType = 0;
            bool haveLength = RegQueryValueExW(key, L"Length", nullptr, &lengthType,
                                               reinterpret_cast<BYTE*>(&length), &lengthSize) == ERROR_SUCCESS &&
                              lengthType == REG_DWORD && lengthSize == sizeof(length);
            PrintSteps(data, size, length, haveLength);
        }
        break;
    }
}

void PrintKey(HKEY key, const CString& path)
{
    Print(L"[%ls\\%ls]\n", kRootName, path.Text());
    DWORD valueCount = 0, maxName = 0, maxData = 0, subkeyCount = 0, maxSubkey = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &maxSubkey, nullptr, &valueCount, &maxName,
                     &maxData, nullptr, nullptr);
    CString name;
    BYTE* data = new BYTE[maxData + 2];
    for (DWORD i = 0; i < valueCount; ++i) {
        DWORD nameSize = maxName + 1;
        DWORD dataSize = maxData;
        DWORD type = 0;
        if (!name.Allocate(maxName + 1))
            break;
        if (RegEnumValueW(key, i, name.Buffer(), &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            continue;
        PrintValue(key, name.Buffer(), type, data, dataSize);
    }
    delete[] data;
    if (valueCount == 0)
        Print(L"  (no values)\n");
    Print(L"\n");

    for (DWORD i = 0; i < subkeyCount; ++i) {
        DWORD nameSize = maxSubkey + 1;
        if (!name.Allocate(maxSubkey + 1))
            break;
        if (RegEnumKeyExW(key, i, name.Buffer(), &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY subkey = nullptr;
        if (RegOpenKeyExW(key, name.Buffer(), 0, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        CString subpath = ConcatPath(path, name.Buffer());
        PrintKey(subkey, subpath);
        RegCloseKey(subkey);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    if (argc > 1) {
        Print(L"usage: %ls\nPrints the dialer configuration under %ls\\%ls.\n", argv[0], kRootName, kSettingsKey);
        return lstrcmpW(argv[1], L"/?") == 0 || lstrcmpW(argv[1], L"--help") == 0 ? 0 : 2;
    }
    // Opened, never created: looking must not make the key appear.
    HKEY root = nullptr;
    LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &root);
    if (error == ERROR_FILE_NOT_FOUND) {
        fwprintf(stderr, L"dialpass-config: %ls\\%ls does not exist: the dialer has no configuration yet "
                         L"(it is written when the applet's settings are confirmed with OK).\n",
                 kRootName, kSettingsKey);
        return 1;
    }
    if (error != ERROR_SUCCESS) {
        fwprintf(stderr, L"dialpass-config: cannot open %ls\\%ls (error %ld).\n", kRootName, kSettingsKey, error);
        return 1;
    }
    PrintKey(root, CString(kSettingsKey));
    RegCloseKey(root);
    return 0;
}
