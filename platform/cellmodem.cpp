#include "platform/cellmodem.h"

#include <cstring>

const wchar_t kCellularSimulatorKey[] = L"Software\\Kestrova\\CellularSimulator";
const wchar_t kCellularSimulatorOperator[] = L"Operator";

const wchar_t* const kSimulatedLineNames[] = {L"Data Modem", L"Cellular Line"};
const DWORD kSimulatedLineCount = sizeof(kSimulatedLineNames) / sizeof(kSimulatedLineNames[0]);

namespace {

const DWORD kLowestApi = 0x00010004;
const DWORD kHighestApi = 0x00020000;
const DWORD kExtensionVersion = 0x00010000;
const int kMaxHandles = 8;

// Handles the simulated phone has handed out and not yet taken back; 0 marks a free place.
struct HandleSet {
    DWORD handles[kMaxHandles] = {};

    bool Add(DWORD handle)
    {
        for (DWORD& h : handles)
            if (!h) {
                h = handle;
                return true;
            }
        return false;
    }
    bool Holds(DWORD handle) const
    {
        if (!handle)
            return false;
        for (DWORD h : handles)
            if (h == handle)
                return true;
        return false;
    }
    bool Remove(DWORD handle)
    {
        for (DWORD& h : handles)
            if (handle && h == handle) {
                h = 0;
                return true;
            }
        return false;
    }
};

HandleSet sessions;
HandleSet lines;
DWORD lastHandle = 0x4B00;

DWORD NewHandle()
{
    return ++lastHandle;
}

LONG WINAPI InitializeEx(HLINEAPP* lineApp, HINSTANCE, LINECALLBACK, const wchar_t*, DWORD* deviceCount,
                         DWORD* apiVersion, LINEINITIALIZEEXPARAMS* params)
{
    if (!lineApp || !deviceCount || !apiVersion || !params)
        return LINEERR_INVALPOINTER;
    if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS))
        return LINEERR_STRUCTURETOOSMALL;
    if (*apiVersion < kLowestApi)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    DWORD handle = NewHandle();
    if (!sessions.Add(handle))
        return LINEERR_NOMEM;
    *lineApp = handle;
    *deviceCount = kSimulatedLineCount;
    if (*apiVersion > kHighestApi)
        *apiVersion = kHighestApi;
    params->dwNeededSize = params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    return 0;
}

LONG WINAPI NegotiateApiVersion(HLINEAPP lineApp, DWORD deviceId, DWORD low, DWORD high, DWORD* apiVersion,
                                LINEEXTENSIONID* extensionId)
{
    if (!sessions.Holds(lineApp))
        return LINEERR_INVALAPPHANDLE;
    if (deviceId >= kSimulatedLineCount)
        return LINEERR_BADDEVICEID;
    if (low > kHighestApi || high < kLowestApi || low > high)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!apiVersion || !extensionId)
        return LINEERR_INVALPOINTER;
    *apiVersion = high < kHighestApi ? high : kHighestApi;
    memset(extensionId, 0, sizeof(*extensionId));
    return 0;
}

LONG WINAPI GetDevCaps(HLINEAPP lineApp, DWORD deviceId, DWORD, DWORD, LINEDEVCAPS* caps)
{
    if (!sessions.Holds(lineApp))
        return LINEERR_INVALAPPHANDLE;
    if (deviceId >= kSimulatedLineCount)
        return LINEERR_BADDEVICEID;
    if (!caps)
        return LINEERR_INVALPOINTER;
    DWORD total = caps->dwTotalSize;
    if (total < sizeof(LINEDEVCAPS))
        return LINEERR_STRUCTURETOOSMALL;
    const wchar_t* name = kSimulatedLineNames[deviceId];
    DWORD nameBytes = DWORD((wcslen(name) + 1) * sizeof(wchar_t));
    memset(reinterpret_cast<BYTE*>(caps) + sizeof(DWORD), 0, sizeof(LINEDEVCAPS) - sizeof(DWORD));
    caps->dwNeededSize = sizeof(LINEDEVCAPS) + nameBytes;
    caps->dwUsedSize = sizeof(LINEDEVCAPS);
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwNumAddresses = 1;
    caps->dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    if (total >= caps->dwNeededSize) {
        caps->dwLineNameOffset = sizeof(LINEDEVCAPS);
        caps->dwLineNameSize = nameBytes;
        memcpy(reinterpret_cast<BYTE*>(caps) + sizeof(LINEDEVCAPS), name, nameBytes);
        caps->dwUsedSize = caps->dwNeededSize;
    }
    return 0;
}

LONG WINAPI Open(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion, DWORD, DWORD_PTR, DWORD,
                 DWORD, LINECALLPARAMS*)
{
    if (!sessions.Holds(lineApp))
        return LINEERR_INVALAPPHANDLE;
    if (deviceId >= kSimulatedLineCount)
        return LINEERR_BADDEVICEID;
    if (apiVersion < kLowestApi || apiVersion > kHighestApi)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!line)
        return LINEERR_INVALPOINTER;
    DWORD handle = NewHandle();
    if (!lines.Add(handle))
        return LINEERR_RESOURCEUNAVAIL;
    *line = handle;
    return 0;
}

LONG WINAPI NegotiateExtVersion(HLINEAPP lineApp, DWORD deviceId, DWORD, DWORD low, DWORD high, DWORD* extVersion)
{
    if (!sessions.Holds(lineApp))
        return LINEERR_INVALAPPHANDLE;
    if (deviceId >= kSimulatedLineCount)
        return LINEERR_BADDEVICEID;
    // Only the cellular line carries the extension.
    if (wcscmp(kSimulatedLineNames[deviceId], L"Cellular Line") != 0)
        return LINEERR_NODEVICE;
    if (low > kExtensionVersion || high < kExtensionVersion)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    if (!extVersion)
        return LINEERR_INVALPOINTER;
    *extVersion = kExtensionVersion;
    return 0;
}

// The registered network is read at every query, so a changed setting applies at the next detection.
LONG WINAPI GetCurrentOperator(HLINE line, LINEOPERATOR* op)
{
    if (!lines.Holds(line))
        return LINEERR_INVALLINEHANDLE;
    if (!op)
        return LINEERR_INVALPOINTER;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kCellularSimulatorKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return LINEERR_OPERATIONFAILED;
    wchar_t name[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(name) - sizeof(wchar_t);
    LONG error = RegQueryValueExW(key, kCellularSimulatorOperator, nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_SZ)
        return LINEERR_OPERATIONFAILED;
    memset(op, 0, sizeof(*op));
    op->dwValidFields = LINEOPFORMAT_NUMERIC;
    lstrcpynW(op->lpszNumName, name, MAX_LENGTH_OPERATOR_NUMERIC);
    return 0;
}

LONG WINAPI Close(HLINE line)
{
    return lines.Remove(line) ? 0 : LINEERR_INVALLINEHANDLE;
}

LONG WINAPI Shutdown(HLINEAPP lineApp)
{
    return sessions.Remove(lineApp) ? 0 : LINEERR_INVALAPPHANDLE;
}

const LineFunctions simulatedModem = {
    InitializeEx, NegotiateApiVersion, GetDevCaps, Open, NegotiateExtVersion, GetCurrentOperator, Close, Shutdown,
};

}  // namespace

const LineFunctions& SimulatedModemFunctions()
{
    return simulatedModem;
}

// The desktop has no cellular radio: detection always talks to the simulated one.
const LineFunctions& PlatformLineFunctions()
{
    return simulatedModem;
}
