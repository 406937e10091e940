// The few Mobile Broadband COM interfaces that location detection calls (mingw-w64 ships no mbnapi.h).
// Written from Microsoft's reference pages for mbnapi.h (learn.microsoft.com/windows/win32/api/mbnapi/)
// and checked, GUID by GUID and slot by slot, against the Windows SDK's MIDL-generated mbnapi.h as
// Microsoft publishes it in microsoft/win32metadata (generation/WinSDK/RecompiledIdlHeaders/um/mbnapi.h).
// Methods stand in vtable order and every one is declared, called or not: a slot out of place calls
// another method on Windows.
#pragma once
#include <windows.h>
#include <oaidl.h>

// MBN_REGISTER_STATE (uuid DCBBBAB6-6009-4BBB-AAEE-338E368AF6FA): 0 none, 1 deregistered, 2 searching,
// 3 home, 4 roaming, 5 partner, 6 denied.
enum MBN_REGISTER_STATE {
    MBN_REGISTER_STATE_NONE = 0,
    MBN_REGISTER_STATE_DEREGISTERED,
    MBN_REGISTER_STATE_SEARCHING,
    MBN_REGISTER_STATE_HOME,
    MBN_REGISTER_STATE_ROAMING,
    MBN_REGISTER_STATE_PARTNER,
    MBN_REGISTER_STATE_DENIED,
};
// MBN_RADIO (uuid 532A3FE4-BDE6-11DC-A8A8-001321F1405F).
enum MBN_RADIO { MBN_RADIO_OFF = 0, MBN_RADIO_ON = 1 };
// Types of methods declared but never called: only their slots matter here.
typedef int MBN_READY_STATE;
typedef int MBN_REGISTER_MODE;
struct MBN_INTERFACE_CAPS;
struct MBN_PROVIDER;

// class MbnInterfaceManager, BDFEE05B-4418-11DD-90ED-001C257CCFF1.
const CLSID CLSID_MbnInterfaceManager = {0xBDFEE05B, 0x4418, 0x11DD, {0x90, 0xED, 0x00, 0x1C, 0x25, 0x7C, 0xCF, 0xF1}};
const IID IID_IMbnInterfaceManager = {0xDCBBBAB6, 0x201B, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
const IID IID_IMbnInterface = {0xDCBBBAB6, 0x2001, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
const IID IID_IMbnRegistration = {0xDCBBBAB6, 0x2009, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};
const IID IID_IMbnRadio = {0xDCCCCAB6, 0x201F, 0x4BBB, {0xAA, 0xEE, 0x33, 0x8E, 0x36, 0x8A, 0xF6, 0xFA}};

// IMbnInterface, DCBBBAB6-2001-4BBB-AAEE-338E368AF6FA. IMbnRegistration and IMbnRadio are had from it
// with QueryInterface.
struct IMbnInterface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* interfaceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceCapability(MBN_INTERFACE_CAPS* caps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSubscriberInformation(IUnknown** subscriberInformation) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReadyState(MBN_READY_STATE* readyState) = 0;
    virtual HRESULT STDMETHODCALLTYPE InEmergencyMode(VARIANT_BOOL* emergencyMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHomeProvider(MBN_PROVIDER* homeProvider) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreferredProviders(SAFEARRAY** preferredProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreferredProviders(SAFEARRAY* preferredProviders, ULONG* requestId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleProviders(ULONG* age, SAFEARRAY** visibleProviders) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScanNetwork(ULONG* requestId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnection(IUnknown** connection) = 0;
};

// IMbnInterfaceManager, DCBBBAB6-201B-4BBB-AAEE-338E368AF6FA: GetInterfaces answers a SAFEARRAY of
// IMbnInterface pointers that the caller destroys.
struct IMbnInterfaceManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR interfaceId, IMbnInterface** mbnInterface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** mbnInterfaces) = 0;
};

// IMbnRegistration, DCBBBAB6-2009-4BBB-AAEE-338E368AF6FA. GetProviderID: the registered network's
// numeric name (mobile country code and network code, at most 6 characters), freed with SysFreeString.
struct IMbnRegistration : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRegisterState(MBN_REGISTER_STATE* registerState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRegisterMode(MBN_REGISTER_MODE* registerMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProviderID(BSTR* providerId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProviderName(BSTR* providerName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRoamingText(BSTR* roamingText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAvailableDataClasses(ULONG* availableDataClasses) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentDataClass(ULONG* currentDataClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRegistrationNetworkError(ULONG* registrationNetworkError) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPacketAttachNetworkError(ULONG* packetAttachNetworkError) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRegisterMode(MBN_REGISTER_MODE registerMode, LPCWSTR providerId,
                                                      ULONG dataClass, ULONG* requestId) = 0;
};

// IMbnRadio, DCCCCAB6-201F-4BBB-AAEE-338E368AF6FA.
struct IMbnRadio : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_SoftwareRadioState(MBN_RADIO* softwareRadioState) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HardwareRadioState(MBN_RADIO* hardwareRadioState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSoftwareRadioState(MBN_RADIO radioState, ULONG* requestId) = 0;
};
