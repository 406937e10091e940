// The package's one custom action (packageaction.dll in its Binary table), run before costing:
// tells whether the card database in the installation folder is the set this package ships, so that
// installs and repairs put the shipped files back only there and never beside a newer set that
// Update.exe installed (that would mix two sets).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

namespace {

const wchar_t kDatabaseFeature[] = L"Database";

class Handle {
public:
    explicit Handle(MSIHANDLE handle = 0) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_) MsiCloseHandle(handle_);
    }
    MSIHANDLE* Out() { return &handle_; }
    operator MSIHANDLE() const { return handle_; }

private:
    MSIHANDLE handle_;
};

// A string of the installer's, through its two calls: the size first, then the text (empty when either fails).
template <class Key, class Getter>
std::wstring MsiText(MSIHANDLE handle, Key key, Getter get) {
    wchar_t empty[1] = L"";
    DWORD size = 0;
    if (get(handle, key, empty, &size) != ERROR_MORE_DATA) return std::wstring();
    std::wstring value(++size, L'\0');
    if (get(handle, key, &value[0], &size) != ERROR_SUCCESS) return std::wstring();
    value.resize(size);
    return value;
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) { return MsiText(install, name, MsiGetPropertyW); }
std::wstring RecordString(MSIHANDLE record, UINT field) { return MsiText(record, field, MsiRecordGetStringW); }

