// The updater's folders inside the temporary folder: one per run, made fresh and private, and the
// sweep of folders that killed runs left behind. Nothing here follows a link: an entry that is a
// link (or, under Wine, a Unix symbolic link seen through to its target) is never entered or emptied.
#pragma once
#include <windows.h>

#include <string>

#include "base/handle.h"

// Removes the run folders of runs that were killed (their owner.lock is gone); nothing when parent
// is a link or lies below one. Only entries whose
// own path is below parent are deleted; links are removed as links where the system can (Windows)
// and left alone where it cannot (Wine deletes the target of a file link).
void SweepAbandoned(const std::wstring& parent);

// A folder of this run's downloads inside the temporary folder, removed with its files at the end.
// While the run lives it holds the folder open (so that it cannot be renamed or replaced by a link)
// and owner.lock open (deleted when closed, by the system if the run is killed), so that a later
// run can tell abandoned folders from those of a run still going.
class RunFolder {
public:
    RunFolder() = default;
    ~RunFolder() { Remove(); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Empty text on success, else what failed (with the system's code). Fails when the folder exists,
    // and when parent is a link or lies below one (nothing is made at the link's target).
    std::wstring Create(const std::wstring& parent);
    void Remove();
    const std::wstring& Path() const { return path; }

private:
    std::wstring CreateIn(const std::wstring& parent);

    std::wstring path;
    UniqueHandle folder;
    UniqueHandle owner;
};
