// The update description (update.xml) that the update site signs: its format, its rules for file
// names, and reading and writing it. Example:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <update format="1" version="7" expires="2027-01-05T12:00:00Z">
//     <file name="country.dat" size="4678" sha256="64 hex digits"/>
//     ...
//   </update>
//
// version: 1 to 4294967295, higher is newer; expires: UTC, after which the description is refused;
// one file element per database file, the whole set, with its size in bytes and SHA-256 of the bytes
// as served (scrambled).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "updater/crypto.h"

constexpr uint32_t kManifestFormat = 1;
// Limits on what the updater accepts before it looks further.
constexpr size_t kMaxManifestSize = 64 * 1024;
constexpr size_t kMaxManifestFiles = 1024;

struct ManifestFile {
    std::wstring name;
    uint32_t size = 0;
    Sha256Digest sha256{};
};

struct Manifest {
    uint32_t version = 0;
    uint64_t expires = 0;  // FILETIME units (100 ns since 1601), UTC
    std::vector<ManifestFile> files;
};

// A name without a folder: no separators, no drive, not "." or "..", printable ASCII.
bool IsPlainName(const std::wstring& name);

// Empty when name may be a database file in an update, else why not: a plain name of letters,
// digits, "_" and "-", at most 15 of them (the longest short name of a card provider), then ".dat";
// not the user's own files and not a device name.
std::wstring CheckDataFileName(const std::wstring& name);

// Empty when the updater takes file as listed (a name CheckDataFileName accepts, 1 to 65,535 bytes),
// else why not. dpdb publish checks with this too, so that nothing it publishes is refused.
std::wstring CheckManifestFile(const ManifestFile& file);

// Empty when the updater takes the whole description: every file, no two names that differ only in
// case, at most kMaxManifestFiles of them, and its bytes (xml) at most kMaxManifestSize.
std::wstring CheckManifest(const Manifest& manifest, const std::string& xml);

// Parses the (already verified) bytes with MSXML6. UTF-8 only: no byte-order mark, no NUL, no other
// declared encoding, nothing after the end of the root element. Empty text on success, else what is wrong.
// COM must be initialised on the calling thread.
std::wstring ParseManifest(const std::string& bytes, Manifest& manifest);

// The bytes of update.xml for manifest (UTF-8, CR LF line ends).
std::string WriteManifest(const Manifest& manifest);

// "YYYY-MM-DDTHH:MM:SSZ" <-> FILETIME units; false for any other form.
bool ParseUtcTime(const std::wstring& text, uint64_t& time);
std::wstring FormatUtcTime(uint64_t time);
uint64_t UtcNow();
constexpr uint64_t kFileTimeDay = 864000000000ull;
