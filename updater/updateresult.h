// The updater's exit codes, shared with the Update page that reads them.
#pragma once

enum UpdateResult {
    kUpdated = 0,
    kNothingNew = 1,
    kUpdateFailed = 2,
};
