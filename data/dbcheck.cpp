#include "data/dbcheck.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <set>

#include "base/handle.h"
#include "base/path.h"
#include "data/datafile.h"
#include "data/fileset.h"
#include "data/records.h"
#include "data/safefile.h"

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

// Lines of a plain source end with CR LF, LF or CR; the applet's files end every line with CR LF.
std::string WithCrLf(const std::string& source)
{
    std::string text;
    text.reserve(source.size() + source.size() / 16);
    for (size_t i = 0; i < source.size(); ++i) {
        char c = source[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < source.size() && source[i + 1] == '\n')
                ++i;
            text += "\r\n";
        } else {
            text += c;
        }
    }
    if (!text.empty() && text.back() != '\n')
        text += "\r\n";
    return text;
}

// A field that the applet reads like atoi must be plain decimal digits within the record's range,
// or the applet reads another number than the one meant ("x" as 0, "7x" as 7, 70000 cut to 4464).
std::string CheckNumber(const char* from, const char* to, uint32_t most, const std::string& name)
{
    if (from == to)
        return name + " is missing (expected decimal digits)";
    uint64_t value = 0;
    for (const char* p = from; p < to; ++p) {
        if (*p < '0' || *p > '9')
            return name + " is not a number: only the digits 0 to 9 are read as one";
        if (value <= most)
            value = value * 10 + uint64_t(*p - '0');
    }
    if (value > most)
        return name + " is out of range: at most " + std::to_string(most);
    return std::string();
}

// The start of field index (counted from 0) of [line, end); to gets its end: the next ';' or end.
const char* Field(const char* line, const char* end, int index, const char*& to)
{
    const char* from = line;
    for (int i = 0;; ++i) {
        to = static_cast<const char*>(memchr(from, ';', size_t(end - from)));
        if (!to)
            to = end;
        if (i == index)
            return from;
        from = to < end ? to + 1 : end;
    }
}

// What the record parsers accept but the applet would misread; empty when the line is sound.
std::string Strict(const CountryRecord&, const char* line, const char* end)
{
    const char *to, *from = Field(line, end, 0, to);
    std::string what = CheckNumber(from, to, 65535, "the id");
    if (what.empty()) {
        from = Field(line, end, 2, to);
        what = CheckNumber(from, end, 65535, "the country code");
    }
    return what;
}

std::string Strict(const OperatorRecord&, const char* line, const char* end)
{
    const char *to, *from = Field(line, end, 0, to);
    std::string what = CheckNumber(from, to, 2147483647, "the operator number");
    if (what.empty()) {
        from = Field(line, end, 1, to);
        what = CheckNumber(from, to, 65535, "the country code");
    }
    if (what.empty() && to < end && to + 1 < end)
        what = "text after the closing ';' (expected operator;code;)";
    return what;
}

std::string Strict(const ProviderRecord& record, const char* line, const char* end)
{
    const char *to, *from = Field(line, end, 0, to);
    std::string what = CheckNumber(from, to, 65535, "the provider id");
    if (what.empty() && !record.shortName[0])
        what = "empty short name: it names the access-number file";
    return what;
}

