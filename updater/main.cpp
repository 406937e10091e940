// Update.exe: brings the card database in the installation folder up to date from the update site.
//   Update.exe BASE-URL "DIR" update.xml "DIR" "\Temp\Dialpass" "DIR\update.log"
// Exit codes: 0 a new database was installed, 1 nothing new, 2 failure (see the log).
#include <windows.h>
#include <objbase.h>

#include <iterator>

#include "updater/update.h"
#include "update_public_key.h"

int wmain(int, wchar_t**)
{
    // The C runtime's arguments are wrong for "DIR\" (it reads \" as a quote): split the line here.
    std::vector<std::wstring> arguments = SplitCommandLine(GetCommandLineW());
    UpdateArguments parsed;
    std::wstring error = ParseArguments(arguments, parsed);
    UpdateLog log(parsed.logPath);
    if (!error.empty()) {
        log.Line(L"FAILED: bad command line: " + error);
        log.Line(L"Usage: Update.exe BASE-URL \"DIR\" update.xml \"DIR\" \"\\Temp\\Dialpass\" \"DIR\\update.log\"");
        return kUpdateFailed;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        log.Line(L"FAILED: COM cannot be initialised");
        return kUpdateFailed;
    }
    std::vector<PublicKey> keys(std::begin(kUpdatePublicKeys), std::end(kUpdatePublicKeys));
    UpdateLimits limits;
    limits.memoryBytes = kUpdateMemoryBytes;
    // For tests: a shorter bound on each request, so that a stalled site is given up on sooner.
    wchar_t seconds[16] = {};
    if (GetEnvironmentVariableW(L"DIALPASS_TEST_REQUEST_SECONDS", seconds, 16) && _wtoi(seconds) > 0)
        limits.timeouts.request = _wtoi(seconds) * 1000;
    UpdateResult result = RunUpdate(parsed, keys, log, limits);
    CoUninitialize();
    return result;
}
