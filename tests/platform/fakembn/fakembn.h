// A stand-in for Windows' Mobile Broadband service, for tests: an in-process COM server of the
// interface manager's class that answers what the test configured. The test registers it per user for
// that class, loads the same DLL and configures it through FakeMbnConfigure.
#pragma once
#include <windows.h>

#include "platform/mbninterfaces.h"

// The call that fails with E_FAIL, if any.
enum FakeMbnFailure { kFailNothing, kFailGetInterfaces, kFailRegisterState, kFailProviderId };

struct FakeMbnInterface {
    MBN_REGISTER_STATE state;
    MBN_RADIO software;         // the radio as Windows' switch sets it
    MBN_RADIO hardware;         // the radio as the device's own switch sets it
    wchar_t providerId[8];
};

struct FakeMbnNetwork {
    int interfaceCount;         // at most 2
    FakeMbnInterface interfaces[2];
    FakeMbnFailure failing;
    DWORD answerDelay;          // ms GetInterfaces takes: a slow service
};

extern "C" void WINAPI FakeMbnConfigure(const FakeMbnNetwork* network);
extern "C" LONG WINAPI FakeMbnLiveObjects();  // objects of the server not yet released
