// The header strip every page carries (a picture across the top and the page title drawn over
// it), and the base of the five pages.
#pragma once
#include <windows.h>

#include <string>

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
    // OK (1, which the form makes of the sheet's apply notification) runs OnApply; every command then
    // goes to the form's version. A page's own OnCommand passes OK on to this one.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // PSN_APPLY as the form has it; the answer is OnApply's result: PSNRET_NOERROR, or
    // PSNRET_INVALID_NOCHANGEPAGE, which keeps the sheet open on this page.
    LRESULT OnNotify(WPARAM wParam, NMHDR* header) override;

protected:
    // The page's own set-up, once the header is in place.
    virtual void OnInitPage() {}
    // Saves what the page keeps on OK. true: saved (or nothing to save); false: not saved, the failure
    // shown, and the sheet stays open with every edit.
    virtual bool OnApply() { return true; }
    // A save that failed, in the box every page shows for it: string 1060, where (a file's path or a
    // registry value), the reason, then string keptId, each after a blank line.
    void ShowSaveFailure(const std::wstring& where, const std::wstring& reason, UINT keptId) const;

    const int titleId;

private:
    bool applied = true;  // what the last OnApply answered, for the apply notification that ran it
};
