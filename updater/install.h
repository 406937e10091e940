// Installing a downloaded, checked database into the installation folder, and what the folder
// records of the installed set:
//   "database.ver"  the decimal version and CR LF, then "key " and the signing key's id and CR LF (a
//                   record without the key line was written before keys were recorded);
//   "database.xml"  the exact signed bytes of the description (update.xml) of the installed set;
//   "database.sig"  its 64-byte signature.
// All three are replaced in the same set as the database files, so that they always describe them.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "updater/crypto.h"

extern const wchar_t kVersionFileName[];
extern const wchar_t kRecordFileName[];
extern const wchar_t kRecordSignatureFileName[];

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

// The bytes of database.ver for set.
std::string VersionRecordBytes(const InstalledSet& set);

// A description as the site signed it: its exact bytes and its signature.
struct SignedDescription {
    std::string description;
    std::string signature;
};

// What the installation folder holds, judged by its signed record.
struct InstalledState {
    // From database.ver; from the signed record when database.ver is missing or damaged; version 0
    // when the folder has neither (nothing installed yet).
    InstalledSet set;
    // The record verifies with the installed set's key (any trusted key when database.ver names
    // none), agrees with database.ver, and every file it lists has its listed size and SHA-256.
    bool whole = false;
    // Why the set is not whole, or where its version was read from instead: lines for the log.
    std::vector<std::wstring> notes;
    // Not empty when no update may run: database.ver is damaged and no signed record tells the
    // version, so any set could be older than the one installed.
    std::wstring refused;
};

// Reads database.ver and the signed record in installDir and compares the folder with the record;
// keys are the updater's trusted keys, the oldest first. COM must be initialised (MSXML).
InstalledState ReadInstalledState(const std::wstring& installDir, const std::vector<PublicKey>& keys);

// A downloaded file: its name as the description lists it and its verified bytes.
using DownloadedFile = std::pair<std::wstring, std::string>;

// Replaces files in installDir, database.ver (set) and the signed record (record, unless its
// description is empty), as one set (data/fileset): afterwards either all of them are in place or
// the old set is. A file whose name differs only in case from one installed keeps the installed
// spelling. Empty text on success, else what failed.
std::wstring InstallSet(const std::wstring& installDir, std::vector<DownloadedFile> files, const InstalledSet& set,
                        const SignedDescription& record);
