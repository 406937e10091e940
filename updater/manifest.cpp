#include "updater/manifest.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cwchar>

#include "base/handle.h"
#include "base/path.h"
#include "data/datafile.h"

namespace {

// IXMLDOMDocument2; mingw's headers declare it without a definition to link against.
const IID kDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : text(SysAllocStringLen(text.data(), UINT(text.size()))) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR* operator&() { return &text; }
    operator BSTR() const { return text; }
    std::wstring str() const { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

private:
    BSTR text = nullptr;
};

bool IsDigits(const std::wstring& text)
{
    if (text.empty() || text.size() > 10)
        return false;
    for (wchar_t c : text)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

// A decimal number without sign, blanks or leading zeros, up to max.
bool ReadNumber(const std::wstring& text, uint64_t max, uint32_t& value)
{
    if (!IsDigits(text) || (text.size() > 1 && text[0] == L'0'))
        return false;
    uint64_t number = std::wcstoull(text.c_str(), nullptr, 10);
    if (number > max)
        return false;
    value = uint32_t(number);
    return true;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());  // names and numbers are ASCII here
}

// The attributes of element, each required once; unknown attributes are refused.
std::wstring Attributes(IXMLDOMNode* element, const wchar_t* where, std::initializer_list<const wchar_t*> names,
                        std::vector<std::wstring>& values)
{
    ComPtr<IXMLDOMNamedNodeMap> map;
    long count = 0;
    if (FAILED(element->get_attributes(&map)) || !map || FAILED(map->get_length(&count)))
        return std::wstring(L"cannot read the attributes of ") + where;
    values.assign(names.size(), std::wstring());
    std::vector<bool> seen(names.size(), false);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        Bstr name, value;
        if (FAILED(map->get_item(i, &attribute)) || !attribute || FAILED(attribute->get_nodeName(&name)) ||
            FAILED(attribute->get_text(&value)))
            return std::wstring(L"cannot read the attributes of ") + where;
        size_t index = 0;
        for (const wchar_t* known : names) {
            if (name.str() == known)
                break;
            ++index;
        }
        if (index == names.size())
            return std::wstring(where) + L" has an unknown attribute \"" + name.str() + L"\"";
        values[index] = value.str();
        seen[index] = true;
    }
    size_t index = 0;
    for (const wchar_t* known : names) {
        if (!seen[index++])
            return std::wstring(where) + L" has no \"" + known + L"\" attribute";
    }
    return std::wstring();
}

std::wstring ReadFileElement(IXMLDOMNode* element, Manifest& manifest)
{
    std::vector<std::wstring> values;
    std::wstring error = Attributes(element, L"a file element", {L"name", L"size", L"sha256"}, values);
    if (!error.empty())
        return error;
    ManifestFile file;
    file.name = values[0];
    std::wstring nameError = CheckDataFileName(file.name);
    if (!nameError.empty())
        return L"the file name \"" + file.name + L"\" is refused: " + nameError;
    if (!ReadNumber(values[1], 0xFFFFFFFFull, file.size))
        return L"the size \"" + values[1] + L"\" of " + file.name + L" is not a number";
    if (!FromHex(Narrow(values[2]), file.sha256.data(), file.sha256.size()))
        return L"the sha256 of " + file.name + L" is not 64 hex digits";
    manifest.files.push_back(file);
    return std::wstring();
}

} // namespace

bool IsPlainName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    for (wchar_t c : name)
        if (c < 0x20 || c > 0x7E || wcschr(L"\\/:*?\"<>|", c))
            return false;
    return true;
}

std::wstring CheckDataFileName(const std::wstring& name)
{
    if (!IsPlainName(name))
        return L"not a plain file name (it holds a folder separator, a drive or another character a file "
               L"name cannot have)";
    if (name.size() < 5 || !SameName(name.substr(name.size() - 4), L".dat"))
        return L"not a database file (.dat)";
    std::wstring stem = name.substr(0, name.size() - 4);
    if (stem.size() > 15)
        return L"longer than 15 characters before \".dat\"";
    for (wchar_t c : stem)
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
              c == L'-'))
            return L"only letters, digits, \"_\" and \"-\" may stand before \".dat\"";
    for (const wchar_t* own : {L"profiles", L"settings"})
        if (SameName(stem, own))
            return L"the user's own file";
    static const wchar_t* const devices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3",
                                             L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1",
                                             L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8",
                                             L"LPT9", L"CLOCK$"};
    for (const wchar_t* device : devices)
        if (SameName(stem, device))
            return L"a device name";
    return std::wstring();
}

