// dpdb: the card database tool. Scrambles and unscrambles database files, checks a database
// directory with the applet's own parsers, and builds an installable directory from plain sources.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/handle.h"
#include "base/path.h"
#include "data/datafile.h"
#include "data/dbcheck.h"
#include "data/fileset.h"
#include "data/safefile.h"
#include "publish.h"
#include "updater/install.h"

namespace {

enum ExitCode {
    kOk = 0,
    kProblems = 1,   // the database has errors (check, build)
    kUsage = 2,      // bad command line
    kFileError = 3,  // a file or directory could not be read or written
};

const wchar_t kHelp[] =
    L"Usage: dpdb COMMAND ARGUMENTS\n"
    L"\n"
    L"The card database tool of Dialpass. Database files are 8-bit text, one record per line,\n"
    L"lines ended by CR LF; installed, they are scrambled with the applet's key.\n"
    L"\n"
    L"Commands:\n"
    L"  scramble IN OUT      scramble the plain-text file IN into OUT\n"
    L"  unscramble IN OUT    unscramble the installed file IN into OUT (the same operation)\n"
    L"  check [--plain] DIR  parse country.dat, providers.dat, manufacturers.dat and every\n"
    L"                       access-number file that manufacturers.dat names, as the applet\n"
    L"                       does, and print \"file:line: what is wrong\" for each bad line;\n"
    L"                       --plain reads DIR as plain-text sources instead of scrambled files\n"
    L"  build SRC DIR [--version N [--key FILE]]\n"
    L"                       check the plain-text sources in SRC (lines ended by LF or CR LF),\n"
    L"                       then write them scrambled, with CR LF, to DIR (created when missing;\n"
    L"                       not SRC itself) and check DIR; nothing is written when SRC has errors.\n"
    L"                       --version also writes the records of an installed set of version N\n"
    L"                       as Update.exe does: database.ver, database.xml and database.sig,\n"
    L"                       signed with the key of publish (--key, DIALPASS_SIGNING_KEY, the\n"
    L"                       build's own); the description has expired as it is made\n"
    L"  publish SRC OUT --version N [--expires DAYS] [--key FILE]\n"
    L"                       write a signed folder for the update site (dpdb publish --help)\n"
    L"  --help               show this text\n"
    L"\n"
    L"build replaces the files of DIR as one set: a reader finds the whole old set or the whole new\n"
    L"one, and an interrupted build is finished by whoever opens DIR next. One writer at a time: a\n"
    L"second one waits up to 10 seconds. Warnings (\"warning:\") do not fail a command.\n"
    L"\n"
    L"Exit codes: 0 success, 1 the database has errors, 2 bad command line,\n"
    L"3 a file or directory could not be read or written.\n";

void Write(HANDLE handle, const std::wstring& text)
{
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.c_str(), DWORD(text.size()), &done, nullptr);
        return;
    }
    std::string bytes = ToUtf8(text);
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &done, nullptr);
}

void Out(const std::wstring& text)
{
    Write(GetStdHandle(STD_OUTPUT_HANDLE), text + L"\n");
}

void Err(const std::wstring& text)
{
    Write(GetStdHandle(STD_ERROR_HANDLE), L"dpdb: " + text + L"\n");
}

int Usage(const std::wstring& text)
{
    Err(text);
    Err(L"run \"dpdb --help\" for the commands");
    return kUsage;
}

std::wstring Number(unsigned long long value)
{
    return std::to_wstring(value);
}

// Reads a whole file of any size up to 256 MiB; false with a message on failure.
bool ReadWhole(const std::wstring& path, std::vector<char>& bytes)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Err(path + L": cannot be opened: " + SystemErrorText(GetLastError()));
        return false;
    }
    LARGE_INTEGER size;
    DWORD read = 0, code = 0;
    if (!GetFileSizeEx(file.Get(), &size)) {
        code = GetLastError();
    } else if (size.QuadPart > (256ll << 20)) {
        code = ERROR_FILE_TOO_LARGE;
    } else {
        bytes.resize(size_t(size.QuadPart));
        if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr))
            code = GetLastError();
        else if (read != bytes.size())
            code = ERROR_HANDLE_EOF;
    }
    file.Close();
    if (code)
        Err(path + L": cannot be read whole: " + SystemErrorText(code));
    return !code;
}

int ScrambleCommand(const std::wstring& in, const std::wstring& out, bool scramble)
{
    std::vector<char> bytes;
    if (!ReadWhole(in, bytes))
        return kFileError;
    if (bytes.size() > kMaxDataFileSize)
        Err(L"warning: " + in + L" has " + Number(bytes.size()) +
            L" bytes; the applet reads only files smaller than 65,536 bytes");
    ::Scramble(bytes.data(), bytes.size());
    FileSetError error;
    if (!WriteWholeFile(out.c_str(), bytes.data(), bytes.size(), &error)) {
        Err(error.Text());
        return kFileError;
    }
    Out((scramble ? L"scrambled " : L"unscrambled ") + in + L" to " + out + L" (" + Number(bytes.size()) +
        L" bytes)");
    return kOk;
}

bool IsDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder to read: true, or false after saying why not.
bool ReadableDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        Err(path + L": cannot be opened: " + SystemErrorText(GetLastError()));
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Err(path + L": not a directory");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates path and its missing parents.
bool MakeDirectories(const std::wstring& path)
{
    if (path.empty() || IsDirectory(path))
        return true;
    size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && path[cut - 1] != L':')
        if (!MakeDirectories(path.substr(0, cut)))
            return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void PrintProblems(const DbCheckResult& result)
{
    for (const DbProblem& problem : result.problems)
        Out(FormatProblem(problem));
}

