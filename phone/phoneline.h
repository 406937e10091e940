// One TAPI session on the phone's cellular line, for one detection of the registered network.
#pragma once
#include <windows.h>
#include <tapi.h>

#include "data/records.h"
#include "phone/linefunctions.h"

class CPhoneLine {
public:
    explicit CPhoneLine(const LineFunctions& functions = PlatformLineFunctions());
    ~CPhoneLine();
    CPhoneLine(const CPhoneLine&) = delete;
    CPhoneLine& operator=(const CPhoneLine&) = delete;

    // 1 when the cellular line is open and its extension negotiated, else 0 with everything released.
    int Open();
    // Numeric code (MCC and MNC) of the current network operator, or 0.
    long GetOperatorCode();
    // Country code of the current operator from a table of OperatorRecords, or 0.
    int DetectLocation(OperatorTable& operators);
    // Releases the line and the session, each at most once; returns 1.
    int Close();

    DWORD deviceCount = 0;
    DWORD apiVersion = 0;
    HLINEAPP lineApp = 0;
    HLINE line = 0;
    DWORD extVersion = 0;
    DWORD deviceId = 0xFFFFFFFF;
    int isOpen = 0;

private:
    bool IsCellularLine(DWORD id);

    const LineFunctions& api;
};

// Country code of the network the phone is registered in, or 0 when it cannot be told.
// Loads the applet-wide operator table from "providers.dat" on first use (CTableException on failure).
int DetectCurrentLocation();
int DetectCurrentLocation(const LineFunctions& functions);
