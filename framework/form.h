// The form: a template window that fills the area given to it, with optional command bar, corner
// buttons, scrolled controls, a main control that follows its size, list sorting, data exchange on
// OK and navigation between forms with a history. Every property-sheet page is a form.
#pragma once
#include <windows.h>
#include "base/tree.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/interfaces.h"

// Style bits, fixed at construction.
#define FS_MOVEDOWN          0x00000001  // set-up moves every control 24 pixels down
#define FS_MAINFORMRECT      0x00000004  // set-up gives the form the main form's window rectangle
#define FS_PLACEINCLIENT     0x00000080  // with FS_NOTABAREA: child forms fill the client area
#define FS_CLOSEBUTTON       0x00000100  // corner button id 2
#define FS_HELPBUTTON        0x00000200  // corner button id 9
#define FS_OKBUTTON          0x00000400  // corner button id 20, sent on as IDOK
#define FS_BELOWBAR          0x00002000  // without FS_EMBEDDED: the main control's top is 24 lower
#define FS_EMBEDDED          0x00004000  // commands go to the current form; the bar is an ancestor's
#define FS_COMMANDBAR        0x00008000  // set-up creates a command bar
#define FS_FOLLOWLEFT        0x00010000  // the main control follows the form's edges
#define FS_FOLLOWTOP         0x00020000
#define FS_FOLLOWBOTTOM      0x00040000
#define FS_FOLLOWRIGHT       0x00080000
#define FS_FOLLOWMASK        0x000F0000
#define FS_NOTABAREA         0x00100000  // child forms are placed without TCM_ADJUSTRECT
#define FS_SORTHEADER        0x00800000  // the main control is a list view sorted by its headers
#define FS_REPLACE           0x01000000  // a child form with a window is re-placed at every navigation
#define FS_NAVIGATEFLAG      0x02000000  // navigation to this form adds FNF_STYLEFLAG
#define FS_DATAEXCHANGE      0x04000000  // UpdateData at set-up (load) and on OK (save)
#define FS_EXPIRE            0x08000000  // deactivated and not in the history: window goes after 90 s
#define FS_HSCROLL           0x50000000
#define FS_VSCROLL           0xA0000000
#define FS_HSCROLLMSG        0x10000000  // which bit lets WM_HSCROLL / WM_VSCROLL scroll
#define FS_VSCROLLMSG        0x20000000

// State bits.
#define FST_ENABLE           0x00000004  // enabled when navigated to
#define FST_NOHOOK           0x00000020  // skip the module's activation hook
#define FST_SORTCOLUMN       0x0000F000
#define FST_SORTSHIFT        12
#define FST_ACTIVATEFLAGS    0x000F0000
#define FST_DESCENDING       0x08000000
#define FST_SCROLLING        0x40000000
#define FST_INITIAL          0x0000000F

// Navigate targets besides a form, and its flags.
#define FORM_BACK            (reinterpret_cast<CFormWnd*>(1))
#define FORM_FORWARD         (reinterpret_cast<CFormWnd*>(2))
#define FNF_QUERY             0x0010
#define FNF_CLEARHISTORY      0x0020
#define FNF_NORECORD          0x0040
#define FNF_STYLEFLAG         0x0080
#define FNF_FROMCURRENT       0x0100
#define FNF_NOSAVE            0x1000
#define FNF_NOLOAD            0x2000

// Posted by Deactivate and Activate; handled by the form's WindowProc.
#define WM_FORMHIDE          0x04C8
#define WM_FORMSHOW          0x04C9
#define IDT_FORMEXPIRE       1967

class CFormWnd : public CDialog, public IDependentObjects, public IContext {
public:
    // One history record.
    struct FHB {
        CFormWnd* host;  // the form whose window holds the recorded one
        CFormWnd* form;
        DWORD unused;
    };

    CFormWnd(DWORD templateId, DWORD style, DWORD menu);
    // Clears the module's current and previous form when they are this one.
    ~CFormWnd() override;

