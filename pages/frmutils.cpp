#include "pages/frmutils.h"

#include "base/module.h"
#include "platform/fit.h"
#include "platform/display.h"
#include "platform/propsheet.h"
#include "platform/shell.h"
#include "resources/resource.h"

namespace {
// Module-wide, like the device's: only the Control Panel's thread sets fonts.
TEXTMETRICW pageMetrics;
LOGFONTW controlFont;
} // namespace

CFrmUtils::~CFrmUtils()
{
    ReleaseHeader();
}

void CFrmUtils::Attach(HINSTANCE module, HWND page)
{
    // Graphics of an earlier opening, when its window went without WM_DESTROY reaching us.
    ReleaseHeader();
    instance = module;
    pageWindow = page;
    FitPageToSheet(page);
}

void CFrmUtils::InitHeader(UINT imageId, int titleId, int keepImagePosition)
{
    headerId = imageId;
    titleWindow = GetDlgItem(pageWindow, titleId);
    headerDpi = WindowDpi(pageWindow);
    headerOffset = 0;
    if (!keepImagePosition) {
        // The picture sits a line of pixels below its template place, two from 144 dpi up.
        headerOffset = ScaleToDpi(1, headerDpi);
        HWND image = GetDlgItem(pageWindow, IDC_HEADER_IMAGE);
        RECT r;
        GetWindowRect(image, &r);
        MoveWindow(image, 0, headerOffset, r.right - r.left, r.bottom - r.top + headerOffset, TRUE);
    }
    BuildHeader();
}

void CFrmUtils::BuildHeader()
{
    HWND image = GetDlgItem(pageWindow, IDC_HEADER_IMAGE);
    ReleaseHeader();
    highContrast = HighContrastOn();
    // With high contrast on, no picture: the strip and the title show the page's system colours.
    if (!highContrast)
        headerImage = LoadImageResourceScaled(instance, headerId, ScaleToDpi(kHeaderHeight, headerDpi));
    if (IsFitted(pageWindow)) {
        FitStripPicture(pageWindow, headerImage);
    } else {
        HBITMAP previous = reinterpret_cast<HBITMAP>(
            SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(headerImage)));
        if (previous && previous != headerImage)
            DeleteObject(previous);
    }
    SetControlFont(GetDlgCtrlID(titleWindow), kTitleFontHeight, 0, FW_SEMIBOLD, FALSE, FALSE, L"Tahoma");
    if (!headerImage)
        return;

    RECT page, title;
    GetWindowRect(pageWindow, &page);
    GetWindowRect(titleWindow, &title);
    int width = title.right - title.left, height = title.bottom - title.top;
    // Memory DCs of the screen: a window's DC costs a trip to the server to get and to release.
    HDC imageDc = CreateCompatibleDC(nullptr);
    HDC pieceDc = CreateCompatibleDC(nullptr);
    if (imageDc && pieceDc) {
        HGDIOBJ oldImage = SelectObject(imageDc, headerImage);
        titleBackground = CreateCompatibleBitmap(imageDc, width, height);
        if (titleBackground) {
            HGDIOBJ oldPiece = SelectObject(pieceDc, titleBackground);
            // The offset cancels the image control's shift: this is what shows behind the title.
            BitBlt(pieceDc, 0, 0, width, height, imageDc, title.left - page.left,
                   title.top - page.top - headerOffset, SRCCOPY);
            SelectObject(pieceDc, oldPiece);
        }
        SelectObject(imageDc, oldImage);
    }
    if (imageDc)
        DeleteDC(imageDc);
    if (pieceDc)
        DeleteDC(pieceDc);
    if (titleBackground)
        titleBrush = CreatePatternBrush(titleBackground);
}

