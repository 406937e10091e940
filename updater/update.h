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

// The most private memory Update.exe may use: what it needs (a 64 KiB update peaks at ~7 MiB under
// Wine) with room to spare.
constexpr size_t kUpdateMemoryBytes = 48u << 20;

struct UpdateLimits {
    HttpTimeouts timeouts;
    // 0: no watchdog (a caller that is not the updater's own process); else the memory bound, and a
    // request that outlives timeouts.request ends the process with kUpdateFailed.
    size_t memoryBytes = 0;
};

// Runs the update described by arguments, trusting only descriptions signed with one of the keys,
// listed from the oldest to the newest (more than one while the site's key is being replaced). COM
// must be initialised on the calling thread (the description is read with MSXML).
UpdateResult RunUpdate(const UpdateArguments& arguments, const std::vector<PublicKey>& keys, UpdateLog& log,
                       const UpdateLimits& limits = UpdateLimits());
