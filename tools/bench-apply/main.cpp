// The sheet's OK on a large installation: a 65,535-byte "country.dat" and access-number file, 100
// profiles and 1,000 card settings records. Times the apply (PSM_APPLY, which sends the pages
// PSN_APPLY as OK does, without closing the sheet) until the configuration is written, side by side
// with writing the same registry values and files directly.
//   bench-apply [RUNS]     (default 15; dialpass.cpl is taken from the program's folder)
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/handle.h"
#include "data/datafile.h"
#include "data/stores.h"
#include "tools/benchclock.h"

namespace {

const wchar_t kCaption[] = L"Dialpass 1.0";
const wchar_t kKey[] = L"SOFTWARE\\Kestrova\\Dialpass";
const unsigned kFileBytes = 65535;
const unsigned kProfiles = 100, kCardSettings = 1000;
const uint16_t kLocationId = 900, kLocationCode = 49;

APPLET_PROC appletProc;

double Now()
{
    return SecondsNow() * 1000.0;
}

// Lines from make(i) until the file is exactly kFileBytes long (the last line padded), scrambled.
template <class Make>
bool WriteDatabaseFile(const std::wstring& path, Make make)
{
    std::string text, last = make(0);
    for (unsigned i = 1;; ++i) {
        std::string line = make(i);
        if (text.size() + line.size() + last.size() > kFileBytes)
            break;
        text += line;
    }
    // The rest goes into a last line of the same shape: leading zeros of its first number.
    last.insert(0, kFileBytes - text.size() - last.size(), '0');
    text += last;
    Scramble(&text[0], text.size());
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

bool WriteInstallation(const std::wstring& dir)
{
    char line[128];
    bool ok = WriteDatabaseFile(dir + L"\\country.dat", [&](unsigned i) {
        // The current location lies near the end, so lookups walk the table.
        unsigned id = i ? (i == 2000 ? kLocationId : 1000 + i) : 1;
        snprintf(line, sizeof(line), "%u;Country number %u;%u\r\n", id, i, i == 2000 ? kLocationCode : 100 + i % 800);
        return std::string(line);
    });
    ok = ok && WriteDatabaseFile(dir + L"\\Bigcard.dat", [&](unsigned i) {
        snprintf(line, sizeof(line), "%u;0800%07u; (number %u)\r\n", i % 2 ? 100 + i % 800 : kLocationCode, i, i);
        return std::string(line);
    });
    std::string small = "1;Bigcard;Big phone card\r\n2;Other;Other card\r\n";
    std::string operators = "26201;49;\r\n";
    for (auto [name, text] : {std::pair<const wchar_t*, std::string*>{L"\\manufacturers.dat", &small},
                              {L"\\providers.dat", &operators}}) {
        Scramble(&(*text)[0], text->size());
        UniqueHandle file(CreateFileW((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ok = ok && file && WriteFile(file.Get(), text->data(), DWORD(text->size()), &written, nullptr);
    }

    ProfileStore profiles;
    profiles.Load((dir + L"\\profiles.dat").c_str());
    for (unsigned i = 0; i < kProfiles; ++i) {
        ProfileRecord* record = nullptr;
        profiles.Get(profiles.AddNew(), record);
        swprintf(record->name, 32, L"Profile %u", i);
        lstrcpyW(record->account, L"123456789012345");
        lstrcpyW(record->pin, L"9876");
        record->provider = 1;
        record->homeCode = kLocationCode;
        record->homeId = kLocationId;
    }
    profiles.SetCurrent(kProfiles - 1);
    CardSettingsStore settings;
    settings.Load((dir + L"\\settings.dat").c_str());
    const unsigned char sequence[] = {1, 0, 5, 5, 6, 2, '0', '0', 2, 0, 3, 0, 4, 0};
    for (unsigned i = 0; i < kCardSettings; ++i) {
        // The profile's own record comes last.
        int32_t code = i + 1 == kCardSettings ? kLocationCode : int32_t(1000 + i);
        CardSettingsRecord* record = settings.FindOrAdd(1, code, kLocationCode);
        for (int slot = 0; slot < 2; ++slot) {
            CardSettingsStore::SetSequence(*record, slot, sequence, sizeof(sequence));
            lstrcpyW(record->accessNumbers[slot], L"08001234567");
        }
    }
    return ok && profiles.Save() && settings.Save();
}

DWORD WINAPI OpenApplet(void*)
{
    appletProc(nullptr, CPL_DBLCLK, 0, 120);
    return 0;
}

HWND WaitWindow(const wchar_t* title)
{
    for (double start = Now(); Now() - start < 10000; Sleep(10))
        if (HWND window = FindWindowW(L"#32770", title))
            if (IsWindowVisible(window))
                return window;
    return nullptr;
}

// What one OK writes, written plainly: the registry values and the two files, no temporary names;
// flushed: each file also flushed to the disk before it is closed, as the applet's saves are.
void DirectWrites(const std::wstring& dir, const std::string& profiles, const std::string& settings, bool flushed)
{
    for (auto [name, bytes] : {std::pair<const wchar_t*, const std::string*>{L"\\profiles.dat", &profiles},
                               {L"\\settings.dat", &settings}}) {
        UniqueHandle file(CreateFileW((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), bytes->data(), DWORD(bytes->size()), &written, nullptr);
        if (flushed)
            FlushFileBuffers(file.Get());
    }
    HKEY root = nullptr, sub = nullptr;
    DWORD one = 1, location = kLocationId, code = kLocationCode, length = 14;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr);
    RegSetValueExW(root, L"Enable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4);
    RegSetValueExW(root, L"CurrentLocation", 0, REG_DWORD, reinterpret_cast<BYTE*>(&location), 4);
    RegCreateKeyExW(root, L"Defaults", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
    auto text = [&](HKEY key, const wchar_t* name, const wchar_t* value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD((wcslen(value) + 1) * 2));
    };
    text(sub, L"Name", L"Profile 99");
    text(sub, L"AccountNumber", L"123456789012345");
    text(sub, L"PIN", L"9876");
    RegSetValueExW(sub, L"HomeCountryCode", 0, REG_DWORD, reinterpret_cast<BYTE*>(&code), 4);
    RegSetValueExW(sub, L"CountryCode", 0, REG_DWORD, reinterpret_cast<BYTE*>(&code), 4);
    text(sub, L"CountryName", L"Country number 2000");
    RegCloseKey(sub);
    BYTE sequence[128] = {1, 0, 5, 5, 6, 2, '0', '0', 2, 0, 3, 0, 4, 0};
    for (const wchar_t* slot : {L"International", L"Local"}) {
        RegCreateKeyExW(root, slot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        RegSetValueExW(sub, L"Length", 0, REG_DWORD, reinterpret_cast<BYTE*>(&length), 4);
        RegSetValueExW(sub, L"Sequence", 0, REG_BINARY, sequence, 128);
        text(sub, L"AccessNumber", L"08001234567");
        RegCloseKey(sub);
    }
    RegCloseKey(root);
}

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return bytes;
    bytes.resize(GetFileSize(file.Get(), nullptr));
    DWORD read = 0;
    ReadFile(file.Get(), &bytes[0], DWORD(bytes.size()), &read, nullptr);
    return bytes;
}

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((dir + L"\\*").c_str(), &found));
    if (search) {
        do
            DeleteFileW((dir + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(search.Get(), &found));
        search.Close();
    }
    RemoveDirectoryW(dir.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = argc > 1 ? _wtoi(argv[1]) : 15;
    if (runs < 2)
        runs = 2;
    HMODULE applet = nullptr;
    appletProc = LoadAppletBeside(L"bench-apply", applet);
    if (!appletProc)
        return 1;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"bench-apply-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    // The configuration of the prefix is put back afterwards.
    const wchar_t saved[] = L"SOFTWARE\\Kestrova\\Dialpass-bench-saved";
    HKEY key = nullptr, backup = nullptr;
    bool hadKey = RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (hadKey) {
        RegCreateKeyExW(HKEY_CURRENT_USER, saved, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
        RegCopyTreeW(key, nullptr, backup);
        RegCloseKey(backup);
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()), DWORD((dir.size() + 1) * 2));
    DWORD enable = 1, location = kLocationId;
    RegSetValueExW(key, L"Enable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enable), 4);
    RegSetValueExW(key, L"CurrentLocation", 0, REG_DWORD, reinterpret_cast<BYTE*>(&location), 4);
    RegCloseKey(key);

    int status = 0;
    if (!WriteInstallation(dir)) {
        fwprintf(stderr, L"bench-apply: cannot write the installation in %ls\n", dir.c_str());
        status = 1;
    }
    // OK right after opening: the applet loaded anew each time, so that no table is loaded yet and
    // publishing reads "country.dat", "manufacturers.dat", the access numbers and "settings.dat".
    std::vector<double> fresh;
    for (int i = 0; i < runs && !status; ++i) {
        FreeLibrary(applet);
        appletProc = LoadAppletBeside(L"bench-apply", applet);
        UniqueHandle opening(appletProc ? CreateThread(nullptr, 0, OpenApplet, nullptr, 0, nullptr) : nullptr);
        HWND opened = opening ? WaitWindow(kCaption) : nullptr;
        DWORD_PTR answer = 0;
        double start = Now();
        if (!opened || !SendMessageTimeoutW(opened, PSM_APPLY, 0, 0, SMTO_NORMAL, 10000, &answer)) {
            fwprintf(stderr, L"bench-apply: the sheet did not open, or OK right after opening did not end within 10 s\n");
            status = 1;
        }
        fresh.push_back(Now() - start);
        if (opened)
            PostMessageW(opened, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        if (opening)
            WaitForSingleObject(opening.Get(), 10000);
    }
    if (!status) {  // the applet as it was, for the applies below
        FreeLibrary(applet);
        appletProc = LoadAppletBeside(L"bench-apply", applet);
        status = appletProc ? 0 : 1;
    }
    UniqueHandle thread(status ? nullptr : CreateThread(nullptr, 0, OpenApplet, nullptr, 0, nullptr));
    HWND sheet = thread ? WaitWindow(kCaption) : nullptr;
    std::vector<double> applied, direct, flushed;
    if (sheet) {
        // Card settings opened and one sequence confirmed: the card settings are loaded, as after an edit.
        DWORD_PTR shown = 0;
        SendMessageTimeoutW(sheet, PSM_SETCURSEL, 1, 0, SMTO_NORMAL, 10000, &shown);
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_INDEXTOHWND, 1, 0));
        PostMessageW(GetDlgItem(page, 1018), BM_CLICK, 0, 0);
        if (HWND editor = page ? WaitWindow(L"Dialog") : nullptr) {
            PostMessageW(editor, WM_COMMAND, IDOK, 0);
            for (double start = Now(); IsWindow(editor) && Now() - start < 10000;)
                Sleep(5);
        } else {
            fwprintf(stderr, L"bench-apply: the Card settings page or its sequence editor did not open\n");
            status = 1;
        }
        // What the apply writes must not be there before it.
        RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Kestrova\\Dialpass\\Defaults");
        DeleteFileW((dir + L"\\profiles.dat").c_str());
        DeleteFileW((dir + L"\\settings.dat").c_str());
        // One apply: its time in ms, or -1 when it did not end (said why).
        auto apply = [&]() {
            double start = Now();
            DWORD_PTR answer = 0;
            // A message box (a table that cannot be read) would hold the apply up: say so and stop.
            if (SendMessageTimeoutW(sheet, PSM_APPLY, 0, 0, SMTO_NORMAL, 10000, &answer))
                return Now() - start;
            HWND box = FindWindowW(L"#32770", L"Kestrova Dialpass");
            wchar_t text[512] = L"";
            if (box)
                GetDlgItemTextW(box, 0xFFFF, text, 512);
            fwprintf(stderr, L"bench-apply: the apply did not end within 10 s%ls%ls\n", box ? L": " : L"", text);
            if (box)
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            return -1.0;
        };
        double first = status ? -1 : apply();
        if (first < 0)
            status = 1;
        else
            applied.push_back(first);
        std::string profiles = ReadAll(dir + L"\\profiles.dat"), settings = ReadAll(dir + L"\\settings.dat");
        wchar_t name[32] = L"";
        DWORD size = sizeof(name);
        RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Kestrova\\Dialpass\\Defaults", L"Name", RRF_RT_REG_SZ, nullptr,
                     name, &size);
        if (!status && wcscmp(name, L"Profile 99") != 0) {
            fwprintf(stderr, L"bench-apply: the apply did not publish the profile (\"Name\" is \"%ls\"; profiles.dat %u bytes)\n", name, unsigned(profiles.size()));
            status = 1;
        }
        if (!status && (profiles.size() != 12 + 140 * kProfiles || settings.size() < 8 + 40 * kCardSettings)) {
            fwprintf(stderr, L"bench-apply: the apply wrote %u and %u bytes: not the whole stores\n",
                     unsigned(profiles.size()), unsigned(settings.size()));
            status = 1;
        }
        // Interleaved, so that whatever else the machine does meanwhile weighs on all three alike.
        for (int i = 1; i < runs && !status; ++i) {
            double took = apply();
            if (took < 0) {
                status = 1;
                break;
            }
            applied.push_back(took);
            double start = Now();
            DirectWrites(dir, profiles, settings, false);
            direct.push_back(Now() - start);
            start = Now();
            DirectWrites(dir, profiles, settings, true);
            flushed.push_back(Now() - start);
        }
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    } else if (!status) {
        fwprintf(stderr, L"bench-apply: the sheet did not show within 10 s\n");
        status = 1;
    }
    if (thread) {
        WaitForSingleObject(thread.Get(), 10000);
        thread.Close();
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    if (hadKey && RegOpenKeyExW(HKEY_CURRENT_USER, saved, 0, KEY_READ, &backup) == ERROR_SUCCESS) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCopyTreeW(backup, nullptr, key);
        RegCloseKey(key);
        RegCloseKey(backup);
        RegDeleteTreeW(HKEY_CURRENT_USER, saved);
    }
    RemoveTree(dir);
    if (status)
        return status;

    double first = applied.front();
    applied.erase(applied.begin());
    double a = Median(applied), d = Median(direct), f = Median(flushed);
    wprintf(L"OK on 65,535-byte country.dat and access-number file, %u profiles, %u card settings, %d runs\n",
            kProfiles, kCardSettings, runs);
    wprintf(L"  OK right after opening (no table loaded yet): median %7.2f ms, slowest %7.2f ms (goal: < 300 ms)\n",
            Median(fresh), *std::max_element(fresh.begin(), fresh.end()));
    wprintf(L"  first apply:  %7.2f ms\n", first);
    wprintf(L"  median apply: %7.2f ms   direct writes %7.2f ms   ratio %.2f (goal: < 50 ms)\n", a, d,
            a / d);
    wprintf(L"  direct writes with each file flushed, as the applet's saves are: %7.2f ms   ratio %.2f\n", f, a / f);
    return 0;
}
