// dialpass-config: prints every value the dialer reads under HKCU\SOFTWARE\Kestrova\Dialpass,
// with each "Sequence" shown as bytes and as the steps the sequence editor would list; with
// --dial NUMBER, what the phone dials through the card for that number.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/cstring.h"
#include "base/module.h"
#include "base/registry.h"
#include "pages/sequencesteps.h"
#include "dial.h"
#include "output.h"

namespace {

const wchar_t kRootName[] = L"HKEY_CURRENT_USER";

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
        // Shown whole up to its first terminator, however long.
        std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        text.resize(std::min(text.size(), text.find(L'\0')));
        Print(L"  \"%ls\" %ls \"%ls\" (%lu bytes)\n", name, TypeName(type), text.c_str(), size);
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
    // Sized from the key's own figures, and grown when a value changed in between.
    std::vector<wchar_t> name(maxName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0; i < valueCount; ++i) {
        for (;;) {
            DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
            LONG error = RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
            if (error == ERROR_MORE_DATA) {
                name.resize(name.size() * 2);
                data.resize(std::max<size_t>(data.size() * 2, dataSize));
                continue;
            }
            if (error == ERROR_SUCCESS)
                PrintValue(key, name.data(), type, data.data(), dataSize);
            break;
        }
    }
    if (valueCount == 0)
        Print(L"  (no values)\n");
    Print(L"\n");

    std::vector<wchar_t> subkeyName(maxSubkey + 2);
    for (DWORD i = 0; i < subkeyCount; ++i) {
        DWORD nameSize = DWORD(subkeyName.size());
        if (RegEnumKeyExW(key, i, subkeyName.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY subkey = nullptr;
        if (RegOpenKeyExW(key, subkeyName.data(), 0, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        PrintKey(subkey, ConcatPath(path, subkeyName.data()));
        RegCloseKey(subkey);
    }
}

const wchar_t kUsage[] =
    L"usage: dialpass-config [--dial NUMBER]\n"
    L"  (no arguments)  prints every value the dialer reads under HKEY_CURRENT_USER\\%ls\n"
    L"  --dial NUMBER   prints what the phone dials through the card for NUMBER, given in\n"
    L"                  international form: + and the country code, then the number\n"
    L"                  (for example --dial \"+44 20 7946 0000\")\n"
    L"  --help, -h, /?  prints this text\n"
    L"Exit codes: 0 shown, 1 nothing to show (no configuration or sequence), 2 bad usage.\n";

int BadUsage(const std::wstring& what)
{
    PrintError(L"dialpass-config: %ls\n", what.c_str());
    PrintError(kUsage, kSettingsKey);
    return 2;
}

int PrintConfiguration()
{
    // Opened, never created: looking must not make the key appear.
    HKEY root = nullptr;
    LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &root);
    if (error == ERROR_FILE_NOT_FOUND) {
        PrintError(L"dialpass-config: %ls\\%ls does not exist: the dialer has no configuration yet "
                   L"(it is written when the applet's settings are confirmed with OK).\n",
                   kRootName, kSettingsKey);
        return 1;
    }
    if (error != ERROR_SUCCESS) {
        PrintError(L"dialpass-config: cannot open %ls\\%ls (error %ld).\n", kRootName, kSettingsKey, error);
        return 1;
    }
    PrintKey(root, CString(kSettingsKey));
    RegCloseKey(root);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    moduleInstance = GetModuleHandleW(nullptr);
    if (argc == 1)
        return PrintConfiguration();
    std::wstring first = argv[1];
    if (first == L"--help" || first == L"-h" || first == L"/?") {
        if (argc > 2)
            return BadUsage(L"unexpected argument after " + first + L": \"" + argv[2] + L"\"");
        Print(kUsage, kSettingsKey);
        return 0;
    }
    if (first == L"--dial") {
        if (argc == 2)
            return BadUsage(L"--dial needs a NUMBER in international form, for example +44 20 7946 0000");
        // A number typed with blanks and without quotes arrives in pieces: they are one number.
        std::wstring number = argv[2];
        for (int i = 3; i < argc; ++i)
            number += std::wstring(L" ") + argv[i];
        int result = RunDial(number);
        if (result == 2)
            PrintError(kUsage, kSettingsKey);
        return result;
    }
    if (!first.empty() && (first[0] == L'-' || first[0] == L'/'))
        return BadUsage(L"unknown option \"" + first + L"\"");
    return BadUsage(L"unexpected argument \"" + first + L"\"");
}
