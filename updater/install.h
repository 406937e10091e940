// Installing a downloaded, checked database into the installation folder, and the version the last
// update installed ("database.ver" in that folder: the decimal version and a line end).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

extern const wchar_t kVersionFileName[];

// The exit code of an Update.exe that a test made crash in the middle of installing.
constexpr unsigned kCrashedForTesting = 86;

// Creates path and its missing parents; true when it is a folder afterwards.
bool MakeFolders(const std::wstring& path);

// The version recorded in installDir; 0 when there is none yet. note tells about a record that
// could not be read (and so counts as 0).
uint32_t ReadInstalledVersion(const std::wstring& installDir, std::wstring& note);

// Replaces the files names (in folder) in installDir and records version, as one set (data/fileset):
// afterwards either all of them and the version are in place or the old set is. Empty text on
// success, else what failed.
std::wstring InstallSet(const std::wstring& installDir, const std::wstring& folder,
                        const std::vector<std::wstring>& names, uint32_t version);