    // Timer IDT_FORMEXPIRE: Destroy.
    void OnTimer(UINT_PTR id) override;
    // Header clicks (FS_SORTHEADER) sort; PSN_APPLY becomes OnCommand(IDOK, 0). Returns 0.
    LRESULT OnNotify(WPARAM wParam, NMHDR* header) override;
    // Forwards to an embedded current form; IDOK saves under FS_DATAEXCHANGE. Returns 0 (or the
    // embedded form's answer).
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Size, close, corner buttons, scrolling, WM_FORMHIDE/WM_FORMSHOW. Returns 0 for a template form.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Destroys the command bar's window and object, then the form's window.
    BOOL Destroy() override;
    // Command bar (shown only for SW_SHOW), main control, then the form's window.
    BOOL Show(int command) override;
    // Command bar, placement, Layout, corner buttons, data load. Returns 0.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    // Slot 10: list sorting; <0, 0, >0 like lstrcmp. Returns 0 here.
    virtual int CompareItems(LPARAM data1, LPARAM data2);
    // Slot 11: main control, scroll bars, corner buttons; width -1 means the client area.
    virtual void Layout(int x, int y, int width, int height);
    // Slot 12: becomes the current form. False refuses.
    virtual BOOL Activate(CFormWnd* from, DWORD flags);
    // Slot 13: stops being current. False refuses.
    virtual BOOL Deactivate(CFormWnd* to);
    // Slot 14: 1 saves controls into the form, 0 loads them. Returns nonzero on success; 1 here.
    virtual int UpdateData(int save, LPARAM lParam);
    // Slot 15: after set-up (0) and after an OK save (1).
    virtual void OnDataExchanged(int saved);
    // Slot 16: enables or disables the window.
    virtual void Enable(BOOL enable);
    // Slots 17 to 20: reserved hooks; the framework does not call them.
    virtual int Hook17();            // 1
    virtual int Hook18();            // the current form's answer on another form, else 0
    virtual int Hook19();            // formHook's answer when set, else 1
    virtual int Hook20();            // 1
    // Slot 21: target is a form, FORM_BACK, FORM_FORWARD or null. False when refused.
    virtual BOOL Navigate(CFormWnd* target, DWORD flags, LPARAM parameter);
    // Slot 22: has the main form navigate here (nothing without a main form). Returns 1.
    virtual int Present();

    // IDependentObjects: a form has no dependents.
    CObject** DependentList() override { return nullptr; }
    // IContext: registry root, "Forms", name, joined by backslashes.
    CString* GetContextPath() override;

    // The nearest of this form and its parents that is not FS_EMBEDDED.
    CFormWnd* CommandBarHost();
    // Whether a history record up to the top holds this form.
    bool InHistory() const;

    const char* name = nullptr;
    DWORD menu;
    CtlCommandBar commandBar;
    DWORD style;
    DWORD state = FST_INITIAL;
    HWND mainControl = nullptr;
    int horizontalPosition = 0;
    int verticalPosition = 0;

    // Milliseconds from deactivation to the window's end under FS_EXPIRE.
    static UINT expireDelay;

private:
    bool PlaceIn(CFormWnd* host);
    void Scroll(int bar, int code);
    RECT ContentRect() const;
    void PlaceCornerButtons(int width);
    static int CALLBACK SortCallback(LPARAM data1, LPARAM data2, LPARAM form);
};

// Module-wide navigation state: one, on the one UI thread.
struct CFormNavigation {
    CFormWnd* mainForm = nullptr;
    CFormWnd* currentForm = nullptr;
    CFormWnd* previousForm = nullptr;
    LPARAM parameter = 0;
    BOOL (*activationHook)(CFormWnd* form, CFormWnd* from, DWORD flags) = nullptr;
    int (*formHook)(CFormWnd* form) = nullptr;
    const wchar_t* registryRoot = L"";
    TArray<CFormWnd::FHB> history;
    int historyTop = -1;
};

extern CFormNavigation formNavigation;
