// The network a mobile broadband modem of the computer is registered in, as Windows' Mobile Broadband
// service reports it through its COM interfaces (platform/mbninterfaces.h).
#pragma once
#include <windows.h>

struct BroadbandNetwork {
    DWORD interfaces = 0;        // mobile broadband interfaces present
    wchar_t providerId[16] = {};  // numeric name of the network the first registered one is in; empty: none
};

// How long the caller waits for the service: longer than a working one needs, short enough to pass
// unnoticed in a tap on "Detect".
const DWORD kBroadbandDeadline = 1000;  // ms

// Asks the service on a thread of its own (its own multithreaded apartment, so the caller's apartment
// is left alone) and waits at most kBroadbandDeadline. False when the service or its class is missing,
// a call failed, the deadline passed, or an earlier query that outlived its deadline is still running
// (in-process calls cannot be cancelled: such a thread ends only when the server answers).
bool QueryBroadbandNetwork(BroadbandNetwork& network);
