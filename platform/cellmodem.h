// Desktop stand-in for the phone's cellular radio and its TAPI line: Wine's tapi32 is a stub and
// the desktop has no cellular extension. The operator comes from the registry (see README.md).
#pragma once
#include <windows.h>

#include "phone/linefunctions.h"

// HKEY_CURRENT_USER key and value of the simulator: "Operator" (REG_SZ) is the numeric name
// (MCC and MNC) of the network the phone is registered with; no value means no network.
extern const wchar_t kCellularSimulatorKey[];
extern const wchar_t kCellularSimulatorOperator[];

// Line device names the simulated phone offers, by device id.
extern const wchar_t* const kSimulatedLineNames[];
extern const DWORD kSimulatedLineCount;

// The TAPI line functions and the current-operator query of the simulated phone.
const LineFunctions& SimulatedModemFunctions();
