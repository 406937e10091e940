// Desktop stand-ins for the phone's TAPI cellular line: Wine's tapi32 is a stub and the desktop has no
// cellular extension. Two radios stand behind the same line functions: the simulated modem, whose
// operator comes from the registry (see README.md), and a mobile broadband modem of the computer,
// asked through Windows' Mobile Broadband service.
#pragma once
#include <windows.h>

#include "phone/linefunctions.h"

// HKEY_CURRENT_USER key and value of the simulator: "Operator" (REG_SZ) is the numeric name
// (MCC and MNC) of the network the phone is registered with. While the value exists detection talks
// to the simulated modem; without it, to the mobile broadband one.
extern const wchar_t kCellularSimulatorKey[];
extern const wchar_t kCellularSimulatorOperator[];

// Line device names the simulated phone offers, by device id.
extern const wchar_t* const kSimulatedLineNames[];
extern const DWORD kSimulatedLineCount;

// The TAPI line functions and the current-operator query of the simulated phone.
const LineFunctions& SimulatedModemFunctions();
// The same over the Mobile Broadband service: one "Cellular Line" while a mobile broadband interface
// exists, whose operator is the network that interface is registered in (home or roaming).
const LineFunctions& MobileBroadbandFunctions();