void CFrmUtils::SetControlFont(int id, int height, int width, int weight, BYTE underline, BYTE italic,
                               const wchar_t* faceName)
{
    // The metrics of a new DC's own font, the system font, as a window's DC would give them.
    HDC dc = CreateCompatibleDC(nullptr);
    GetTextMetricsW(dc, &pageMetrics);
    ZeroMemory(&controlFont, sizeof(controlFont));
    controlFont.lfHeight = ScaleToDpi(height, headerDpi);
    controlFont.lfWidth = width;
    controlFont.lfWeight = weight;
    controlFont.lfItalic = italic;
    controlFont.lfUnderline = underline;
    controlFont.lfCharSet = pageMetrics.tmCharSet;
    controlFont.lfOutPrecision = OUT_DEFAULT_PRECIS;
    controlFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    controlFont.lfQuality = DEFAULT_QUALITY;
    // TEXTMETRIC's pitch bit means "variable" where LOGFONT's 1 means "fixed": asking with it
    // unconverted gets a fixed-pitch font in place of the face named.
    controlFont.lfPitchAndFamily = BYTE((pageMetrics.tmPitchAndFamily & 0xF0) |
                                        ((pageMetrics.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH
                                                                                            : FIXED_PITCH));
    lstrcpynW(controlFont.lfFaceName, faceName, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&controlFont);
    SendMessageW(GetDlgItem(pageWindow, id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (dc)
        DeleteDC(dc);
    if (!font)
        return;
    if (fontCount == kMaxFonts) {
        // No page sets this many; the oldest font goes rather than leaking the newest.
        DeleteObject(fonts[0]);
        MoveMemory(fonts, fonts + 1, sizeof(fonts) - sizeof(fonts[0]));
        --fontCount;
    }
    fonts[fontCount++] = font;
}

LRESULT CFrmUtils::HeaderCtlColor(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORSTATIC:
        if (!titleWindow || reinterpret_cast<HWND>(lParam) != titleWindow)
            return 0;
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        if (!titleBrush) {
            // No picture behind the title (high contrast): the system's text colour over the page.
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        return reinterpret_cast<LRESULT>(titleBrush);
    case kDpiChanged:
    case kDpiChangedAfterParent:
        if (titleWindow) {
            headerDpi = message == kDpiChanged ? LOWORD(wParam) : WindowDpi(pageWindow);
            BuildHeader();
        }
        return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        // High contrast switched while the page is open: the header is built again at once.
        if (titleWindow && HighContrastOn() != highContrast) {
            BuildHeader();
            RedrawWindow(pageWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
        return 0;
    case WM_DESTROY:
        ReleaseHeader();  // the controls are going with the window; nothing paints with these again
        titleWindow = nullptr;
        return 0;
    default:
        return 0;
    }
}

void CFrmUtils::ReleaseHeader()
{
    if (titleBrush)
        DeleteObject(titleBrush);
    if (headerImage)
        DeleteObject(headerImage);
    if (titleBackground)
        DeleteObject(titleBackground);
    for (int i = 0; i < fontCount; ++i)
        DeleteObject(fonts[i]);
    fontCount = 0;
    titleBrush = nullptr;
    headerImage = nullptr;
    titleBackground = nullptr;
}

LRESULT CFrmPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HeaderCtlColor(message, wParam, lParam);
}

INT_PTR CFrmPage::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    Attach(moduleInstance, window);
    InitHeader(IDR_HEADER, titleId, 0);
    OnInitPage();
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CFrmPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (wParam == IDOK)
        applied = OnApply();
    return CFormWnd::OnCommand(wParam, lParam);
}

LRESULT CFrmPage::OnNotify(WPARAM wParam, NMHDR* header)
{
    applied = true;
    LRESULT answer = CFormWnd::OnNotify(wParam, header);
    if (header && header->code == UINT(PSN_APPLY))
        return applied ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
    return answer;
}

void CFrmPage::ShowSaveFailure(const std::wstring& where, const std::wstring& reason, UINT keptId) const
{
    CString failed, kept, caption;
    failed.LoadResource(moduleInstance, IDS_SAVE_FAILED);
    kept.LoadResource(moduleInstance, keptId);
    caption.LoadResource(moduleInstance, IDS_APP_NAME);
    std::wstring text = std::wstring(failed.Text()) + L"\n\n" + where + L"\n\n" + reason + L".\n\n" + kept.Text();
    HWND sheet = GetParent(window);
    MessageBoxW(sheet ? sheet : window, text.c_str(), caption.Text(), MB_OK | MB_ICONEXCLAMATION);
}
