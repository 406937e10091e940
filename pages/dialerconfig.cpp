#include "pages/dialerconfig.h"

#include "base/registry.h"
#include "pages/dlgutils.h"

namespace {

const wchar_t* const kSlotKeys[2] = {L"International", L"Local"};

// A table load that fails while publishing: the partial table goes, the error goes to the caller.
template <class Table>
bool LoadOrReport(void (*load)(), Table& table, std::optional<CTableException>& failure)
{
    try {
        load();
        return true;
    } catch (const CTableException& error) {
        table.Clear();
        failure = error;
        return false;
    }
}

CountryRecord* LocationRecord(CountryTable& countries, DWORD location)
{
    return location <= 0xFFFF ? FindCountry(countries, uint16_t(location)) : nullptr;
}

CardSettingsRecord* SettingsFor(CardSettingsStore* store, const ProfileRecord& profile, uint16_t code)
{
    CardSettingsRecord* record = nullptr;
    if (!store || !store->Find(int32_t(profile.provider), code, int32_t(profile.homeCode), record))
        return nullptr;
    return record;
}

}  // namespace

DWORD PublishedLocation(const DialerPageInputs& inputs, DWORD storedLocation)
{
    if (inputs.cardSettingsInitialised && inputs.selectedLocation)
        return inputs.selectedLocation;
    return storedLocation;
}

bool SlotUsesProviderNumber(const CardSettingsRecord* record, int slot)
{
    return !record || !record->accessNumbers[slot][0];
}

DialerConfigValues ComputeDialerConfig(const DialerPageInputs& inputs, const DialerSources& sources)
{
    DialerConfigValues values;
    if (inputs.cardSettingsInitialised)
        values.newLocation = inputs.selectedLocation;
    const ProfileRecord* profile = inputs.profile;
    if (!sources.location || !profile)
        return values;

    values.reach = kReachProfile;
    lstrcpynW(values.name, profile->name, 32);
    lstrcpynW(values.account, profile->account, 16);
    lstrcpynW(values.pin, profile->pin, 16);
    values.homeCode = profile->homeCode;

    if (!sources.country)
        return values;
    values.reach = kReachLocation;
    values.countryCode = sources.country->code;
    if (inputs.cardSettingsInitialised)
        lstrcpynW(values.countryName, inputs.locationText, 260);

    const CardSettingsRecord* record = sources.cardSettings;
    for (int slot = 0; slot < 2; ++slot) {
        DialerSlotValues& out = values.slots[slot];
        if (!SlotUsesProviderNumber(record, slot)) {
            uint16_t length = 0;
            CardSettingsStore::GetSequence(*record, slot, out.sequence, length);
            out.length = length;
            lstrcpynW(out.accessNumber, record->accessNumbers[slot], kMaxAccessNumberUnits + 1);
            continue;
        }
        // A slot counts only with its own access number; otherwise the provider's file gives one.
        if (!sources.providersRead)
            return values;
        if (const AccessNumberRecord* number = sources.providerNumber)
            WidenDatabaseText(number->number, sizeof(number->number), out.accessNumber, kMaxAccessNumberUnits + 1);
    }
    values.reach = kReachSlots;
    return values;
}

DialerSources GatherDialerSources(const CRegKey& settings, const DialerPageInputs& inputs)
{
    DialerSources sources;
    sources.location = PublishedLocation(inputs, settings.Value("CurrentLocation").GetNumber());
    const ProfileRecord* profile = inputs.profile;
    if (!sources.location || !profile)
        return sources;

    if (!LoadOrReport(LoadCountryTable, countryTable, sources.failure))
        return sources;
    const CountryRecord* country = LocationRecord(countryTable, sources.location);
    if (!country)
        return sources;
    sources.country = country;

    if (cardSettingsStore.IsEmpty())
        if (CString* path = GetDataPath(L"settings.dat"))
            cardSettingsStore.Load(path->Text());
    sources.cardSettings = SettingsFor(&cardSettingsStore, *profile, country->code);
    if (!SlotUsesProviderNumber(sources.cardSettings, 0) && !SlotUsesProviderNumber(sources.cardSettings, 1))
        return sources;  // both slots carry their own numbers: no provider file is read

    if (!LoadOrReport(LoadProviderTable, providerTable, sources.failure))
        return sources;
    sources.providersRead = true;
    wchar_t shortName[16] = {};
    if (profile->provider <= 0xFFFF)
        if (ProviderRecord* provider = FindProvider(providerTable, uint16_t(profile->provider)))
            WidenDatabaseText(provider->shortName, sizeof(provider->shortName), shortName, 16);
    try {
        // Loaded once here for both slots; a table of this provider's file is kept as it is.
        LoadAccessNumberTable(shortName);
    } catch (const CTableException&) {
        // A missing or faulty file only leaves the access number empty; records read stay usable.
    }
    sources.providerNumber = NextAccessNumber(accessNumberTable, country->code, true);
    return sources;
}

void WriteDialerConfig(const CRegKey& settings, const DialerConfigValues& values)
{
    if (values.newLocation)
        settings.Value("CurrentLocation").SetNumber(values.newLocation);
    {
        CRegKey defaults(settings.Handle(), L"Defaults");
        if (values.reach == kReachNameDeleted) {
            defaults.Value("Name").Delete();
            return;
        }
        defaults.Value("Name").SetText(values.name);
        defaults.Value("AccountNumber").SetText(values.account);
        defaults.Value("PIN").SetText(values.pin);
        defaults.Value("HomeCountryCode").SetNumber(values.homeCode);
        if (values.reach < kReachLocation)
            return;
        defaults.Value("CountryCode").SetNumber(values.countryCode);
        if (values.countryName[0])
            defaults.Value("CountryName").SetText(values.countryName);
    }
    if (values.reach < kReachSlots)
        return;
    for (int slot = 0; slot < 2; ++slot) {
        const DialerSlotValues& out = values.slots[slot];
        CRegKey key(settings.Handle(), kSlotKeys[slot]);
        key.Value("Length").SetNumber(out.length);
        if (key.Handle())
            RegSetValueExW(key.Handle(), L"Sequence", 0, REG_BINARY, out.sequence, kMaxSequenceBytes);
        key.Value("AccessNumber").SetText(out.accessNumber);
    }
}

std::optional<CTableException> PublishDialerValues(const DialerPageInputs& inputs)
{
    CRegKey settings(HKEY_CURRENT_USER, kSettingsKey);  // opened once for reading and writing
    // Every value from the set of database files the folder holds now: gathered again when a load
    // on the way met a new set, which empties the tables gathered before it.
    if (!inputs.databaseSetHeld)
        CheckDatabaseSet();
    DialerSources sources;
    unsigned generation;
    int tries = 0;
    do {
        generation = DatabaseGeneration();
        sources = GatherDialerSources(settings, inputs);
    } while (generation != DatabaseGeneration() && ++tries < 3);
    // The records of a set emptied on the way are gone: a folder rewritten at every try is reported.
    if (generation != DatabaseGeneration()) {
        sources = DialerSources{};
        CString* folder = GetDataPath(nullptr);
        sources.failure = CTableException(kTableReadFailed, folder ? folder->Text() : L"");
    }
    WriteDialerConfig(settings, ComputeDialerConfig(inputs, sources));
    return sources.failure;
}

void SyncEnableValue(bool save, DialerPageInputs& inputs)
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
