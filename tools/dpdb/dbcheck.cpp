#include "dbcheck.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <set>

#include "data/datafile.h"
#include "data/records.h"

namespace {

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide += wchar_t(static_cast<unsigned char>(*text));
    return wide;
}

std::wstring FromAnsi(const char* text, size_t length)
{
    if (!length)
        return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, int(length), &wide[0], n);
    return wide;
}

class Checker {
public:
    Checker(const std::wstring& directory, bool plain) : directory(directory), plain(plain) {}

    DbCheckResult Run()
    {
        CheckCountries();
        CheckOperators();
        CheckProviders();
        return std::move(result);
    }

private:
    void Problem(const std::wstring& file, unsigned line, const std::wstring& what, bool warning = false)
    {
        result.problems.push_back(DbProblem{file, line, what, warning});
    }

    // Reads a file as the applet would (unscrambled unless plain); false, with the problem noted
    // unless missingAt is given, when there is nothing to parse.
    bool Read(const std::wstring& name, DataFileBuffer& buffer, std::wstring& shown, bool& missing)
    {
        shown = JoinPath(directory, name);
        missing = false;
        try {
            ReadRawDataFile(buffer, shown.c_str());
        } catch (const CTableException& error) {
            if (error.code == kTableOpenFailed) {
                missing = true;
                return false;
            }
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (GetFileAttributesExW(shown.c_str(), GetFileExInfoStandard, &data) &&
                (data.nFileSizeHigh || data.nFileSizeLow > kMaxDataFileSize))
                Problem(shown, 0, L"too large: a database file must be smaller than 65,536 bytes "
                                  L"(the reader keeps line offsets in 16 bits)");
            else
                Problem(shown, 0, L"cannot be read whole");
            return false;
        }
        if (!plain)
            Scramble(buffer.data, buffer.size);
        result.files.push_back(name);
        result.bytes += buffer.size;
        if (buffer.size == 0) {
            Problem(shown, 0, L"empty file: a database file must hold at least one record");
            return false;
        }
        return true;
    }

    bool ReadRequired(const std::wstring& name, DataFileBuffer& buffer, std::wstring& shown)
    {
        bool missing = false;
        bool ok = Read(name, buffer, shown, missing);
        if (missing)
            Problem(shown, 0, L"cannot be opened (missing?)");
        return ok;
    }

    // Parses every line with Record's parser; visit(record, line number) for each good one.
    template <class Record, class Visit>
    void Lines(const DataFileBuffer& buffer, const std::wstring& shown, Visit visit)
    {
        const char* line = nullptr;
        unsigned number = 0;
        while (NextLine(buffer, line)) {
            ++number;
            uint32_t length = LineLength(buffer.data, buffer.size, line);
            Record record;
            if (const char* what = record.Parse(line, length)) {
                Problem(shown, number, Widen(what));
            } else {
                ++result.records;
                visit(record, number);
            }
            if (memchr(line, '\n', length))
                Problem(shown, number,
                        L"line feed without a carriage return before it: lines end only at CR, so the "
                        L"text after it belongs to this line",
                        true);
        }
    }

    void CheckCountries()
    {
        DataFileBuffer buffer;
        std::wstring shown;
        if (!ReadRequired(L"country.dat", buffer, shown))
            return;
        haveCountries = true;
        std::map<uint16_t, unsigned> ids;
        Lines<CountryRecord>(buffer, shown, [&](const CountryRecord& record, unsigned line) {
            auto seen = ids.emplace(record.id, line);
            if (!seen.second)
                Problem(shown, line,
                        L"id " + std::to_wstring(record.id) + L" is already on line " +
                            std::to_wstring(seen.first->second) + L"; lookups take the earlier line",
                        true);
            countryCodes.insert(record.code);
        });
    }

    // An operator may work where no location is listed, but an access number of a country code
    // that no location has can never be offered.
    void UnknownCode(const std::wstring& shown, unsigned line, long code)
    {
        if (haveCountries && !countryCodes.count(code))
            Problem(shown, line,
                    L"country code " + std::to_wstring(code) + L" is not in country.dat, so no location offers it",
                    true);
    }

    void CheckOperators()
    {
        DataFileBuffer buffer;
        std::wstring shown;
        if (!ReadRequired(L"providers.dat", buffer, shown))
            return;
        std::map<int32_t, unsigned> operators;
        Lines<OperatorRecord>(buffer, shown, [&](const OperatorRecord& record, unsigned line) {
            auto seen = operators.emplace(record.op, line);
            if (!seen.second)
                Problem(shown, line,
                        L"operator " + std::to_wstring(record.op) + L" is already on line " +
                            std::to_wstring(seen.first->second) + L"; lookups take the earlier line",
                        true);
        });
    }

    void CheckProviders()
    {
        DataFileBuffer buffer;
        std::wstring shown;
        if (!ReadRequired(L"manufacturers.dat", buffer, shown))
            return;
        std::map<uint16_t, unsigned> ids;
        struct File {
            std::wstring name;
            unsigned line;
        };
        std::vector<File> files;
        Lines<ProviderRecord>(buffer, shown, [&](const ProviderRecord& record, unsigned line) {
            auto seen = ids.emplace(record.id, line);
            if (!seen.second)
                Problem(shown, line,
                        L"provider id " + std::to_wstring(record.id) + L" is already on line " +
                            std::to_wstring(seen.first->second) + L"; lookups take the earlier line",
                        true);
            std::wstring name = FromAnsi(record.shortName, strlen(record.shortName)) + L".dat";
            for (const File& file : files) {
                if (CompareStringOrdinal(file.name.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
                    return;
            }
            files.push_back(File{name, line});
        });
        for (const File& file : files)
            CheckAccessNumbers(file.name, shown, file.line);
    }

    void CheckAccessNumbers(const std::wstring& name, const std::wstring& namedIn, unsigned namedAt)
    {
        DataFileBuffer buffer;
        std::wstring shown;
        bool missing = false;
        if (!Read(name, buffer, shown, missing)) {
            if (missing)
                Problem(namedIn, namedAt, L"its access-number file " + name + L" cannot be opened (missing?)");
            return;
        }
        Lines<AccessNumberRecord>(buffer, shown, [&](const AccessNumberRecord& record, unsigned line) {
            UnknownCode(shown, line, record.code);
        });
    }

    std::wstring directory;
    bool plain;
    bool haveCountries = false;
    std::set<long> countryCodes;
    DbCheckResult result;
};

} // namespace

unsigned DbCheckResult::Errors() const
{
    unsigned n = 0;
    for (const DbProblem& problem : problems)
        n += problem.warning ? 0 : 1;
    return n;
}

unsigned DbCheckResult::Warnings() const
{
    return unsigned(problems.size()) - Errors();
}

DbCheckResult CheckDatabase(const std::wstring& directory, bool plain)
{
    return Checker(directory, plain).Run();
}

std::wstring FormatProblem(const DbProblem& problem)
{
    std::wstring text = problem.file;
    if (problem.line)
        text += L":" + std::to_wstring(problem.line);
    text += problem.warning ? L": warning: " : L": ";
    return text + problem.what;
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name)
{
    if (directory.empty())
        return name;
    wchar_t last = directory.back();
    if (last == L'\\' || last == L'/' || last == L':')
        return directory + name;
    bool slashes = directory.find(L'/') != std::wstring::npos && directory.find(L'\\') == std::wstring::npos;
    return directory + (slashes ? L"/" : L"\\") + name;
}
