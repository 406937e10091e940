// dpdb publish: a folder for the update site, from plain database sources.
#pragma once
#include <string>
#include <vector>

// args: "publish" SRC OUT --version N [--expires DAYS] [--key FILE]. out and err print one line.
// Returns dpdb's exit codes: 0 published, 1 the sources have errors, 2 bad command line, 3 a file
// could not be read or written (or the key cannot be used).
int PublishCommand(const std::vector<std::wstring>& args, void (*out)(const std::wstring&),
                   void (*err)(const std::wstring&));

extern const wchar_t kPublishHelp[];
