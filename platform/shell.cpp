#include "platform/shell.h"

#include <objbase.h>
#include <wincodec.h>

const wchar_t kDialogClassName[] = L"#32770";

namespace {
SIPSTATE sipPreference = SIP_UNCHANGED;
HWND sipWindow = nullptr;

// Releases a COM pointer at scope end; the decoder chain below has four of them.
template <class T>
struct ComRef {
    T* p = nullptr;
    ~ComRef()
    {
        if (p)
            p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

HBITMAP Decode(IWICImagingFactory* factory, const void* data, DWORD size)
{
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICBitmapSource> bgra;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.p, &bgra)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(bgra->GetSize(&width, &height)) || !width || !height)
        return nullptr;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);  // top-down, as WIC hands the rows out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    if (FAILED(bgra->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}
} // namespace

BOOL SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (!info || info->cbSize < sizeof(SHMENUBARINFO) || !IsWindow(info->hwndParent))
        return FALSE;
    info->hwndMB = nullptr;
    if (info->dwFlags & SHCMBF_EMPTYBAR)
        return TRUE;  // the device shows an empty bar; the desktop shows nothing
    HMENU menu = LoadMenuW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId));
    if (!menu)
        return FALSE;
    // The window owns the menu from here on and destroys it with itself.
    if (!SetMenu(info->hwndParent, menu)) {
        DestroyMenu(menu);
        return FALSE;
    }
    info->hwndMB = info->hwndParent;
    return TRUE;
}

BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (!info || !IsWindow(info->hDlg))
        return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        RECT work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(info->hDlg, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (info->dwFlags & SHIDIF_SIPDOWN)
        SHSipPreference(info->hDlg, SIP_DOWN);
    return TRUE;
}

BOOL SHSipPreference(HWND window, SIPSTATE state)
{
    sipPreference = state;
    sipWindow = window;
    return TRUE;
}

SIPSTATE LastSipPreference(HWND* window)
{
    if (window)
        *window = sipWindow;
    return sipPreference;
}

HBITMAP SHLoadImageResource(HINSTANCE module, UINT id)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"GIF");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = found ? SizeofResource(module, found) : 0;
    if (!data || !size)
        return nullptr;

    // The Control Panel's thread may or may not have COM up; leave it as it was found.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HBITMAP bitmap = nullptr;
    {
        ComRef<IWICImagingFactory> factory;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))))
            bitmap = Decode(factory.p, data, size);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return bitmap;
}
