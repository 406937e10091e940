#include "platform/shell.h"

#include <commctrl.h>
#include <algorithm>
#include <objbase.h>
#include <wincodec.h>

#include "base/handle.h"
#include "platform/fit.h"

const wchar_t kDialogClassName[] = L"#32770";

namespace {
SIPSTATE sipPreference = SIP_UNCHANGED;
HWND sipWindow = nullptr;

// Decoded pixels of one GIF resource, top-down 32-bit BGRA. Decoding (COM, WIC) costs more than
// the rest of a page's set-up, and the pictures never change: each is decoded once per process.
struct DecodedImage {
    HINSTANCE module;
    UINT id;
    UINT width, height;
    BYTE* pixels;
};
const int kMaxDecoded = 4;
DecodedImage decoded[kMaxDecoded];
int decodedCount = 0;

// Frees the cache when the module goes.
struct DecodedImages {
    ~DecodedImages()
    {
        for (int i = 0; i < decodedCount; ++i)
            HeapFree(GetProcessHeap(), 0, decoded[i].pixels);
    }
} decodedImages;

bool Decode(IWICImagingFactory* factory, const void* data, DWORD size, DecodedImage& image)
{
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> bgra;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), size)) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), &bgra)))
        return false;
    UINT width = 0, height = 0;
    if (FAILED(bgra->GetSize(&width, &height)) || !width || !height || width > 4096 || height > 4096)
        return false;
    BYTE* pixels = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, SIZE_T(width) * height * 4));
    if (!pixels)
        return false;
    if (FAILED(bgra->CopyPixels(nullptr, width * 4, width * height * 4, pixels))) {
        HeapFree(GetProcessHeap(), 0, pixels);
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels = pixels;
    return true;
}

const DecodedImage* FindDecoded(HINSTANCE module, UINT id)
{
    for (int i = 0; i < decodedCount; ++i)
        if (decoded[i].module == module && decoded[i].id == id)
            return &decoded[i];
    return nullptr;
}

const DecodedImage* DecodeResource(HINSTANCE module, UINT id)
{
    if (const DecodedImage* image = FindDecoded(module, id))
        return image;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"GIF");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = found ? SizeofResource(module, found) : 0;
    if (!data || !size)
        return nullptr;

    DecodedImage image{module, id, 0, 0, nullptr};
    // The Control Panel's thread may or may not have COM up; leave it as it was found.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<IWICImagingFactory> factory;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))))
            Decode(factory.Get(), data, size, image);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    if (!image.pixels)
        return nullptr;
    if (decodedCount == kMaxDecoded) {
        // More pictures than the applet has: keep the newest.
        HeapFree(GetProcessHeap(), 0, decoded[0].pixels);
        MoveMemory(decoded, decoded + 1, sizeof(decoded) - sizeof(decoded[0]));
        --decodedCount;
    }
    decoded[decodedCount] = image;
    return &decoded[decodedCount++];
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

// The device's Done button in the title bar confirms the dialog (command 1); the desktop's close
// box stands in for it, so its close is turned into OK instead of the dialog manager's Cancel.
static LRESULT CALLBACK DoneButtonProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR)
{
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(dialog, DoneButtonProc, id);
    return DefSubclassProc(dialog, message, wParam, lParam);
}

BOOL SHInitDialog(SHINITDLGINFO* info)
{
    if (!info || !IsWindow(info->hDlg))
        return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        RECT work, design;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetClientRect(info->hDlg, &design);
        SetWindowPos(info->hDlg, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        // Like the device's shell, lay the dialog out for the screen, and again when it turns.
        FitControls(info->hDlg, design.right, true);
    }
    if (info->dwFlags & SHIDIF_DONEBUTTON)
        SetWindowSubclass(info->hDlg, DoneButtonProc, 1, 0);
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

namespace {
// A top-down 32-bit DIB section of width x height; bits receives its pixels.
HBITMAP CreateTopDownBitmap(UINT width, UINT height, void*& bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);  // top-down, as WIC hands the rows out
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// How much of source pixel s (of count) the target pixel t (of size) covers, in 1/65536ths of t.
UINT Coverage(UINT t, UINT s, UINT count, UINT size)
{
    // Target pixel t spans [t*count, (t+1)*count) in units of 1/size source pixel.
    UINT64 from = UINT64(t) * count, to = from + count;
    UINT64 begin = std::max<UINT64>(from, UINT64(s) * size), end = std::min<UINT64>(to, UINT64(s + 1) * size);
    return end > begin ? UINT((end - begin) * 65536 / count) : 0;
}
} // namespace

HBITMAP SHLoadImageResource(HINSTANCE module, UINT id)
{
    const DecodedImage* image = DecodeResource(module, id);
    void* bits = nullptr;
    HBITMAP bitmap = image ? CreateTopDownBitmap(image->width, image->height, bits) : nullptr;
    if (bitmap)
        CopyMemory(bits, image->pixels, SIZE_T(image->width) * image->height * 4);
    return bitmap;
}

HBITMAP LoadImageResourceScaled(HINSTANCE module, UINT id, int height)
{
    const DecodedImage* image = DecodeResource(module, id);
    if (!image || height <= 0 || UINT(height) > image->height * 4)
        return nullptr;
    UINT h = UINT(height), w = std::max(1u, UINT(MulDiv(int(image->width), height, int(image->height))));
    void* bits = nullptr;
    HBITMAP bitmap = CreateTopDownBitmap(w, h, bits);
    if (!bitmap)
        return nullptr;
    BYTE* out = static_cast<BYTE*>(bits);
    const UINT sw = image->width, sh = image->height;
    for (UINT y = 0; y < h; ++y) {
        UINT firstRow = UINT(UINT64(y) * sh / h), lastRow = std::min(sh - 1, UINT((UINT64(y + 1) * sh - 1) / h));
        for (UINT x = 0; x < w; ++x) {
            UINT firstColumn = UINT(UINT64(x) * sw / w), lastColumn = std::min(sw - 1, UINT((UINT64(x + 1) * sw - 1) / w));
            UINT64 sum[4] = {}, total = 0;
            for (UINT sy = firstRow; sy <= lastRow; ++sy) {
                UINT rowWeight = Coverage(y, sy, sh, h);
                for (UINT sx = firstColumn; sx <= lastColumn; ++sx) {
                    UINT64 weight = UINT64(rowWeight) * Coverage(x, sx, sw, w);
                    const BYTE* p = image->pixels + (SIZE_T(sy) * sw + sx) * 4;
                    for (int c = 0; c < 4; ++c)
                        sum[c] += weight * p[c];
                    total += weight;
                }
            }
            BYTE* q = out + (SIZE_T(y) * w + x) * 4;
            for (int c = 0; c < 4; ++c)
                q[c] = BYTE(total ? (sum[c] + total / 2) / total : 0);
        }
    }
    return bitmap;
}
