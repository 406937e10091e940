// Helpers of the card database tests: throwaway directories, "InstallDir", whole-file reads and
// writes, and the built sample database (..\sample beside the test program's bin folder).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/path.h"  // ToUtf8, for texts compared and shown in failures

namespace datatest {

// A fresh directory under parent (made if need be; the temporary folder by default), removed at the end.
class TempDir {
public:
    explicit TempDir(const std::wstring& parent = std::wstring());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const { return path; }
    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }

private:
    std::wstring path;
};

// Sets "InstallDir" (or deletes it with null) while alive; puts the old value back afterwards.
class InstallDirScope {
public:
    explicit InstallDirScope(const wchar_t* directory);
    ~InstallDirScope();
    InstallDirScope(const InstallDirScope&) = delete;
    InstallDirScope& operator=(const InstallDirScope&) = delete;

private:
    std::wstring previous;
    bool hadPrevious = false;
};

// A fresh folder (as TempDir) that "InstallDir" names while alive.
struct InstallFolder : TempDir {
    using TempDir::TempDir;
    InstallDirScope scope{Path().c_str()};
};

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Bytes scrambled as the database reader expects (scrambled again they come back), and written so.
std::string Scrambled(std::string bytes);
bool WriteScrambled(const std::wstring& path, std::string plain);
// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
// The names in a folder, sorted and joined by blanks (a temporary left behind shows up here).
std::string Names(const std::wstring& directory);
// Folder of the test program, the scrambled sample database the build made, and a copy of it.
std::wstring ProgramDir();
std::wstring SampleDir();
void CopySample(const std::wstring& directory);
// What an earlier version left in folder after an OK: its lock marked in order, with a journal in
// the state that kept each target's old file (named by kept, {target, kept name}) as a spare.
bool WriteOldVersionSpares(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& kept);
// Copies the files (not the folders) of one folder into another.
void CopyFiles(const std::wstring& from, const std::wstring& to);
// Calls visit for each entry of a folder but "." and "..".
void ForEachEntry(const std::wstring& directory, const std::function<void(const WIN32_FIND_DATAW&)>& visit);

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout, and stderr unless asked for apart
    std::string errors;  // stderr when asked for apart
    bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
};
// Runs program (null: the first word of the command line, searched for) once per command line, all
// at once; a run still going after timeoutMs is ended.
std::vector<ProgramRun> RunAtOnce(const wchar_t* program, const std::vector<std::wstring>& commandLines,
                                  DWORD timeoutMs = 50000, const wchar_t* currentDir = nullptr,
                                  bool errorsApart = false);

} // namespace datatest
