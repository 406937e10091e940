#include "platform/display.h"

namespace {
template <class Function>
Function User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}
} // namespace

int WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFunction getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window)
        if (UINT dpi = getDpiForWindow(window))
            return int(dpi);
    HDC screen = CreateCompatibleDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        DeleteDC(screen);
    return dpi > 0 ? dpi : 96;
}

bool HighContrastOn()
{
    HIGHCONTRASTW contrast{sizeof(contrast), 0, nullptr};
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) && (contrast.dwFlags & HCF_AVAILABLE))
        return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    // Windows keeps the flags as a decimal string.
    wchar_t flags[16] = L"";
    DWORD size = sizeof(flags);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Accessibility\\HighContrast", L"Flags", RRF_RT_REG_SZ,
                     nullptr, flags, &size) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    for (const wchar_t* c = flags; *c >= L'0' && *c <= L'9'; ++c)
        value = value * 10 + DWORD(*c - L'0');
    return (value & HCF_HIGHCONTRASTON) != 0;
}
