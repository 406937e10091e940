// The header strip every page carries (a picture across the top and the page title drawn over
// it), and the base of the five pages.
#pragma once
#include <windows.h>
#include "framework/form.h"

class CFrmUtils {
public:
    CFrmUtils() = default;
    // Deletes the header graphics still held.
    ~CFrmUtils();
    CFrmUtils(const CFrmUtils&) = delete;
    CFrmUtils& operator=(const CFrmUtils&) = delete;

    // Stores where images come from and the page's window; on the desktop also fits the page to
    // its sheet's tab area (the device sheet fills the screen by itself).
    void Attach(HINSTANCE instance, HWND page);
    // Shows the "GIF" image imageId, scaled to the page's DPI, in control 5040, shifted down a pixel
    // (two from 144 dpi up) unless keepImagePosition, and gives titleId the title font over a brush
    // cut from the image behind it. With high contrast on there is no image, and the title takes the
    // system's colours.
    void InitHeader(UINT imageId, int titleId, int keepImagePosition);
    // Height is for 96 dpi and scaled to the page's; character set and family follow the page's font.
    void SetControlFont(int id, int height, int width, int weight, BYTE underline, BYTE italic,
                        const wchar_t* faceName);
    // The title's colour message: transparent text over titleBrush, or the system's colours. A new
    // DPI, or high contrast switched, builds the header again; on WM_DESTROY the graphics of this
    // opening are freed. Answers 0 (not handled) to all but the title's colour message.
    LRESULT HeaderCtlColor(UINT message, WPARAM wParam, LPARAM lParam);

    HWND pageWindow = nullptr;
    HINSTANCE instance = nullptr;
    HBITMAP headerImage = nullptr;
    HBITMAP titleBackground = nullptr;  // the piece of headerImage behind the title
    HWND titleWindow = nullptr;
    HBRUSH titleBrush = nullptr;        // pattern brush of titleBackground

private:
    // The 96-dpi header: the strip's height and the title's font height.
    static const int kHeaderHeight = 30;
    static const int kTitleFontHeight = 18;

    // Picture, title font and title brush for headerDpi and the contrast setting of now.
    void BuildHeader();
    void ReleaseHeader();

    UINT headerId = 0;
    int headerDpi = 96;
    int headerOffset = 0;       // how far the picture sits below its template place
    bool highContrast = false;  // what the header was built for

    // Fonts given to controls; they live until the page's window goes.
    static const int kMaxFonts = 4;
    HFONT fonts[kMaxFonts] = {};
    int fontCount = 0;
};

// What the five pages share: a form from its template with the header strip over it. OnInitDialog
// builds the header, runs the page's own OnInitPage, then answers as CDialog does (1); WindowProc
// answers the title's colour message in place of the form's window procedure.
class CFrmPage : public CFormWnd, public CFrmUtils {
public:
    CFrmPage(DWORD templateId, int titleId) : CFormWnd(templateId, 0, 0), titleId(titleId) {}
    ~CFrmPage() override = default;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

protected:
    // The page's own set-up, once the header is in place.
    virtual void OnInitPage() {}

    const int titleId;
};
