// Checking a card database directory with the applet's own parsers, for dpdb and the updater.
#pragma once
#include <string>
#include <vector>

struct DbProblem {
    std::wstring file;   // the path as it is printed: DIR, a separator, the file name
    unsigned line = 0;   // 1-based; 0 for a problem of the whole file
    std::wstring what;
    bool warning = false;
};

// A database file as the applet reads it: unscrambled, lines ended by CR LF.
struct DbFile {
    std::wstring name;
    std::string text;
};

struct DbCheckResult {
    std::vector<DbProblem> problems;
    std::vector<DbFile> files;  // the database files read, in order
    unsigned records = 0;
    unsigned bytes = 0;

    unsigned Errors() const;
    unsigned Warnings() const;
};

// Checks country.dat, providers.dat, manufacturers.dat and every access-number file that
// manufacturers.dat names, refusing what the applet would misread. plain: the files are plain-text
// sources, whose lines may end with LF or CR LF (files then holds them with CR LF); else they are
// installed, scrambled files, where a line ends only at CR.
DbCheckResult CheckDatabase(const std::wstring& directory, bool plain);

// "file:line: what" (or "file: what"; warnings say "warning: " before what).
std::wstring FormatProblem(const DbProblem& problem);
