// The line functions that location detection uses, gathered in one table so that the device's
// TAPI, the desktop's simulated modem and the tests' own fakes can stand behind the same code.
#pragma once
#include <windows.h>
#include <tapi.h>

// The cellular extension's current-operator record (extapi.h on the device; absent on the desktop).
#ifndef LINEOPERATOR_USEFIRSTAVAILABLEINDEX
#define MAX_LENGTH_OPERATOR_LONG    32
#define MAX_LENGTH_OPERATOR_SHORT   16
#define MAX_LENGTH_OPERATOR_NUMERIC 16
#define LINEOPFORMAT_NUMERIC        0x00000004
struct LINEOPERATOR {
    DWORD dwIndex;
    DWORD dwValidFields;
    DWORD dwStatus;
    WCHAR lpszLongName[MAX_LENGTH_OPERATOR_LONG];
    WCHAR lpszShortName[MAX_LENGTH_OPERATOR_SHORT];
    WCHAR lpszNumName[MAX_LENGTH_OPERATOR_NUMERIC];
};
#endif

struct LineFunctions {
    LONG (WINAPI* initializeEx)(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                                const wchar_t* appName, DWORD* deviceCount, DWORD* apiVersion,
                                LINEINITIALIZEEXPARAMS* params);
    LONG (WINAPI* negotiateApiVersion)(HLINEAPP lineApp, DWORD deviceId, DWORD low, DWORD high,
                                       DWORD* apiVersion, LINEEXTENSIONID* extensionId);
    LONG (WINAPI* getDevCaps)(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                              LINEDEVCAPS* caps);
    LONG (WINAPI* open)(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion, DWORD extVersion,
                        DWORD_PTR callbackInstance, DWORD privileges, DWORD mediaModes,
                        LINECALLPARAMS* callParams);
    LONG (WINAPI* negotiateExtVersion)(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD low,
                                       DWORD high, DWORD* extVersion);
    // lineGetCurrentOperator, ordinal 45 of the cellular library on the device.
    LONG (WINAPI* getCurrentOperator)(HLINE line, LINEOPERATOR* op);
    LONG (WINAPI* close)(HLINE line);
    LONG (WINAPI* shutdown)(HLINEAPP lineApp);
};

// The platform's table: on the desktop the simulated cellular modem (platform/cellmodem.h).
const LineFunctions& PlatformLineFunctions();
