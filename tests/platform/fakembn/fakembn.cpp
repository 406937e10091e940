// The test's Mobile Broadband service: the interface manager, its interfaces with their registration
// and radio, as configured. Only what detection calls answers; the rest says E_NOTIMPL.
#include "platform/fakembn/fakembn.h"

namespace {

// A slot that detection never calls.
#define NOT_CALLED(method, ...) \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return E_NOTIMPL; }

FakeMbnNetwork network = {};
LONG liveObjects = 0;

// Reference counting of every object the server hands out, so a test can see the client let go of all.
class Counted {
protected:
    Counted() { InterlockedIncrement(&liveObjects); }
    virtual ~Counted() { InterlockedDecrement(&liveObjects); }
    ULONG Hold() { return ULONG(InterlockedIncrement(&references)); }
    ULONG Drop()
    {
        LONG left = InterlockedDecrement(&references);
        return left ? ULONG(left) : (delete this, 0u);
    }
    LONG references = 1;
};

class FakeInterface : public IMbnInterface, public IMbnRegistration, public IMbnRadio, Counted {
public:
    explicit FakeInterface(const FakeMbnInterface& configured) : config(configured) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IMbnInterface)
            *object = static_cast<IMbnInterface*>(this);
        else if (iid == IID_IMbnRegistration)
            *object = static_cast<IMbnRegistration*>(this);
        else if (iid == IID_IMbnRadio)
            *object = static_cast<IMbnRadio*>(this);
        else
            return *object = nullptr, E_NOINTERFACE;
        Hold();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Hold(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    // IMbnInterface
    NOT_CALLED(get_InterfaceID, BSTR*) NOT_CALLED(GetInterfaceCapability, MBN_INTERFACE_CAPS*)
    NOT_CALLED(GetSubscriberInformation, IUnknown**) NOT_CALLED(GetReadyState, MBN_READY_STATE*)
    NOT_CALLED(InEmergencyMode, VARIANT_BOOL*) NOT_CALLED(GetHomeProvider, MBN_PROVIDER*)
    NOT_CALLED(GetPreferredProviders, SAFEARRAY**) NOT_CALLED(SetPreferredProviders, SAFEARRAY*, ULONG*)
    NOT_CALLED(GetVisibleProviders, ULONG*, SAFEARRAY**) NOT_CALLED(ScanNetwork, ULONG*)
    NOT_CALLED(GetConnection, IUnknown**)

    // IMbnRegistration
    HRESULT STDMETHODCALLTYPE GetRegisterState(MBN_REGISTER_STATE* state) override
    {
        return network.failing == kFailRegisterState ? E_FAIL : (*state = config.state, S_OK);
    }
    HRESULT STDMETHODCALLTYPE GetProviderID(BSTR* id) override
    {
        return network.failing == kFailProviderId ? E_FAIL : (*id = SysAllocString(config.providerId), S_OK);
    }
    NOT_CALLED(GetRegisterMode, MBN_REGISTER_MODE*) NOT_CALLED(GetProviderName, BSTR*)
    NOT_CALLED(GetRoamingText, BSTR*) NOT_CALLED(GetAvailableDataClasses, ULONG*) NOT_CALLED(GetCurrentDataClass, ULONG*)
    NOT_CALLED(GetRegistrationNetworkError, ULONG*) NOT_CALLED(GetPacketAttachNetworkError, ULONG*)
    NOT_CALLED(SetRegisterMode, MBN_REGISTER_MODE, LPCWSTR, ULONG, ULONG*)

    // IMbnRadio
    HRESULT STDMETHODCALLTYPE get_SoftwareRadioState(MBN_RADIO* state) override { return *state = config.software, S_OK; }
    HRESULT STDMETHODCALLTYPE get_HardwareRadioState(MBN_RADIO* state) override { return *state = config.hardware, S_OK; }
    NOT_CALLED(SetSoftwareRadioState, MBN_RADIO, ULONG*)

private:
    FakeMbnInterface config;
};

class FakeManager : public IMbnInterfaceManager, Counted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_IMbnInterfaceManager)
            return *object = nullptr, E_NOINTERFACE;
        *object = static_cast<IMbnInterfaceManager*>(this);
        Hold();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Hold(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    NOT_CALLED(GetInterface, LPCWSTR, IMbnInterface**)
    HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** list) override
    {
        *list = nullptr;
        Sleep(network.answerDelay);
        if (network.failing == kFailGetInterfaces)
            return E_FAIL;
        SAFEARRAY* interfaces = SafeArrayCreateVector(VT_UNKNOWN, 0, ULONG(network.interfaceCount));
        for (LONG i = 0; i < network.interfaceCount; ++i) {
            IMbnInterface* item = new FakeInterface(network.interfaces[i]);
            SafeArrayPutElement(interfaces, &i, item);  // the array holds its own reference
            item->Release();
        }
        *list = interfaces;
        return S_OK;
    }
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return *object = nullptr, E_NOINTERFACE;
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        FakeManager* manager = new FakeManager;
        HRESULT result = manager->QueryInterface(iid, object);
        manager->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (clsid != CLSID_MbnInterfaceManager)
        return *object = nullptr, CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

extern "C" void WINAPI FakeMbnConfigure(const FakeMbnNetwork* configured) { network = *configured; }
extern "C" LONG WINAPI FakeMbnLiveObjects() { return liveObjects; }
