// What the installer tests need from inside the Wine prefix, printed as "name=value" lines:
//   installdriver run PROGRAM [ARGS...]  prints its whole exit code ("exit=N"; Linux sees only 8 bits of it)
//   installdriver applet [NEW-PROFILE]   opens the applet that the Control Panel's "Cpls" key names as Control
//       Panel does, reads General (after creating NEW-PROFILE) and Card settings, answers its message boxes
//       and presses OK
// Exit code 0 when it could do all of that, 1 when not (what failed is printed), 2 for usage.
#include <windows.h>
#include <cpl.h>

#include <cstdio>
#include <cwchar>

#include "resources/resource.h"
#include "tests/support/windowfind.h"

namespace {
const wchar_t kCplsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls";
const DWORD kWait = 15000;  // ms for a window of a freshly installed applet to come

using AppletProc = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);
AppletProc applet;
std::vector<std::wstring> messages;  // the texts of the applet's message boxes, answered with OK

int Fail(const wchar_t* what)
{
    wprintf(L"failed=%ls\n", what);
    return 1;
}

// items joined with separator.
std::wstring Joined(const std::vector<std::wstring>& items, const wchar_t* separator)
{
    std::wstring joined;
    for (const std::wstring& item : items)
        joined += (joined.empty() ? L"" : separator) + item;
    return joined;
}

int Applet(const wchar_t* newProfile)
{
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_CURRENT_USER, kCplsKey, kMessageCaption, RRF_RT_REG_SZ, nullptr, path, &size))
        return Fail(L"no Cpls value");
    wprintf(L"cpls=%ls\n", path);
    HMODULE library = LoadLibraryW(path);
    applet = library ? reinterpret_cast<AppletProc>(reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")))
                     : nullptr;
    if (!applet)
        return Fail(L"the registered applet does not load");
    HWND host = GetDesktopWindow();
    applet(host, CPL_INIT, 0, 0);
    wprintf(L"count=%ld\n", applet(host, CPL_GETCOUNT, 0, 0));
    NEWCPLINFOW newInfo = {};
    applet(host, CPL_NEWINQUIRE, 0, LPARAM(&newInfo));
    wprintf(L"newinquire=%ls\nicon=%d\n", newInfo.szName, newInfo.hIcon != nullptr);

    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        return DWORD(applet(GetDesktopWindow(), CPL_DBLCLK, 0, 0));
    }, nullptr, 0, nullptr);
    HWND sheet = WaitForWindow(L"#32770", kSheetCaption, kWait);
    if (!sheet)
        return Fail(L"the sheet did not open");
    HWND general = ShowSheetPage(sheet, 0, messages, kWait);
    if (newProfile) {  // General's "New": a name (all that OK needs), then OK
        PostMessageW(GetDlgItem(general, IDC_NEW_PROFILE), BM_CLICK, 0, 0);
        HWND dialog = general ? WaitForWindow(L"#32770", L"Dialpass profile", kWait) : nullptr;
        SetDlgItemTextW(dialog, IDC_PROFILE_NAME, newProfile);
        wprintf(L"profile_providers=%ls\n", Joined(ComboEntries(GetDlgItem(dialog, IDC_PROFILE_PROVIDER)), L",").c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        if (!dialog || !WaitUntil([&] { AnswerAppletMessages(messages); return !IsWindow(dialog); }, 10000))
            return Fail(L"the profile was not created");
    }
    wprintf(L"profiles=%ls\n", Joined(ComboEntries(GetDlgItem(general, IDC_PROFILES)), L",").c_str());
    HWND card = ShowSheetPage(sheet, 1, messages, kWait);
    if (!card)
        return Fail(L"Card settings did not show");
    wprintf(L"locations=%ld\n", long(SendMessageW(GetDlgItem(card, IDC_LOCATIONS), CB_GETCOUNT, 0, 0)));
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    if (!WaitUntil([&] { AnswerAppletMessages(messages); return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 20000))
        return Fail(L"the sheet did not close on OK");
    wprintf(L"messages=%d\nmessage_texts=%ls\n", int(messages.size()), Joined(messages, L" | ").c_str());
    applet(host, CPL_STOP, 0, 0);
    applet(host, CPL_EXIT, 0, 0);
    return 0;
}

int Run(int argc, wchar_t** argv)
{
    std::wstring commandLine;
    for (int i = 2; i < argc; ++i)
        commandLine += std::wstring(i > 2 ? L" " : L"") + L"\"" + argv[i] + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail(L"the program did not start");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    wprintf(L"exit=%lu\n", code);
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    int result = 2;
    if (argc > 2 && !wcscmp(argv[1], L"run"))
        result = Run(argc, argv);
    else if (argc > 1 && !wcscmp(argv[1], L"applet"))
        result = Applet(argc > 2 ? argv[2] : nullptr);
    fflush(stdout);
    return result;
}