std::wstring CheckManifestFile(const ManifestFile& file)
{
    std::wstring nameError = CheckDataFileName(file.name);
    if (!nameError.empty())
        return L"the file name \"" + file.name + L"\" is refused: " + nameError;
    if (file.size == 0 || file.size > kMaxDataFileSize)
        return L"lists " + file.name + L" with " + std::to_wstring(file.size) +
               L" bytes; a database file has 1 to 65,535 bytes";
    return std::wstring();
}

std::wstring CheckManifest(const Manifest& manifest, const std::string& xml)
{
    if (xml.size() > kMaxManifestSize)
        return L"is larger than " + std::to_wstring(kMaxManifestSize) + L" bytes";
    if (manifest.files.size() > kMaxManifestFiles)
        return L"lists more than " + std::to_wstring(kMaxManifestFiles) + L" files";
    for (size_t i = 0; i < manifest.files.size(); ++i) {
        std::wstring error = CheckManifestFile(manifest.files[i]);
        if (!error.empty())
            return error;
        // Names are matched without regard to case, as the file system does.
        for (size_t j = 0; j < i; ++j)
            if (SameName(manifest.files[j].name, manifest.files[i].name))
                return L"lists the file " + manifest.files[i].name + L" twice (names differ only in case)";
    }
    return std::wstring();
}

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What the raw bytes hold that an update description never does.
std::wstring CheckRawDescription(const std::string& bytes)
{
    if (bytes.size() > kMaxManifestSize)
        return L"is larger than " + std::to_wstring(kMaxManifestSize) + L" bytes";
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return L"begins with a byte-order mark; an update description is UTF-8 without one";
    if (bytes.find('\0') != std::string::npos)
        return L"holds a NUL byte";
    // Document type declarations could pull in other files or expand without bound: none are needed.
    if (bytes.find("<!") != std::string::npos)
        return L"holds a declaration (<!...), which an update description never needs";
    if (bytes.compare(0, 5, "<?xml") == 0) {
        std::string declaration = bytes.substr(0, bytes.find("?>"));
        size_t at = declaration.find("encoding");
        if (at != std::string::npos) {
            size_t open = declaration.find_first_of("\"'", at);
            size_t close = open == std::string::npos ? open : declaration.find(declaration[open], open + 1);
            std::string name = close == std::string::npos ? declaration.substr(at) : declaration.substr(open + 1, close - open - 1);
            if (!SameName(std::wstring(name.begin(), name.end()), L"UTF-8"))
                return L"declares the encoding \"" + std::wstring(name.begin(), name.end()) +
                       L"\"; an update description is UTF-8";
        }
    }
    return std::wstring();
}

// MSXML stops reading at a NUL and may take what follows the root: only blanks may.
bool EndsWithRoot(const std::string& bytes)
{
    size_t end = bytes.size();
    while (end && IsBlank(bytes[end - 1]))
        --end;
    const std::string closing = "</update>";
    return end >= closing.size() && bytes.compare(end - closing.size(), closing.size(), closing) == 0;
}

} // namespace

