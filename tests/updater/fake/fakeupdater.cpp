// Stands in for Update.exe in the Update page's tests. Writes its command line (UTF-16) to
// commandline.txt beside itself, then does what DIALPASS_FAKE_UPDATER says: "exit N" ends with N,
// "wait" waits to be terminated (60 s at most, then ends with 0).
#include <windows.h>

#include <cstdlib>
#include <string>

int wmain()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], MAX_PATH));
    path.replace(path.find_last_of(L'\\') + 1, std::wstring::npos, L"commandline.txt");
    const wchar_t* line = GetCommandLineW();
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    WriteFile(out, line, DWORD(lstrlenW(line) * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(out);

    char order[32] = "";
    GetEnvironmentVariableA("DIALPASS_FAKE_UPDATER", order, sizeof(order));
    if (std::string(order) == "wait")
        Sleep(60000);
    return atoi(order + 5);  // after "exit "; 0 after "wait"
}
