#include "dial.h"

#include <algorithm>

#include "base/registry.h"
#include "data/records.h"
#include "output.h"
#include "pages/sequencesteps.h"

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L' ' || c == L'-' || c == L'.' || c == L'/' || c == L'(' || c == L')';
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

std::wstring ToText(unsigned number)
{
    return std::to_wstring(number);
}

// Registry reads of the published values; the keys are opened, never created.
class PublishedKey {
public:
    explicit PublishedKey(const std::wstring& suffix)
    {
        std::wstring path = std::wstring(kSettingsKey) + suffix;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~PublishedKey()
    {
        if (key)
            RegCloseKey(key);
    }
    PublishedKey(const PublishedKey&) = delete;
    PublishedKey& operator=(const PublishedKey&) = delete;

    bool Open() const { return key != nullptr; }
    bool Number(const wchar_t* name, DWORD& value) const
    {
        DWORD type = 0, size = sizeof(value);
        return key && RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                          ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value);
    }
    // Whole, however long; false when missing or not text.
    bool Text(const wchar_t* name, std::wstring& text) const
    {
        std::vector<BYTE> data;
        DWORD type = 0;
        if (!Bytes(name, data, type) || (type != REG_SZ && type != REG_EXPAND_SZ))
            return false;
        text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        text.resize(std::min(text.size(), text.find(L'\0')));
        return true;
    }
    bool Bytes(const wchar_t* name, std::vector<BYTE>& data, DWORD& type) const
    {
        DWORD size = 0;
        if (!key || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        for (;;) {
            data.resize(size);
            LONG error = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
            if (error == ERROR_SUCCESS) {
                data.resize(size);
                return true;
            }
            if (error != ERROR_MORE_DATA)
                return false;
        }
    }

private:
    HKEY key = nullptr;
};

// Country codes of "country.dat" when the installation has one; none otherwise.
void AddDatabaseCodes(std::vector<unsigned>& codes)
{
    try {
        LoadCountryTable();
    } catch (const CTableException&) {
        return;  // the number can still be written with its country code apart
    }
    for (CountryRecord* country = countryTable.Next(true); country; country = countryTable.Next(false))
        if (country->code)
            codes.push_back(country->code);
}

}  // namespace

bool ReadInternational(const std::wstring& text, std::wstring& digits, size_t& firstGroup, std::wstring& error)
{
    digits.clear();
    firstGroup = 0;
    size_t start = text.find_first_not_of(L' ');
    if (start == std::wstring::npos || text[start] != L'+') {
        error = L"NUMBER must be in international form, beginning with + and the country code (for example "
                L"+44 20 7946 0000): \"" + text + L"\"";
        return false;
    }
    for (size_t i = start + 1; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (IsDigit(c)) {
            digits += c;
        } else if (IsSeparator(c)) {
            if (!digits.empty() && !firstGroup)
                firstGroup = digits.size();
        } else {
            error = L"NUMBER may hold only digits after the +, with blanks, -, ., / or brackets between them; \"" +
                    std::wstring(1, c) + L"\" is not one of them: \"" + text + L"\"";
            return false;
        }
    }
    if (digits.empty()) {
        error = L"NUMBER has no digits after the +: \"" + text + L"\"";
        return false;
    }
    return true;
}

bool ParseInternational(const std::wstring& text, const std::vector<unsigned>& knownCodes,
                        InternationalNumber& number, std::wstring& error)
{
    std::wstring digits;
    size_t firstGroup = 0, codeDigits = 0;
    if (!ReadInternational(text, digits, firstGroup, error))
        return false;
    if (firstGroup && firstGroup <= 3 && firstGroup < digits.size()) {
        codeDigits = firstGroup;
    } else {
        for (unsigned code : knownCodes) {
            std::wstring prefix = ToText(code);
            if (prefix.size() > codeDigits && prefix.size() < digits.size() && digits.compare(0, prefix.size(), prefix) == 0)
                codeDigits = prefix.size();
        }
    }
    if (!codeDigits) {
        error = L"cannot tell where the country code ends in \"" + text +
                L"\": write it apart from the rest, as in +44 20 7946 0000";
        return false;
    }
    number.countryCode = unsigned(std::stoul(digits.substr(0, codeDigits)));
    number.national = digits.substr(codeDigits);
    return true;
}

std::wstring Dialable(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (!IsSeparator(c))
            out += c;
    return out;
}