std::wstring ParseManifest(const std::string& bytes, Manifest& manifest)
{
    manifest = Manifest();
    std::wstring rawError = CheckRawDescription(bytes);
    if (!rawError.empty())
        return rawError;
    std::wstring text;
    if (!FromUtf8(bytes, text))
        return L"is not UTF-8 text";

    CLSID documentClass;
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &documentClass)) ||
        FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, kDocument2,
                                reinterpret_cast<void**>(&document))))
        return L"cannot be read: MSXML 6 is not available";
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    Bstr source(text);
    if (FAILED(document->loadXML(source, &loaded)) || loaded != VARIANT_TRUE) {
        std::wstring reason;
        ComPtr<IXMLDOMParseError> parseError;
        Bstr why;
        long line = 0;
        if (SUCCEEDED(document->get_parseError(&parseError)) && parseError) {
            parseError->get_reason(&why);
            parseError->get_line(&line);
        }
        reason = why.str();
        while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
            reason.pop_back();
        return L"is not well-formed XML" + (line ? L" (line " + std::to_wstring(line) + L": " + reason + L")"
                                                 : reason.empty() ? std::wstring() : L" (" + reason + L")");
    }

    ComPtr<IXMLDOMElement> root;
    Bstr rootName;
    if (FAILED(document->get_documentElement(&root)) || !root || FAILED(root->get_nodeName(&rootName)) ||
        rootName.str() != L"update")
        return L"has no <update> element at its root";
    if (!EndsWithRoot(bytes))
        return L"has something after the end of its <update> element";
    std::vector<std::wstring> values;
    std::wstring error = Attributes(root.Get(), L"<update>", {L"format", L"version", L"expires"}, values);
    if (!error.empty())
        return error;
    uint32_t format = 0;
    if (!ReadNumber(values[0], 0xFFFFFFFFull, format) || format != kManifestFormat)
        return L"is of format \"" + values[0] + L"\"; this updater reads format " + std::to_wstring(kManifestFormat);
    if (!ReadNumber(values[1], 0xFFFFFFFFull, manifest.version) || manifest.version == 0)
        return L"has the version \"" + values[1] + L"\", which is not a number from 1 to 4294967295";
    if (!ParseUtcTime(values[2], manifest.expires))
        return L"has the expiry time \"" + values[2] + L"\", which is not of the form YYYY-MM-DDTHH:MM:SSZ";

    ComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (FAILED(root->get_childNodes(&children)) || !children || FAILED(children->get_length(&count)))
        return L"cannot be read";
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        DOMNodeType type = NODE_INVALID;
        if (FAILED(children->get_item(i, &child)) || !child || FAILED(child->get_nodeType(&type)))
            return L"cannot be read";
        if (type == NODE_COMMENT || type == NODE_TEXT || type == NODE_PROCESSING_INSTRUCTION) {
            Bstr content;
            if (type == NODE_TEXT && SUCCEEDED(child->get_text(&content)) && !content.str().empty())
                return L"holds text outside the file elements";
            continue;
        }
        Bstr name;
        if (type != NODE_ELEMENT || FAILED(child->get_nodeName(&name)) || name.str() != L"file")
            return L"holds an element <" + name.str() + L"> that this updater does not know";
        if (manifest.files.size() == kMaxManifestFiles)
            return L"lists more than " + std::to_wstring(kMaxManifestFiles) + L" files";
        error = ReadFileElement(child.Get(), manifest);
        if (!error.empty())
            return error;
        ComPtr<IXMLDOMNode> grandchild;
        if (SUCCEEDED(child->get_firstChild(&grandchild)) && grandchild)
            return L"a file element has content; it takes attributes only";
    }
    if (manifest.files.empty())
        return L"lists no files";
    return CheckManifest(manifest, bytes);
}

std::string WriteManifest(const Manifest& manifest)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<update format=\"" +
                      std::to_string(kManifestFormat) + "\" version=\"" + std::to_string(manifest.version) +
                      "\" expires=\"" + Narrow(FormatUtcTime(manifest.expires)) + "\">\r\n";
    for (const ManifestFile& file : manifest.files)
        xml += "  <file name=\"" + Narrow(file.name) + "\" size=\"" + std::to_string(file.size) + "\" sha256=\"" +
               ToHex(file.sha256.data(), file.sha256.size()) + "\"/>\r\n";
    return xml + "</update>\r\n";
}

bool ParseUtcTime(const std::wstring& text, uint64_t& time)
{
    // 2027-01-05T12:00:00Z: digits at fixed places.
    static const wchar_t pattern[] = L"dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != wcslen(pattern))
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == L'd' ? (text[i] < L'0' || text[i] > L'9') : text[i] != pattern[i])
            return false;
    auto number = [&](size_t at, size_t digits) {
        return WORD(std::wcstoul(text.substr(at, digits).c_str(), nullptr, 10));
    };
    SYSTEMTIME system = {};
    system.wYear = number(0, 4);
    system.wMonth = number(5, 2);
    system.wDay = number(8, 2);
    system.wHour = number(11, 2);
    system.wMinute = number(14, 2);
    system.wSecond = number(17, 2);
    FILETIME file;
    if (system.wYear < 1601 || system.wMonth < 1 || system.wMonth > 12 || system.wDay < 1 || system.wDay > 31 ||
        system.wHour > 23 || system.wMinute > 59 || system.wSecond > 59 || !SystemTimeToFileTime(&system, &file))
        return false;
    // SystemTimeToFileTime accepts 31 February on some systems: the time must come back as written.
    SYSTEMTIME back;
    if (!FileTimeToSystemTime(&file, &back) || back.wDay != system.wDay)
        return false;
    time = (uint64_t(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

std::wstring FormatUtcTime(uint64_t time)
{
    FILETIME file = {DWORD(time), DWORD(time >> 32)};
    SYSTEMTIME system = {};
    FileTimeToSystemTime(&file, &system);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", system.wYear, system.wMonth, system.wDay, system.wHour,
             system.wMinute, system.wSecond);
    return text;
}

uint64_t UtcNow()
{
    FILETIME file;
    GetSystemTimeAsFileTime(&file);
    return (uint64_t(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}
