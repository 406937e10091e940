#include "pages/dialerconfig.h"

#include <cstring>

#include "base/registry.h"
#include "data/records.h"
#include "data/stores.h"

namespace {

const unsigned kSequenceBytes = 128;
const int kAccessNumberUnits = 20;

struct Slot {
    int index;
    const wchar_t* suffix;
};
const Slot kSlots[] = {{0, L"\\International"}, {1, L"\\Local"}};

CString SubkeyPath(const wchar_t* suffix)
{
    return Concat(CString(kSettingsKey), suffix);
}

// 8-bit database text to UTF-16 through the ANSI code page, bounded by the target's room.
void Widen(const char* text, size_t bytes, wchar_t* out, int room)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, int(strnlen(text, bytes)), out, room - 1);
    out[n > 0 ? n : 0] = 0;
}

// Table loads that fail while publishing: the partial table goes, the error goes to the caller.
template <class Table>
bool LoadOrReport(void (*load)(), Table& table, CTableException* failure)
{
    try {
        load();
        return true;
    } catch (const CTableException& error) {
        table.Clear();
        if (failure)
            *failure = error;
        return false;
    }
}

// The provider's access number for country code C; the file is tried once per publishing.
bool ProviderAccessNumber(uint32_t provider, uint16_t code, bool& fileTried, wchar_t* out,
                          CTableException* failure)
{
    out[0] = 0;
    if (!LoadOrReport(LoadProviderTable, providerTable, failure))
        return false;
    if (!fileTried) {
        fileTried = true;
        wchar_t shortName[16] = {};
        if (provider <= 0xFFFF)
            if (ProviderRecord* record = FindProvider(providerTable, uint16_t(provider)))
                Widen(record->shortName, sizeof(record->shortName), shortName, 16);
        try {
            LoadAccessNumberTable(shortName);
        } catch (const CTableException&) {
            // A missing or faulty file only leaves the access number empty; records read stay usable.
        }
    }
    if (AccessNumberRecord* number = NextAccessNumber(accessNumberTable, code, true))
        Widen(number->number, sizeof(number->number), out, kAccessNumberUnits);
    return true;
}

}  // namespace

bool PublishDialerConfig(const DialerPageInputs& inputs, CTableException* failure)
{
    DWORD location = 0;
    {
        CRegKey root(HKEY_CURRENT_USER, kSettingsKey);
        if (inputs.cardSettingsInitialised)
            location = inputs.selectedLocation;
        if (location)
            root.Value("CurrentLocation").SetNumber(location);
        else
            location = root.Value("CurrentLocation").GetNumber();
    }

    ProfileRecord* profile = nullptr;
    CString defaultsPath = SubkeyPath(L"\\Defaults");
    if (!location || !profileStore.Get(profileStore.Current(), profile)) {
        CRegKey defaults(HKEY_CURRENT_USER, defaultsPath.Text());
        defaults.Value("Name").Delete();
        return true;
    }

    uint16_t code = 0;
    {
        CRegKey defaults(HKEY_CURRENT_USER, defaultsPath.Text());
        wchar_t text[32];
        lstrcpynW(text, profile->name, 32);
        defaults.Value("Name").SetText(text);
        lstrcpynW(text, profile->account, 16);
        defaults.Value("AccountNumber").SetText(text);
        lstrcpynW(text, profile->pin, 16);
        defaults.Value("PIN").SetText(text);
        defaults.Value("HomeCountryCode").SetNumber(profile->homeCode);

        if (!LoadOrReport(LoadCountryTable, countryTable, failure))
            return false;
        CountryRecord* country = location <= 0xFFFF ? FindCountry(countryTable, uint16_t(location)) : nullptr;
        if (!country)
            return true;
        code = country->code;
        defaults.Value("CountryCode").SetNumber(code);
        if (inputs.cardSettingsInitialised && inputs.locationText[0]) {
            wchar_t name[260];
            lstrcpynW(name, inputs.locationText, 260);
            defaults.Value("CountryName").SetText(name);
        }
    }

    if (cardSettingsStore.IsEmpty())
        if (CString* path = GetDataPath(L"settings.dat"))
            cardSettingsStore.Load(path->Text());
    CardSettingsRecord* record = nullptr;
    if (!cardSettingsStore.Find(int32_t(profile->provider), code, int32_t(profile->homeCode), record))
        record = nullptr;

    bool fileTried = false;
    for (const Slot& slot : kSlots) {
        BYTE sequence[kSequenceBytes] = {};
        uint16_t length = 0;
        wchar_t accessNumber[kAccessNumberUnits] = {};
        if (record) {
            CardSettingsStore::GetSequence(*record, slot.index, sequence, length);
            lstrcpynW(accessNumber, record->accessNumbers[slot.index], kAccessNumberUnits);
        }
        // A slot counts only with its own access number; otherwise the provider's file gives one.
        if (!record || !accessNumber[0]) {
            length = 0;
            memset(sequence, 0, sizeof(sequence));
            if (!ProviderAccessNumber(profile->provider, code, fileTried, accessNumber, failure))
                return false;
        }
        CString path = SubkeyPath(slot.suffix);
        CRegKey key(HKEY_CURRENT_USER, path.Text());
        key.Value("Length").SetNumber(length);
        if (key.Handle())
            RegSetValueExW(key.Handle(), L"Sequence", 0, REG_BINARY, sequence, kSequenceBytes);
        key.Value("AccessNumber").SetText(accessNumber);
    }
    return true;
}

void SyncEnable(bool save, DialerPageInputs& inputs)
{
    CRegKey root(HKEY_CURRENT_USER, kSettingsKey);
    CRegValue enable = root.Value("Enable");
    if (save) {
        enable.SetNumber(inputs.enableChecked ? 1 : 0);
        return;
    }
    DWORD value = 0;
    if (enable.Exists())
        value = enable.GetNumber();
    inputs.enableChecked = value != 0;
}
