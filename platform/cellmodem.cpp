#include "platform/cellmodem.h"

#include <cstring>

#include "platform/mobilebroadband.h"

const wchar_t kCellularSimulatorKey[] = L"Software\\Kestrova\\CellularSimulator";
const wchar_t kCellularSimulatorOperator[] = L"Operator";

const wchar_t* const kSimulatedLineNames[] = {L"Data Modem", L"Cellular Line"};
const DWORD kSimulatedLineCount = sizeof(kSimulatedLineNames) / sizeof(kSimulatedLineNames[0]);

namespace {

const DWORD kLowestApi = 0x00010004;
const DWORD kHighestApi = 0x00020000;
const DWORD kExtensionVersion = 0x00010000;
const int kMaxHandles = 8;

// Where a session's line devices and their network come from.
struct Radio {
    // The line device names offered now, by device id; how many there are.
    DWORD (*lines)(const wchar_t* const** names);
    // The registered network's numeric name (capacity characters at most); false: no network.
    bool (*currentOperator)(wchar_t* numeric, DWORD capacity);
};

// A session or a line handed out and not yet taken back, with the radio behind it; id 0: a free place.
struct Handle {
    DWORD id = 0;
    const Radio* radio = nullptr;
    const wchar_t* const* names = nullptr;
    DWORD lineCount = 0;
};

struct HandleSet {
    Handle handles[kMaxHandles];

