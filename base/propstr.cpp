#include "base/propstr.h"

#include <cwchar>
#include <vector>

int CPropertyString::Load(HINSTANCE module, UINT id)
{
    if (!module || !id)
        return SetText(nullptr);
    CString entry;
    if (!entry.LoadResource(module, id))
        return 0;
    return SetText(entry.Text());
}

int CPropertyString::SetText(const wchar_t* text)
{
    if (!text) {
        Clear();
        return 1;
    }
    int length = int(wcslen(text));
    CSection<wchar_t> section(text, length);
    std::vector<wchar_t> field(size_t(length) + 1);
    const wchar_t* cursor = section.begin;
    int i = 0;
    do {
        section.CopyField(field.data(), cursor);
        At(i++).Assign(field.data());
    } while (section.NextField(cursor));
    return 1;
}
