// Installing a downloaded, checked database into the installation folder, and what the last update
// installed ("database.ver" in that folder: the decimal version and CR LF, then "key " and the
// signing key's id and CR LF; a record without the key line was written before keys were recorded).
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "updater/crypto.h"

extern const wchar_t kVersionFileName[];

// The exit code of an Update.exe that a test made crash in the middle of installing.
constexpr unsigned kCrashedForTesting = 86;

// Creates path and its missing parents; true when it is a folder afterwards.
bool MakeFolders(const std::wstring& path);

// The installed set: its version and the id of the key that signed it (empty when not recorded).
struct InstalledSet {
    uint32_t version = 0;
    std::string key;
};

// The id of a signing key in database.ver: the first 8 bytes of the SHA-256 of its point, in hex.
std::string KeyId(const PublicKey& key);

// What installDir records; version 0 when there is nothing yet. note tells about a record that
// could not be read (and so counts as version 0 of no key).
InstalledSet ReadInstalledSet(const std::wstring& installDir, std::wstring& note);

// A downloaded file: its name as the description lists it and its verified bytes.
using DownloadedFile = std::pair<std::wstring, std::string>;

// Replaces files in installDir and records set, as one set (data/fileset): afterwards either all of
// them and the record are in place or the old set is. A file whose name differs only in case from
// one installed keeps the installed spelling. Empty text on success, else what failed.
std::wstring InstallSet(const std::wstring& installDir, std::vector<DownloadedFile> files, const InstalledSet& set);
