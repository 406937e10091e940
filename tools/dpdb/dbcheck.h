// Checking a card database directory with the applet's own parsers (data/), for dpdb.
#pragma once
#include <string>
#include <vector>

struct DbProblem {
    std::wstring file;   // the path as it is printed: DIR, a separator, the file name
    unsigned line = 0;   // 1-based; 0 for a problem of the whole file
    std::wstring what;
    bool warning = false;
};

struct DbCheckResult {
    std::vector<DbProblem> problems;
    std::vector<std::wstring> files;  // the database files checked, by name, in order
    unsigned records = 0;
    unsigned bytes = 0;

    unsigned Errors() const;
    unsigned Warnings() const;
};

// Checks country.dat, providers.dat, manufacturers.dat and every access-number file that
// manufacturers.dat names. plain: the files are plain text (sources), else scrambled (installed).
DbCheckResult CheckDatabase(const std::wstring& directory, bool plain);

// "file:line: what" (or "file: what"; warnings say "warning: " before what).
std::wstring FormatProblem(const DbProblem& problem);

// DIR joined with name, with the separator that DIR already uses ('/' when it has only those).
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);
