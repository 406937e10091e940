// One run of the updater: fetch and verify the description, fetch and check every file, install.
#pragma once
#include <vector>

#include "updater/commandline.h"
#include "updater/crypto.h"
#include "updater/download.h"
#include "updater/updatelog.h"
#include "updater/updateresult.h"


// Downloads stop after this time; so every run ends within it plus one wait's timeout.
constexpr int kUpdateDeadlineMs = 300000;

// Runs the update described by arguments, trusting only descriptions signed with one of the keys
// (more than one while the site's key is being replaced). COM must be initialised on the calling
// thread (the description is read with MSXML).
UpdateResult RunUpdate(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
                       const HttpTimeouts& timeouts = HttpTimeouts());
