// The updater's command line: six arguments, made by the Update page (and the benchmark) and split
// by the updater itself.
#pragma once
#include <string>
#include <vector>

// The updater's argument text: base URL, "DIR", update.xml, "DIR", "\Temp\Dialpass", "DIRupdate.log"
// (dir ends in a backslash, which stays right before the closing quote). Inline: the applet makes
// the line without linking the updater.
inline std::wstring UpdaterArguments(const wchar_t* baseUrl, const wchar_t* dir)
{
    std::wstring text = baseUrl;  // appended piece by piece: the applet's smallest code for it
    text += L" \"";
    text += dir;
    text += L"\" update.xml \"";
    text += dir;
    text += L"\" \"\\Temp\\Dialpass\" \"";
    text += dir;
    text += L"update.log\"";
    return text;
}

// Splits a command line at blanks and tabs outside double quotes. A double quote toggles quoting and
// is dropped; a backslash is an ordinary character, so "C:\Card\" is one argument ending in a
// backslash (the C runtime and CommandLineToArgvW read \" as a literal quote there). "" gives an
// empty argument.
std::vector<std::wstring> SplitCommandLine(const wchar_t* line);

struct UpdateArguments {
    std::wstring baseUrl;         // http(s)://host[:port]/path, without a trailing slash
    std::wstring installDir;      // the installation folder, as given (trailing backslash or not)
    std::wstring descriptionName; // name of the update description on the site, "update.xml"
    std::wstring tempFolder;      // where downloads go, made absolute on the installation folder's drive
    std::wstring logPath;         // the log file
};

// Reads the six arguments: base URL, installation folder, description name, installation folder
// again, temporary folder, log file. The program's own name may come first (a shell passes it, the
// applet does not). Returns an empty text on success, else what is wrong. The log path is filled in
// whenever a sixth argument exists, so that even a refusal can be logged.
std::wstring ParseArguments(const std::vector<std::wstring>& arguments, UpdateArguments& parsed);

// A folder without a drive ("\Temp\Dialpass") is taken on the drive (or the \\server\share) of
// reference; an absolute path stays as it is.
std::wstring OnDriveOf(const std::wstring& path, const std::wstring& reference);

// "C:\Card", "C:\Card\" and "c:/card" name the same folder.
bool SamePathText(const std::wstring& a, const std::wstring& b);