std::string Strict(const AccessNumberRecord&, const char* line, const char* end)
{
    const char *to, *from = Field(line, end, 0, to);
    return CheckNumber(from, to, 65535, "the country code");
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

    // Reads a file as the applet would (unscrambled unless plain) into text; false when there is
    // nothing to parse, with the problem noted (a file that cannot be opened: in failure, for the caller).
    bool Read(const std::wstring& name, std::string& text, std::wstring& shown, std::wstring& failure)
    {
        shown = JoinPath(directory, name);
        failure.clear();
        UniqueHandle file(CreateFileW(shown.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            failure = L"cannot be opened: " + SystemErrorText(GetLastError());
            return false;
        }
        LARGE_INTEGER size{};
        DWORD read = 0, code = 0;
        bool large = false;
        if (!GetFileSizeEx(file.Get(), &size)) {
            code = GetLastError();
        } else if (size.QuadPart > kMaxDataFileSize) {
            large = true;
        } else {
            text.resize(size_t(size.QuadPart));
            if (!text.empty() && !ReadFile(file.Get(), &text[0], DWORD(text.size()), &read, nullptr))
                code = GetLastError();
            else if (read != text.size())
                code = ERROR_HANDLE_EOF;
        }
        file.Close();
        if (large || code) {
            Problem(shown, 0, large ? L"too large: a database file must be smaller than 65,536 bytes "
                                      L"(the reader keeps line offsets in 16 bits)"
                                    : L"cannot be read whole: " + SystemErrorText(code));
            return false;
        }
        if (plain)
            text = WithCrLf(text);
        else
            Scramble(&text[0], text.size());
        result.files.push_back(DbFile{name, text});
        result.bytes += unsigned(text.size());
        if (text.empty()) {
            Problem(shown, 0, L"empty file: the applet reads it as an empty list", true);
            return true;
        }
        if (plain && text.size() > kMaxDataFileSize) {
            Problem(shown, 0, L"too large once its lines end with CR LF: " + std::to_wstring(text.size()) +
                                  L" bytes; a database file must be smaller than 65,536 bytes");
            return false;
        }
        return true;
    }

    bool ReadRequired(const std::wstring& name, std::string& text, std::wstring& shown)
    {
        std::wstring failure;
        bool ok = Read(name, text, shown, failure);
        if (!failure.empty())
            Problem(shown, 0, failure);
        return ok;
    }

    // Parses every line with Record's parser and the stricter checks; visit(record, line number)
    // for each good one.
    template <class Record, class Visit>
    void Lines(const std::string& text, const std::wstring& shown, Visit visit)
    {
        const char* data = text.data();
        uint32_t size = uint32_t(text.size());
        const char* line = nullptr;
        unsigned number = 0;
        while (NextLine(data, size, line)) {
            ++number;
            uint32_t length = LineLength(data, size, line);
            const char* end = line + length;
            if (number == 1 && length >= 2 && ((line[0] == '\xFF' && line[1] == '\xFE') || (line[0] == '\xFE' && line[1] == '\xFF'))) {
                Problem(shown, number, L"UTF-16 byte-order mark: database files are 8-bit text");
                return;
            }
            if (number == 1 && length >= 3 && memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
                Problem(shown, number, L"UTF-8 byte-order mark at the start: the applet reads it as part of "
                                       L"the first field; save the file without it");
                line += 3;
                length -= 3;
            }
            if (memchr(line, '\n', length)) {
                Problem(shown, number, L"line feed without a carriage return before it: the applet ends lines "
                                       L"only at CR, so the text after it belongs to this line");
                continue;
            }
            if (memchr(line, '\0', length)) {
                Problem(shown, number, L"NUL byte in the line: the applet's text ends there");
                continue;
            }
            Record record;
            const char* refused = record.Parse(line, length);
            std::string what = refused ? std::string(refused) : Strict(record, line, end);
            if (!what.empty()) {
                Problem(shown, number, Widen(what.c_str()));
            } else {
                ++result.records;
                visit(record, number);
            }
        }
    }

    void CheckCountries()
    {
        std::string text;
        std::wstring shown;
        if (!ReadRequired(L"country.dat", text, shown))
            return;
        haveCountries = true;
        std::map<uint16_t, unsigned> ids;
        Lines<CountryRecord>(text, shown, [&](const CountryRecord& record, unsigned line) {
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
        std::string text;
        std::wstring shown;
        if (!ReadRequired(L"providers.dat", text, shown))
            return;
        std::map<int32_t, unsigned> operators;
        Lines<OperatorRecord>(text, shown, [&](const OperatorRecord& record, unsigned line) {
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
        std::string text;
        std::wstring shown;
        if (!ReadRequired(L"manufacturers.dat", text, shown))
            return;
        std::map<uint16_t, unsigned> ids;
        struct File {
            std::wstring name;
            unsigned line;
        };
        std::vector<File> files;
        Lines<ProviderRecord>(text, shown, [&](const ProviderRecord& record, unsigned line) {
            auto seen = ids.emplace(record.id, line);
            if (!seen.second)
                Problem(shown, line,
                        L"provider id " + std::to_wstring(record.id) + L" is already on line " +
                            std::to_wstring(seen.first->second) + L"; lookups take the earlier line",
                        true);
            std::wstring name = FromAnsi(record.shortName, strlen(record.shortName)) + L".dat";
            // The applet refuses to open such a name; dpdb must never read or write outside the folder.
            if (!IsPlainFileName(name) || IsTemporaryName(name)) {
                Problem(shown, line,
                        L"short name \"" + FromAnsi(record.shortName, strlen(record.shortName)) +
                            L"\" is not a plain file name (no separators, \"..\", device names or characters "
                            L"that Windows forbids): its access-number file must lie in the database folder");
                return;
            }
            for (const File& file : files) {
                if (SameName(file.name, name))
                    return;
            }
            files.push_back(File{name, line});
        });
        for (const File& file : files)
            CheckAccessNumbers(file.name, shown, file.line);
    }

    void CheckAccessNumbers(const std::wstring& name, const std::wstring& namedIn, unsigned namedAt)
    {
        std::string text;
        std::wstring shown, failure;
        if (!Read(name, text, shown, failure)) {
            if (!failure.empty())
                Problem(namedIn, namedAt, L"its access-number file " + name + L" " + failure);
            return;
        }
        Lines<AccessNumberRecord>(text, shown, [&](const AccessNumberRecord& record, unsigned line) {
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
    // An installed set is read under the folder's hold: a writer swapping in another set meanwhile
    // would otherwise make its files seem held or mixed. A folder never written through a lock holds nothing.
    FolderReadHold hold;
    hold.Take(directory);
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
