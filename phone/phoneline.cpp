#include "phone/phoneline.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

const DWORD kTapi20 = 0x00020000;
const DWORD kTapi14 = 0x00010004;
const DWORD kLowestExtension = 0x00010000;
const DWORD kHighestExtension = 0x00020000;
const wchar_t kCellularLineName[] = L"Cellular Line";

}  // namespace

CPhoneLine::CPhoneLine(const LineFunctions& functions) : api(functions) {}

CPhoneLine::~CPhoneLine()
{
    Close();
}

int CPhoneLine::Open()
{
    apiVersion = kTapi20;
    LINEINITIALIZEEXPARAMS params;
    memset(&params, 0, sizeof(params));
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    lineApp = 0;
    if (api.initializeEx(&lineApp, nullptr, nullptr, L"Kestrova Line", &deviceCount, &apiVersion, &params) != 0) {
        lineApp = 0;
        return 0;
    }

    // Every device is looked at, so of several cellular lines the last one wins.
    DWORD found = 0xFFFFFFFF;
    for (DWORD id = 0; id < deviceCount; ++id) {
        LINEEXTENSIONID extensionId;
        if (api.negotiateApiVersion(lineApp, id, kTapi14, kTapi20, &apiVersion, &extensionId) != 0)
            continue;
        if (IsCellularLine(id))
            found = id;
    }
    deviceId = found;

    if (deviceId == 0xFFFFFFFF) {
        api.shutdown(lineApp);
        lineApp = 0;
        return 0;
    }
    if (api.open(lineApp, deviceId, &line, apiVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                 LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) != 0) {
        line = 0;
        api.shutdown(lineApp);
        lineApp = 0;
        return 0;
    }
    if (api.negotiateExtVersion(lineApp, deviceId, apiVersion, kLowestExtension, kHighestExtension, &extVersion) != 0) {
        api.close(line);
        line = 0;
        api.shutdown(lineApp);
        lineApp = 0;
        return 0;
    }
    return 1;
}

bool CPhoneLine::IsCellularLine(DWORD id)
{
    LINEDEVCAPS probe;  // 292 bytes: the fixed part, to learn the size the whole record needs
    memset(&probe, 0, sizeof(probe));
    probe.dwTotalSize = sizeof(probe);
    if (api.getDevCaps(lineApp, id, apiVersion, 0, &probe) != 0)
        return false;

    // Never less than the fixed part, whatever a driver reports as needed.
    DWORD size = probe.dwNeededSize > sizeof(LINEDEVCAPS) ? probe.dwNeededSize : sizeof(LINEDEVCAPS);
    BYTE* buffer = static_cast<BYTE*>(calloc(1, size));
    if (!buffer)
        return false;
    LINEDEVCAPS* caps = reinterpret_cast<LINEDEVCAPS*>(buffer);
    caps->dwTotalSize = size;
    bool match = false;
    if (api.getDevCaps(lineApp, id, apiVersion, 0, caps) == 0) {
        DWORD offset = caps->dwLineNameOffset;
        DWORD bytes = caps->dwLineNameSize;
        if (offset >= sizeof(LINEDEVCAPS) && offset <= size && bytes <= size - offset) {
            const wchar_t* name = reinterpret_cast<const wchar_t*>(buffer + offset);
            size_t length = bytes / sizeof(wchar_t);
            if (length && !name[length - 1])
                --length;  // the stored size counts the terminator
            size_t wanted = wcslen(kCellularLineName);
            match = length == wanted && wmemcmp(name, kCellularLineName, wanted) == 0;
        }
    }
    free(buffer);
    return match;
}

long CPhoneLine::GetOperatorCode()
{
    LINEOPERATOR op;
    memset(&op, 0, sizeof(op));
    if (api.getCurrentOperator(line, &op) != 0)
        return 0;
    op.lpszNumName[MAX_LENGTH_OPERATOR_NUMERIC - 1] = 0;
    return wcstol(op.lpszNumName, nullptr, 10);
}

int CPhoneLine::Close()
{
    if (line) {
        api.close(line);
        line = 0;
    }
    if (lineApp) {
        api.shutdown(lineApp);
        lineApp = 0;
    }
    isOpen = 0;  // a later DetectLocation opens a new session instead of querying a closed line
    return 1;
}

int CPhoneLine::DetectLocation(OperatorTable& operators)
{
    if (!isOpen) {
        isOpen = Open();
        if (!isOpen)
            return 0;
    }
    long code = GetOperatorCode();
    if (!code)
        return 0;
    return FindNetworkCountryCode(operators, int32_t(code));
}

int DetectCurrentLocation()
{
    return DetectCurrentLocation(PlatformLineFunctions());
}

int DetectCurrentLocation(const LineFunctions& functions)
{
    LoadOperatorTable();
    // The line lives for this one query: no session stays open between detections.
    CPhoneLine line(functions);
    return line.DetectLocation(operatorTable);
}