    bool Add(const Handle& handle)
    {
        for (Handle& h : handles)
            if (!h.id) {
                h = handle;
                return true;
            }
        return false;
    }
    const Handle* Find(DWORD id) const
    {
        for (const Handle& h : handles)
            if (id && h.id == id)
                return &h;
        return nullptr;
    }
    bool Remove(DWORD id)
    {
        for (Handle& h : handles)
            if (id && h.id == id) {
                h = Handle();
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

// The line devices are asked for once per session, as TAPI counts them once at initialisation.
LONG Initialize(const Radio& radio, HLINEAPP* lineApp, DWORD* deviceCount, DWORD* apiVersion,
                LINEINITIALIZEEXPARAMS* params)
{
    if (!lineApp || !deviceCount || !apiVersion || !params)
        return LINEERR_INVALPOINTER;
    if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS))
        return LINEERR_STRUCTURETOOSMALL;
    if (*apiVersion < kLowestApi)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    Handle session;
    session.id = NewHandle();
    session.radio = &radio;
    session.lineCount = radio.lines(&session.names);
    if (!sessions.Add(session))
        return LINEERR_NOMEM;
    *lineApp = session.id;
    *deviceCount = session.lineCount;
    if (*apiVersion > kHighestApi)
        *apiVersion = kHighestApi;
    params->dwNeededSize = params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    return 0;
}

// The session's device deviceId, or the error that refuses it.
LONG FindDevice(HLINEAPP lineApp, DWORD deviceId, const Handle*& session)
{
    session = sessions.Find(lineApp);
    if (!session)
        return LINEERR_INVALAPPHANDLE;
    return deviceId < session->lineCount ? 0 : LINEERR_BADDEVICEID;
}

LONG WINAPI NegotiateApiVersion(HLINEAPP lineApp, DWORD deviceId, DWORD low, DWORD high, DWORD* apiVersion,
                                LINEEXTENSIONID* extensionId)
{
    const Handle* session;
    if (LONG error = FindDevice(lineApp, deviceId, session))
        return error;
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
    const Handle* session;
    if (LONG error = FindDevice(lineApp, deviceId, session))
        return error;
    if (!caps)
        return LINEERR_INVALPOINTER;
    DWORD total = caps->dwTotalSize;
    if (total < sizeof(LINEDEVCAPS))
        return LINEERR_STRUCTURETOOSMALL;
    const wchar_t* name = session->names[deviceId];
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
    const Handle* session;
    if (LONG error = FindDevice(lineApp, deviceId, session))
        return error;
    if (apiVersion < kLowestApi || apiVersion > kHighestApi)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!line)
        return LINEERR_INVALPOINTER;
    Handle opened;
    opened.id = NewHandle();
    opened.radio = session->radio;
    if (!lines.Add(opened))
        return LINEERR_RESOURCEUNAVAIL;
    *line = opened.id;
    return 0;
}

LONG WINAPI NegotiateExtVersion(HLINEAPP lineApp, DWORD deviceId, DWORD, DWORD low, DWORD high, DWORD* extVersion)
{
    const Handle* session;
    if (LONG error = FindDevice(lineApp, deviceId, session))
        return error;
    // Only the cellular line carries the extension.
    if (wcscmp(session->names[deviceId], L"Cellular Line") != 0)
        return LINEERR_NODEVICE;
    if (low > kExtensionVersion || high < kExtensionVersion)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    if (!extVersion)
        return LINEERR_INVALPOINTER;
    *extVersion = kExtensionVersion;
    return 0;
}

// The registered network is asked for at every query, so a change applies at the next detection.
LONG WINAPI GetCurrentOperator(HLINE line, LINEOPERATOR* op)
{
    const Handle* opened = lines.Find(line);
    if (!opened)
        return LINEERR_INVALLINEHANDLE;
    if (!op)
        return LINEERR_INVALPOINTER;
    wchar_t name[MAX_LENGTH_OPERATOR_NUMERIC] = {};
    if (!opened->radio->currentOperator(name, MAX_LENGTH_OPERATOR_NUMERIC))
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

DWORD SimulatedLines(const wchar_t* const** names)
{
    *names = kSimulatedLineNames;
    return kSimulatedLineCount;
}

bool SimulatedOperator(wchar_t* numeric, DWORD capacity)
{
    DWORD size = capacity * sizeof(wchar_t);
    return RegGetValueW(HKEY_CURRENT_USER, kCellularSimulatorKey, kCellularSimulatorOperator, RRF_RT_REG_SZ, nullptr,
                        numeric, &size) == ERROR_SUCCESS;
}

const wchar_t* const kBroadbandLineNames[] = {L"Cellular Line"};

DWORD BroadbandLines(const wchar_t* const** names)
{
    *names = kBroadbandLineNames;
    BroadbandNetwork network;
    return QueryBroadbandNetwork(network) && network.interfaces ? 1 : 0;
}

bool BroadbandOperator(wchar_t* numeric, DWORD capacity)
{
    BroadbandNetwork network;
    if (!QueryBroadbandNetwork(network) || !network.providerId[0])
        return false;
    lstrcpynW(numeric, network.providerId, int(capacity));
    return true;
}

const Radio simulatedRadio = {SimulatedLines, SimulatedOperator};
const Radio broadbandRadio = {BroadbandLines, BroadbandOperator};

LONG WINAPI SimulatedInitializeEx(HLINEAPP* lineApp, HINSTANCE, LINECALLBACK, const wchar_t*, DWORD* deviceCount,
                                  DWORD* apiVersion, LINEINITIALIZEEXPARAMS* params)
{
    return Initialize(simulatedRadio, lineApp, deviceCount, apiVersion, params);
}

LONG WINAPI BroadbandInitializeEx(HLINEAPP* lineApp, HINSTANCE, LINECALLBACK, const wchar_t*, DWORD* deviceCount,
                                  DWORD* apiVersion, LINEINITIALIZEEXPARAMS* params)
{
    return Initialize(broadbandRadio, lineApp, deviceCount, apiVersion, params);
}

const LineFunctions simulatedModem = {
    SimulatedInitializeEx, NegotiateApiVersion, GetDevCaps, Open, NegotiateExtVersion, GetCurrentOperator, Close, Shutdown,
};
const LineFunctions broadbandModem = {
    BroadbandInitializeEx, NegotiateApiVersion, GetDevCaps, Open, NegotiateExtVersion, GetCurrentOperator, Close, Shutdown,
};

}  // namespace

const LineFunctions& SimulatedModemFunctions()
{
    return simulatedModem;
}

const LineFunctions& MobileBroadbandFunctions()
{
    return broadbandModem;
}

// The simulator's value, while it exists, keeps tests and demonstrations on the simulated network.
const LineFunctions& PlatformLineFunctions()
{
    bool simulated = RegGetValueW(HKEY_CURRENT_USER, kCellularSimulatorKey, kCellularSimulatorOperator, RRF_RT_ANY,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    return simulated ? simulatedModem : broadbandModem;
}
