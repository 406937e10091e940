// dpdb publish: a folder for the update site, from plain database sources.
#pragma once
#include <string>
#include <vector>

#include "data/dbcheck.h"
#include "data/fileset.h"
#include "updater/crypto.h"
#include "updater/manifest.h"

// args: "publish" SRC OUT --version N [--expires DAYS] [--key FILE]. out and err print one line.
// Returns dpdb's exit codes: 0 published, 1 the sources have errors, 2 bad command line, 3 a file
// could not be read or written (or the key cannot be used).
int PublishCommand(const std::vector<std::wstring>& args, void (*out)(const std::wstring&),
                   void (*err)(const std::wstring&));

extern const wchar_t kPublishHelp[];

// A version of a database set: 1 to 4294967295.
bool ReadVersion(const std::wstring& text, long long& version);

// Reads the signing key (PEM) at keyPath; empty: DIALPASS_SIGNING_KEY, else the build's own key,
// signing\private.pem beside the program's folder. Empty text on success, else what is wrong.
std::wstring ReadSigningKey(std::wstring keyPath, PrivateKey& key);

// Adds the checked plain files to set, scrambled as installed, lists them in manifest (its version
// and expiry already set), and makes its description (xml, named descriptionName in messages) and
// key's signature of it. Returns dpdb's exit code (0 done; 1 the updater would refuse it; 3 no hash
// or no signature), having said why.
int AddSignedSet(std::vector<DbFile>& files, Manifest& manifest, const PrivateKey& key, const wchar_t* descriptionName,
                 FileSet& set, std::string& xml, std::string& signature, void (*err)(const std::wstring&));