std::wstring Summary(const DbCheckResult& result)
{
    std::wstring text = Number(result.files.size()) + L" files, " + Number(result.records) + L" records, " +
                        Number(result.bytes) + L" bytes";
    if (result.Errors())
        text += L", " + Number(result.Errors()) + L" errors";
    if (result.Warnings())
        text += L", " + Number(result.Warnings()) + L" warnings";
    return text;
}

int Check(const std::wstring& directory, bool plain)
{
    if (!ReadableDirectory(directory))
        return kFileError;
    FileSetError error;
    if (!plain && !RecoverFolder(directory, &error)) {
        Err(error.Text());
        return kFileError;
    }
    DbCheckResult result = CheckDatabase(directory, plain);
    PrintProblems(result);
    Out(directory + L": " + Summary(result) + (result.Errors() ? L"" : L": clean"));
    return result.Errors() ? kProblems : kOk;
}

// True when both paths name one existing folder, however they are spelled.
bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        UniqueHandle folder(CreateFileW(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folder || !GetFileInformationByHandle(folder.Get(), &info[i]))
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// The records of an installed set that Update.exe writes beside the files, version 0 for none.
struct BuildRecord {
    uint32_t version = 0;
    std::wstring keyPath;
};

int Build(const std::wstring& source, const std::wstring& target, const BuildRecord& record)
{
    if (!ReadableDirectory(source))
        return kFileError;
    PrivateKey key;
    std::wstring keyError = record.version ? ReadSigningKey(record.keyPath, key) : std::wstring();
    if (!keyError.empty()) {
        Err(keyError);
        return kFileError;
    }
    if (SameFolder(source, target))
        return Usage(L"build: " + target + L" is the source folder; the scrambled files go to another folder");
    DbCheckResult checked = CheckDatabase(source, true);
    PrintProblems(checked);
    if (checked.Errors()) {
        Err(source + L": " + Summary(checked) + L"; nothing was written");
        return kProblems;
    }

    // Plain .dat files that the database does not name are not installed.
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW(JoinPath(source, L"*.dat").c_str(), &found));
    if (search) {
        do {
            bool named = false;
            for (const DbFile& file : checked.files)
                named = named || SameName(file.name, found.cFileName);
            if (!named && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                Out(JoinPath(source, found.cFileName) + L": warning: not named by manufacturers.dat; not installed");
        } while (FindNextFileW(search.Get(), &found));
    }

    if (!MakeDirectories(target)) {
        Err(target + L": cannot create the directory: " + SystemErrorText(GetLastError()));
        return kFileError;
    }
    FileSet set(target);
    if (record.version) {
        // The description expires as it is made: it tells what is installed and is never an update.
        Manifest manifest;
        manifest.version = record.version;
        manifest.expires = UtcNow();
        std::string xml, signature;
        int code = AddSignedSet(checked.files, manifest, key, kRecordFileName, set, xml, signature, Err);
        if (code != kOk)
            return code;
        set.Add(kRecordFileName, xml);
        set.Add(kRecordSignatureFileName, signature);
        set.Add(kVersionFileName, VersionRecordBytes({record.version, KeyId(key.publicKey)}));
    } else {
        for (DbFile& file : checked.files) {
            ::Scramble(&file.text[0], file.text.size());
            set.Add(file.name, std::move(file.text));
        }
    }
    if (!set.Commit()) {
        Err(set.Error().Text());
        return kFileError;
    }
    DbCheckResult installed = CheckDatabase(target, false);
    if (installed.Errors()) {
        PrintProblems(installed);
        Err(target + L": the installed files do not check clean");
        return kProblems;
    }
    Out(L"built " + target + L" from " + source + L": " + Summary(installed));
    return kOk;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage(L"no command given");
    const std::wstring& command = args[0];
    if (command == L"--help" || command == L"-h" || command == L"help" || command == L"/?") {
        Write(GetStdHandle(STD_OUTPUT_HANDLE), kHelp);
        return kOk;
    }
    if (command == L"scramble" || command == L"unscramble") {
        if (args.size() != 3)
            return Usage(command + L" takes two arguments: IN OUT");
        return ScrambleCommand(args[1], args[2], command == L"scramble");
    }
    if (command == L"check") {
        bool plain = args.size() >= 2 && args[1] == L"--plain";
        if (args.size() != (plain ? 3u : 2u))
            return Usage(L"check takes one directory: check [--plain] DIR");
        if (args.back().compare(0, 2, L"--") == 0)
            return Usage(L"unknown option \"" + args.back() + L"\"");
        return Check(args.back(), plain);
    }
    if (command == L"build") {
        BuildRecord record;
        std::wstring versionText;
        if (args.size() >= 5 && args[3] == L"--version")
            versionText = args[4];
        if (args.size() == 7 && args[5] == L"--key")
            record.keyPath = args[6];
        long long version = 0;
        if ((args.size() != 3 && args.size() != 5 && (args.size() != 7 || record.keyPath.empty())) ||
            (args.size() > 3 && versionText.empty()))
            return Usage(L"build takes two directories: build SRC DIR [--version N [--key FILE]]");
        if (!versionText.empty() && !ReadVersion(versionText, version))
            return Usage(L"--version \"" + versionText + L"\" is not a number from 1 to 4294967295");
        record.version = uint32_t(version);
        return Build(args[1], args[2], record);
    }
    if (command == L"publish")
        return PublishCommand(args, Out, Err);
    return Usage(L"unknown command \"" + command + L"\"");
}
