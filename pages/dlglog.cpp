#include "pages/dlglog.h"

#include <string>
#include <vector>

#include "base/handle.h"
#include "resources/resource.h"
#include "updater/updatelog.h"

CDlgTextFile::CDlgTextFile(const wchar_t* file) : CDialog(IDD_TEXT_FILE)
{
    lstrcpynW(path, file ? file : L"", ARRAYSIZE(path));
}

INT_PTR CDlgTextFile::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    // A log that cannot be opened shows as an empty viewer, like an empty log.
    if (file) {
        DWORD size = GetFileSize(file.Get(), nullptr);
        std::vector<char> bytes(size == INVALID_FILE_SIZE ? 0 : size);
        DWORD read = 0;
        if (!bytes.empty() && ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) && read) {
            // The updater appends each run to the log: the last run is the one this message is about.
            const char* shown = bytes.data();
            std::string all(bytes.data(), read);
            // A run header counts only at the start of a line: a step's line may quote it.
            size_t last = all.rfind(kRunHeader);
            while (last != std::string::npos && last != 0 && all[last - 1] != '\n')
                last = all.rfind(kRunHeader, last - 1);
            if (last != std::string::npos)
                shown += last;
            int count = int(read - (shown - bytes.data()));
            int length = MultiByteToWideChar(CP_ACP, 0, shown, count, nullptr, 0);
            std::vector<wchar_t> text(size_t(length) + 1, L'\0');
            MultiByteToWideChar(CP_ACP, 0, shown, count, text.data(), length);
            SendDlgItemMessageW(window, IDC_TEXT_FILE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
        }
        file.Close();
    }
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgTextFile::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        EndDialog(window, LOWORD(wParam));
    return CDialog::OnCommand(wParam, lParam);
}
