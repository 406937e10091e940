#include "updater/commandline.h"

#include <windows.h>

#include "base/path.h"
#include "data/datafile.h"
#include "updater/manifest.h"

std::vector<std::wstring> SplitCommandLine(const wchar_t* line)
{
    std::vector<std::wstring> arguments;
    if (!line)
        return arguments;
    std::wstring current;
    bool inArgument = false, quoted = false;
    for (const wchar_t* p = line; *p; ++p) {
        if (*p == L'"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (*p == L' ' || *p == L'\t')) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += *p;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

namespace {

bool IsUrl(const std::wstring& text)
{
    return text.compare(0, 7, L"http://") == 0 || text.compare(0, 8, L"https://") == 0;
}

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           path.compare(0, 2, L"\\\\") == 0;
}

// "C:/x/" -> "C:\x" with backslashes, for comparing folders.
std::wstring Normalised(std::wstring path)
{
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

std::wstring OnDriveOf(const std::wstring& path, const std::wstring& reference)
{
    if (IsAbsolute(path) || path.empty() || (path[0] != L'\\' && path[0] != L'/'))
        return path;
    if (reference.size() >= 2 && reference[1] == L':')
        return reference.substr(0, 2) + path;
    if (reference.compare(0, 2, L"\\\\") == 0) {
        // \\server\share is the "drive" of a network path.
        size_t server = reference.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? server : reference.find(L'\\', server + 1);
        return (share == std::wstring::npos ? reference : reference.substr(0, share)) + path;
    }
    return path;
}

bool SamePathText(const std::wstring& a, const std::wstring& b)
{
    return SameName(Normalised(a), Normalised(b));
}

std::wstring ParseArguments(const std::vector<std::wstring>& given, UpdateArguments& parsed)
{
    std::vector<std::wstring> arguments = given;
    if (arguments.size() == 7 && !IsUrl(arguments[0]))
        arguments.erase(arguments.begin());
    if (arguments.size() >= 6)
        parsed.logPath = arguments[5];
    if (arguments.size() != 6)
        return L"expected 6 arguments (base URL, installation folder, update description, installation folder, "
               L"temporary folder, log file), got " + std::to_wstring(arguments.size());
    parsed.baseUrl = arguments[0];
    while (!parsed.baseUrl.empty() && parsed.baseUrl.back() == L'/')
        parsed.baseUrl.pop_back();
    // A folder without a drive is where the applet reads it: on the current drive, which the applet's
    // updater shares with it (started without a folder of its own).
    parsed.installDir = IsAbsolute(arguments[1]) ? arguments[1] : ResolveDataFolder(arguments[1]);
    parsed.descriptionName = arguments[2];
    parsed.tempFolder = OnDriveOf(arguments[4], parsed.installDir);
    if (!IsUrl(parsed.baseUrl))
        return L"the base URL \"" + arguments[0] + L"\" does not start with http:// or https://";
    if (arguments[1].empty() || !IsAbsolute(parsed.installDir))
        return L"the installation folder \"" + arguments[1] + L"\" is not a full path";
    if (!SamePathText(parsed.installDir, IsAbsolute(arguments[3]) ? arguments[3] : ResolveDataFolder(arguments[3])))
        return L"the installation folder is given as \"" + arguments[1] + L"\" and as \"" + arguments[3] +
               L"\"; the updater installs only into the folder whose version it read";
    if (!IsPlainName(parsed.descriptionName))
        return L"the update description \"" + parsed.descriptionName + L"\" is not a plain file name";
    if (!IsAbsolute(parsed.tempFolder))
        return L"the temporary folder \"" + arguments[4] + L"\" is not a full path";
    return std::wstring();
}