// One line in the installation's log (msiexec /l*v).
void Log(MSIHANDLE install, const std::wstring& text) {
    Handle record(MsiCreateRecord(0));
    MsiRecordSetStringW(record, 0, (L"Kestrova Dialpass: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

struct ShippedFile {
    std::wstring name;  // the long file name in the folder
    int size = 0;
    MSIFILEHASHINFO hash = {sizeof(MSIFILEHASHINFO), {0, 0, 0, 0}};
};

// The files of the database component, with the sizes and hashes of the package's tables.
std::vector<ShippedFile> ShippedFiles(MSIHANDLE database) {
    std::vector<ShippedFile> files;
    Handle view;
    if (MsiDatabaseOpenViewW(database,
                             L"SELECT `File`.`FileName`, `File`.`FileSize`, `MsiFileHash`.`HashPart1`, "
                             L"`MsiFileHash`.`HashPart2`, `MsiFileHash`.`HashPart3`, `MsiFileHash`.`HashPart4` "
                             L"FROM `File`, `MsiFileHash` WHERE `File`.`File` = `MsiFileHash`.`File_` "
                             L"AND `File`.`Component_` = 'Database'",
                             view.Out()) != ERROR_SUCCESS ||
        MsiViewExecute(view, 0) != ERROR_SUCCESS)
        return files;
    for (;;) {
        Handle record;
        if (MsiViewFetch(view, record.Out()) != ERROR_SUCCESS) break;
        ShippedFile file;
        file.name = RecordString(record, 1);
        size_t bar = file.name.find(L'|');  // "SHORT~1.EXT|long name.ext"
        if (bar != std::wstring::npos) file.name.erase(0, bar + 1);
        file.size = MsiRecordGetInteger(record, 2);
        for (UINT part = 0; part < 4; ++part)
            file.hash.dwData[part] = static_cast<ULONG>(MsiRecordGetInteger(record, 3 + part));
        files.push_back(file);
    }
    return files;
}

// A folder of the Directory table as costing will resolve it, from the nearest one whose property is
// set (a system folder, or one set on the command line or by KeepInstallFolder); empty when none is.
std::wstring Folder(MSIHANDLE install, MSIHANDLE database, const std::wstring& directory, int depth = 0) {
    std::wstring value = Property(install, directory.c_str());
    if (!value.empty()) return value.back() == L'\\' ? value : value + L'\\';
    Handle view, query(MsiCreateRecord(1)), record;
    MsiRecordSetStringW(query, 1, directory.c_str());
    if (depth > 16 ||
        MsiDatabaseOpenViewW(database, L"SELECT `Directory_Parent`, `DefaultDir` FROM `Directory` WHERE `Directory` = ?",
                             view.Out()) != ERROR_SUCCESS ||
        MsiViewExecute(view, query) != ERROR_SUCCESS || MsiViewFetch(view, record.Out()) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring parent = RecordString(record, 1), name = RecordString(record, 2);
    if (parent.empty() || parent == directory) return std::wstring();
    std::wstring base = Folder(install, database, parent, depth + 1);
    name = name.substr(0, name.find(L':'));  // "target:source", each "SHORT|long"
    if (name.find(L'|') != std::wstring::npos) name.erase(0, name.find(L'|') + 1);
    if (base.empty() || name == L".") return base;
    return base + name + L'\\';
}

enum class FileState { kMissing, kSame, kOther };

FileState StateOf(const std::wstring& folder, const ShippedFile& file) {
    std::wstring path = folder + file.name;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::kMissing
                                                                               : FileState::kOther;
    }
    if (attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow != static_cast<DWORD>(file.size))
        return FileState::kOther;
    MSIFILEHASHINFO hash = {sizeof(MSIFILEHASHINFO), {0, 0, 0, 0}};
    if (MsiGetFileHashW(path.c_str(), 0, &hash) != ERROR_SUCCESS) return FileState::kOther;
    for (int part = 0; part < 4; ++part)
        if (hash.dwData[part] != file.hash.dwData[part]) return FileState::kOther;
    return FileState::kSame;
}

bool IsRecord(const std::wstring& name) {
    return CompareStringOrdinal(name.c_str(), -1, L"database.ver", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(name.c_str(), -1, L"database.xml", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(name.c_str(), -1, L"database.sig", -1, TRUE) == CSTR_EQUAL;
}

// The features of REINSTALL ("ALL" or a comma-separated list) without the database's.
std::wstring WithoutDatabase(MSIHANDLE database, const std::wstring& reinstall) {
    std::vector<std::wstring> features;
    if (CompareStringOrdinal(reinstall.c_str(), -1, L"ALL", -1, TRUE) == CSTR_EQUAL) {
        Handle view;
        if (MsiDatabaseOpenViewW(database, L"SELECT `Feature` FROM `Feature`", view.Out()) == ERROR_SUCCESS &&
            MsiViewExecute(view, 0) == ERROR_SUCCESS) {
            for (;;) {
                Handle record;
                if (MsiViewFetch(view, record.Out()) != ERROR_SUCCESS) break;
                features.push_back(RecordString(record, 1));
            }
        }
    } else {
        for (size_t start = 0; start <= reinstall.size();) {
            size_t comma = reinstall.find(L',', start);
            if (comma == std::wstring::npos) comma = reinstall.size();
            features.push_back(reinstall.substr(start, comma - start));
            start = comma + 1;
        }
    }
    std::wstring kept;
    for (const std::wstring& feature : features) {
        if (feature.empty() || feature == kDatabaseFeature) continue;
        kept += (kept.empty() ? L"" : L",") + feature;
    }
    return kept;
}

bool NamesDatabase(const std::wstring& reinstall) {
    if (CompareStringOrdinal(reinstall.c_str(), -1, L"ALL", -1, TRUE) == CSTR_EQUAL) return true;
    std::wstring list = L"," + reinstall + L",";
    return list.find(std::wstring(L",") + kDatabaseFeature + L",") != std::wstring::npos;
}

}  // namespace

// Sets DATABASE_SHIPPED to 1 when the installation folder holds this package's set (its database.ver or its
// database.xml byte for byte) or no set at all (none of the three records), else clears it. A repair
// (REINSTALL) then leaves the database's feature out when the set is another; when it is this
// package's, the files that differ from the shipped ones are deleted first, so that every repair
// mode puts them back (Windows Installer keeps an unversioned file that was changed after it was
// made, as user data).
extern "C" UINT __stdcall CheckShippedDatabase(MSIHANDLE install) {
    Handle database(MsiGetActiveDatabase(install));
    std::wstring folder = Folder(install, database, L"INSTALLFOLDER");
    std::vector<ShippedFile> files = ShippedFiles(database);
    std::vector<FileState> states;
    bool recorded = false, shipped = false;
    for (const ShippedFile& file : files) {
        states.push_back(folder.empty() ? FileState::kMissing : StateOf(folder, file));
        if (!IsRecord(file.name) || states.back() == FileState::kMissing) continue;
        recorded = true;
        // database.sig alone does not tell a set: the same description may be signed again.
        if (states.back() == FileState::kSame && CompareStringOrdinal(file.name.c_str(), -1, L"database.sig", -1,
                                                                      TRUE) != CSTR_EQUAL)
            shipped = true;
    }
    // No files read from the tables: nothing can be told, so nothing is put in.
    shipped = !files.empty() && (shipped || !recorded);
    MsiSetPropertyW(install, L"DATABASE_SHIPPED", shipped ? L"1" : L"");
    Log(install, !shipped         ? L"the card database in " + folder + L" is another set: it is left as it is"
                 : folder.empty() ? L"no installation folder: the shipped card database goes in"
                                  : L"the card database in " + folder + L" is the shipped one, or none");

    std::wstring reinstall = Property(install, L"REINSTALL");
    if (reinstall.empty() || !NamesDatabase(reinstall)) return ERROR_SUCCESS;
    if (!shipped) {
        std::wstring kept = WithoutDatabase(database, reinstall);
        MsiSetPropertyW(install, L"REINSTALL", kept.c_str());
        Log(install, L"REINSTALL " + reinstall + L" becomes " + kept);
        return ERROR_SUCCESS;
    }
    for (size_t index = 0; index < files.size(); ++index) {
        if (states[index] != FileState::kOther) continue;
        bool deleted = DeleteFileW((folder + files[index].name).c_str()) != 0;
        Log(install, (deleted ? L"deleted " : L"could not delete ") + files[index].name +
                         L", which differs from the shipped file, to put the shipped one back");
    }
    return ERROR_SUCCESS;
}