bool BuildDialString(const BYTE* sequence, unsigned length, const std::wstring& accessNumber,
                     const std::wstring& account, const std::wstring& pin, const std::wstring& destination,
                     std::wstring& dialString, std::vector<DialStep>& steps, std::wstring& error)
{
    dialString.clear();
    steps.clear();
    for (unsigned offset = 0; offset < length;) {
        unsigned size = SequenceStepSize(sequence, length, offset);
        if (!size) {
            error = Formatted(L"step %u cannot be read: code %u at byte %u of %u", unsigned(steps.size() + 1),
                              unsigned(sequence[offset]), offset, length);
            return false;
        }
        BYTE code = sequence[offset], param = sequence[offset + 1];
        const char* digits = reinterpret_cast<const char*>(sequence + offset + 2);
        CString* words = SequenceStepText(code, param, digits, code == kStepDigits ? param : 0);
        DialStep step{words ? words->Text() : L"", L""};
        switch (code) {
        case kStepAccessNumber: step.dialed = Dialable(accessNumber); break;
        case kStepAccountNumber: step.dialed = Dialable(account); break;
        case kStepPin: step.dialed = Dialable(pin); break;
        case kStepDestination: step.dialed = destination; break;
        case kStepWait: step.dialed = param ? std::wstring(param, L',') : L"W"; break;
        case kStepDigits: {
            wchar_t wide[16] = {};
            if (param)
                MultiByteToWideChar(CP_ACP, 0, digits, param < 15 ? param : 15, wide, 15);
            step.dialed = Dialable(wide);
            break;
        }
        }
        dialString += step.dialed;
        steps.push_back(step);
        offset += size;
    }
    return true;
}

int RunDial(const std::wstring& numberText)
{
    // A NUMBER that is wrong in itself is reported before anything is looked up.
    std::wstring digits, error;
    size_t firstGroup = 0;
    if (!ReadInternational(numberText, digits, firstGroup, error)) {
        PrintError(L"dialpass-config: %ls\n", error.c_str());
        return 2;
    }
    PublishedKey defaults(L"\\Defaults");
    std::wstring name, account, pin;
    DWORD countryCode = 0, homeCode = 0;
    if (!defaults.Text(L"Name", name)) {
        PrintError(L"dialpass-config: no card profile is published (HKEY_CURRENT_USER\\%ls\\Defaults has no "
                   L"\"Name\"): the applet writes it on OK once a profile and a location are chosen.\n",
                   kSettingsKey);
        return 1;
    }
    if (!defaults.Number(L"CountryCode", countryCode)) {
        PrintError(L"dialpass-config: no current location is published (\\Defaults has no \"CountryCode\").\n");
        return 1;
    }
    defaults.Number(L"HomeCountryCode", homeCode);
    defaults.Text(L"AccountNumber", account);
    defaults.Text(L"PIN", pin);

    std::vector<unsigned> knownCodes{unsigned(countryCode), unsigned(homeCode)};
    AddDatabaseCodes(knownCodes);
    InternationalNumber number;
    if (!ParseInternational(numberText, knownCodes, number, error)) {
        PrintError(L"dialpass-config: %ls\n", error.c_str());
        return 2;
    }

    bool local = number.countryCode == countryCode || number.countryCode == homeCode;
    const wchar_t* suffix = local ? L"\\Local" : L"\\International";
    // The destination as the dialer is taken to write it: with its country code for calls to
    // other countries, the national number alone for local and home calls.
    std::wstring destination = local ? number.national : ToText(number.countryCode) + number.national;
    Print(L"Number %ls: country code %u, number %ls.\n", numberText.c_str(), number.countryCode,
          number.national.c_str());
    Print(L"Profile \"%ls\"; current location's country code %lu, home country code %lu: %ls call, sequence "
          L"under \"%ls\".\n", name.c_str(), countryCode, homeCode, local ? L"local or home" : L"international",
          suffix);
    DWORD enable = 0;
    if (PublishedKey(L"").Number(L"Enable", enable) && !enable)
        Print(L"Card dialing is off (\"Enable\" is 0): the phone dials this only once it is switched on.\n");

    PublishedKey slot(suffix);
    DWORD length = 0, type = 0;
    std::vector<BYTE> sequence;
    std::wstring accessNumber;
    if (!slot.Number(L"Length", length) || !slot.Bytes(L"Sequence", sequence, type) || type != REG_BINARY) {
        PrintError(L"dialpass-config: no sequence is published under \"%ls\" (\"Length\" or \"Sequence\" "
                   L"is missing).\n", suffix);
        return 1;
    }
    slot.Text(L"AccessNumber", accessNumber);
    if (length == 0) {
        PrintError(L"dialpass-config: the sequence under \"%ls\" is empty (\"Length\" 0): no card dialing "
                   L"sequence is published for this call.\n", suffix);
        return 1;
    }
    if (length > sequence.size()) {
        Print(L"\"Length\" %lu is more than the %u bytes of \"Sequence\"; the bytes stored are used.\n", length,
              unsigned(sequence.size()));
        length = DWORD(sequence.size());
    }
    std::wstring dialString;
    std::vector<DialStep> steps;
    bool whole = BuildDialString(sequence.data(), length, accessNumber, account, pin, destination, dialString,
                                 steps, error);
    Print(L"Dial string: %ls\n", dialString.c_str());
    Print(L"Steps:\n");
    for (size_t i = 0; i < steps.size(); ++i)
        Print(L"  %u. %ls: %ls\n", unsigned(i + 1), steps[i].words.c_str(),
              steps[i].dialed.empty() ? L"(nothing: the value is empty)" : steps[i].dialed.c_str());
    if (!whole) {
        PrintError(L"dialpass-config: %ls; the dial string above stops before it.\n", error.c_str());
        return 1;
    }
    return 0;
}
