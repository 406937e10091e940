#include "platform/mobilebroadband.h"

#include <new>

#include "platform/mbninterfaces.h"

namespace {

// One query, shared by the caller and its worker: whichever lets go last frees it, so a caller that
// gave up at the deadline leaves nothing the worker still writes to.
struct Query {
    LONG owners = 2;
    bool answered = false;
    BroadbandNetwork network;
};

LONG queryRunning = 0;  // a worker has not ended yet

void LetGo(Query* query)
{
    if (!InterlockedDecrement(&query->owners))
        delete query;
}

bool RadioOff(IUnknown* mbnInterface)
{
    IMbnRadio* radio = nullptr;
    if (FAILED(mbnInterface->QueryInterface(IID_IMbnRadio, reinterpret_cast<void**>(&radio))))
        return false;  // no radio switch to ask: the registration tells
    MBN_RADIO software = MBN_RADIO_ON, hardware = MBN_RADIO_ON;
    radio->get_SoftwareRadioState(&software);
    radio->get_HardwareRadioState(&hardware);
    radio->Release();
    return software == MBN_RADIO_OFF || hardware == MBN_RADIO_OFF;
}

// The provider id of the network this interface is registered in, at home, roaming or with a partner.
void ReadRegisteredProvider(IUnknown* mbnInterface, BroadbandNetwork& network)
{
    if (RadioOff(mbnInterface))
        return;
    IMbnRegistration* registration = nullptr;
    if (FAILED(mbnInterface->QueryInterface(IID_IMbnRegistration, reinterpret_cast<void**>(&registration))))
        return;
    MBN_REGISTER_STATE state = MBN_REGISTER_STATE_NONE;
    BSTR id = nullptr;
    if (SUCCEEDED(registration->GetRegisterState(&state)) && state >= MBN_REGISTER_STATE_HOME &&
        state <= MBN_REGISTER_STATE_PARTNER && SUCCEEDED(registration->GetProviderID(&id)) && id)
        lstrcpynW(network.providerId, id, sizeof(network.providerId) / sizeof(wchar_t));
    SysFreeString(id);
    registration->Release();
}

bool Ask(BroadbandNetwork& network)
{
    IMbnInterfaceManager* manager = nullptr;
    if (FAILED(CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IMbnInterfaceManager, reinterpret_cast<void**>(&manager))))
        return false;
    SAFEARRAY* list = nullptr;
    HRESULT result = manager->GetInterfaces(&list);
    manager->Release();
    if (FAILED(result))
        return false;
    VARTYPE type = VT_EMPTY;
    LONG low = 0, high = -1;
    if (list && SafeArrayGetDim(list) == 1 && SUCCEEDED(SafeArrayGetVartype(list, &type)) &&
        (type == VT_UNKNOWN || type == VT_DISPATCH) && SUCCEEDED(SafeArrayGetLBound(list, 1, &low)) &&
        SUCCEEDED(SafeArrayGetUBound(list, 1, &high)))
        for (LONG i = low; i <= high; ++i) {
            IUnknown* item = nullptr;  // the element, added a reference by the copy
            if (FAILED(SafeArrayGetElement(list, &i, &item)) || !item)
                continue;
            ++network.interfaces;
            if (!network.providerId[0])
                ReadRegisteredProvider(item, network);
            item->Release();
        }
    if (list)
        SafeArrayDestroy(list);
    return true;
}

// The caller took a reference to this module for the thread, so the code stays loaded until the
// thread's last instruction even when the caller gave up and the applet is unloaded meanwhile.
DWORD WINAPI Worker(void* parameter)
{
    Query* query = static_cast<Query*>(parameter);
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        query->answered = Ask(query->network);
        CoUninitialize();
    }
    LetGo(query);
    InterlockedExchange(&queryRunning, 0);
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Worker), &self);
    FreeLibraryAndExitThread(self, 0);
}

}  // namespace

bool QueryBroadbandNetwork(BroadbandNetwork& network)
{
    if (InterlockedCompareExchange(&queryRunning, 1, 0) != 0)
        return false;  // a server that did not answer last time is not asked again meanwhile
    Query* query = new (std::nothrow) Query;
    HMODULE self = nullptr;
    HANDLE thread = nullptr;
    if (query && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Worker),
                                    &self))
        thread = CreateThread(nullptr, 0, Worker, query, 0, nullptr);
    if (!thread) {
        if (self)
            FreeLibrary(self);
        delete query;
        InterlockedExchange(&queryRunning, 0);
        return false;
    }
    bool answered = WaitForSingleObject(thread, kBroadbandDeadline) == WAIT_OBJECT_0 && query->answered;
    CloseHandle(thread);
    if (answered)
        network = query->network;
    LetGo(query);
    return answered;
}
