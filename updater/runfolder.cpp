#include "updater/runfolder.h"

#include "base/path.h"
#include "data/dbcheck.h"
#include "updater/install.h"

namespace {

const wchar_t kRunPrefix[] = L"run-";
const wchar_t kOwnerName[] = L"owner.lock";

std::wstring FullPath(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, nullptr);
    return length && length < ARRAYSIZE(buffer) ? std::wstring(buffer, length) : path;
}

// True when handle is the entry at path itself: not a link (Windows reports one when opened with
// FILE_FLAG_OPEN_REPARSE_POINT) and not a link that the system followed to somewhere else (Wine
// opens the target of a Unix symbolic link even then; only its final path tells).
bool IsOwnEntry(HANDLE handle, const std::wstring& path, bool& isLink, std::wstring* leadsTo = nullptr)
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    isLink = GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) &&
             (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (isLink)
        return false;
    wchar_t final[MAX_PATH * 2];
    DWORD length = GetFinalPathNameByHandleW(handle, final, ARRAYSIZE(final), FILE_NAME_NORMALIZED);
    if (!length || length >= ARRAYSIZE(final))
        return false;
    std::wstring finalPath(final, length);
    if (finalPath.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        finalPath = L"\\\\" + finalPath.substr(8);
    else if (finalPath.compare(0, 4, L"\\\\?\\") == 0)
        finalPath.erase(0, 4);
    if (leadsTo)
        *leadsTo = finalPath;
    std::wstring expected = FullPath(path);
    return SameName(finalPath, expected);
}

UniqueHandle OpenEntry(const std::wstring& path, DWORD access)
{
    return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// What failed with the system's code (taken by the caller first: building the text may change it).
std::wstring Failure(const std::wstring& what, DWORD error)
{
    return what + L" (error " + std::to_wstring(error) + L")";
}

// Holds the folder at path open (no delete sharing: it cannot be renamed or replaced meanwhile);
// none with the reason when it cannot be opened, is a link or lies below one.
UniqueHandle HoldOwnFolder(const std::wstring& path, std::wstring& problem)
{
    UniqueHandle handle = OpenEntry(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
    if (!handle) {
        DWORD error = GetLastError();
        problem = Failure(L"cannot open the temporary folder " + path, error);
        return handle;
    }
    bool isLink = false;
    std::wstring leadsTo;
    if (!IsOwnEntry(handle.Get(), path, isLink, &leadsTo)) {
        problem = L"the temporary folder " + path + L" is a link or lies below one" +
                  (isLink || leadsTo.empty() ? std::wstring() : L" (it leads to " + leadsTo + L")") +
                  L"; nothing is downloaded through a link";
        return UniqueHandle();
    }
    return handle;
}

// Deletes what handle holds when it is closed.
void DeleteOnClose(HANDLE handle)
{
    FILE_DISPOSITION_INFO dispose = {TRUE};
    SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof(dispose));
}

// Deletes path if it is an entry of its own (a link only as a link); a folder only when it is a run
// folder, with the plain files in it. Nothing below is ever reached through a link.
void RemoveEntry(const std::wstring& path, bool isFolder)
{
    // A folder is held without DELETE access: FindFirstFileW opens it again without delete sharing.
    UniqueHandle handle = OpenEntry(path, FILE_READ_ATTRIBUTES | (isFolder ? FILE_LIST_DIRECTORY : DELETE));
    if (!handle)
        return;
    bool isLink = false;
    bool own = IsOwnEntry(handle.Get(), path, isLink);
    if (isLink) {
        // The link itself (Windows opened the link, not its target).
        if (isFolder) {
            handle.Close();
            RemoveDirectoryW(path.c_str());
            return;
        }
        DeleteOnClose(handle.Get());
    } else if (own) {
        if (isFolder) {
            // The open handle (no delete sharing) keeps the folder from being swapped while it is emptied.
            WIN32_FIND_DATAW found;
            UniqueFind search(FindFirstFileW(JoinPath(path, L"*").c_str(), &found));
            for (BOOL more = bool(search); more; more = FindNextFileW(search.Get(), &found)) {
                // Plain files, and links as links; a run folder never has folders of its own.
                DWORD attributes = found.dwFileAttributes;
                if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    RemoveEntry(JoinPath(path, found.cFileName), false);
            }
            search.Close();
            handle.Close();
            // Whatever took its place since is not emptied: a link is at most removed as a link.
            RemoveDirectoryW(path.c_str());
            return;
        }
        DeleteOnClose(handle.Get());
    }
}

} // namespace

void SweepAbandoned(const std::wstring& parent)
{
    // A temporary folder that is a link is not swept: what lies at its target is not the updater's.
    std::wstring problem;
    UniqueHandle held = HoldOwnFolder(parent, problem);
    if (!held)
        return;
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW(JoinPath(parent, std::wstring(kRunPrefix) + L"*").c_str(), &found));
    for (BOOL more = bool(search); more; more = FindNextFileW(search.Get(), &found)) {
        std::wstring entry = JoinPath(parent, found.cFileName);
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        // A run still going holds its owner.lock; a link or a file named like a run folder is not one.
        if (!isFolder || GetFileAttributesW(JoinPath(entry, kOwnerName).c_str()) == INVALID_FILE_ATTRIBUTES)
            RemoveEntry(entry, isFolder);
    }
}

std::wstring RunFolder::Create(const std::wstring& parent)
{
    // Nothing is made through a link: not the missing part of the temporary folder (in the deepest
    // folder of it that exists, held meanwhile) and not the run folder (in the temporary folder, held).
    std::wstring existing = parent, problem;
    size_t cut;
    while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (cut = existing.find_last_of(L"\\/")) != std::wstring::npos && cut > 2)
        existing.erase(cut);
    UniqueHandle ancestor;
    if (existing != parent && GetFileAttributesW(existing.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !(ancestor = HoldOwnFolder(existing, problem)))
        return problem;
    bool made = MakeFolders(parent);
    DWORD madeError = GetLastError();
    ancestor.Close();
    if (!made)
        return Failure(L"cannot create the temporary folder " + parent, madeError);
    UniqueHandle held = HoldOwnFolder(parent, problem);
    if (!held)
        return problem;
    return CreateIn(parent);
}

std::wstring RunFolder::CreateIn(const std::wstring& parent)
{
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    std::wstring candidate = JoinPath(parent, kRunPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                  std::to_wstring(counter.QuadPart));
    // A folder that already exists (planted, or left by someone) is never used.
    if (!CreateDirectoryW(candidate.c_str(), nullptr)) {
        DWORD error = GetLastError();
        return Failure(L"cannot create a new folder " + candidate, error);
    }
    folder = OpenEntry(candidate, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
    bool isLink = false;
    if (!folder || !IsOwnEntry(folder.Get(), candidate, isLink)) {
        folder.Close();
        // Made through a link after all: the empty folder made is not left at the link's target.
        RemoveDirectoryW(candidate.c_str());
        return L"the new folder " + candidate + L" is not where it was made (the temporary folder is a link?)";
    }
    path = candidate;
    owner.Reset(CreateFileW(JoinPath(path, kOwnerName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!owner) {
        DWORD error = GetLastError();
        return Failure(L"cannot create " + JoinPath(path, kOwnerName), error);
    }
    return std::wstring();
}

void RunFolder::Remove()
{
    owner.Close();
    folder.Close();
    if (!path.empty())
        RemoveEntry(path, true);
    path.clear();
}
