#include "platform/fit.h"

#include <commctrl.h>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/scrollstep.h"
#include "platform/display.h"

RECT RectInClient(HWND window, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool ClassIs(HWND window, const wchar_t* name)
{
    wchar_t found[32] = L"";
    GetClassNameW(window, found, 32);
    return !lstrcmpiW(found, name);
}

namespace {

enum class Kind {
    Plain,    // placed by its row
    Strip,    // picture across the top
    OnStrip,  // lies on the strip (the title over the header picture)
};

enum class Caption {
    None,    // no text to fit
    Wraps,   // a static that breaks its text at words by itself
    Mark,    // a check box's or radio button's caption: made multi-line when one line is too short
    Push,    // a push button's caption, the same; the push buttons of a row keep one height
};

// One control as the design placed it: client coordinates, before any scrolling.
struct Box {
    HWND control;
    RECT design;
    int sizingHeight;  // what a resize passes: a combo box's height includes its list
    Kind kind;
    Caption caption;
    int captionIndent;  // room the check mark or the button's edges take from the caption
};

// Where the boxes go for one client width.
struct Plan {
    std::vector<RECT> rects;      // per box, before scrolling
    std::vector<bool> multiline;  // per box: the button's caption takes more than one line
    int bottom = 0;               // content height, bottom margin included
    int stripKeep = 0;            // columns of the strip's picture kept at its left
};

struct FitState {
    HWND window = nullptr;
    DWORD thread = 0;            // the window's thread, whose focus changes are watched
    int designWidth = 0;
    int dpi = 96;                // what the design's lengths are for
    int margin = 0;              // the design's left margin: rows this close to the right edge reach it
    bool fullScreen = false;
    bool busy = false;           // laying out: the WM_SIZE our own changes cause is not a new size
    int position = 0;            // vertical scroll offset
    std::vector<Box> boxes;
    std::vector<std::vector<int>> rows;  // indices of the plain boxes, rows top to bottom
    Plan plan;                   // the last one written
    HBITMAP stripPicture = nullptr;  // the picture the window gave its strip; not ours
    HBITMAP stripShown = nullptr;    // that picture composed for the width; ours
    int stripCovered = 0;            // right edge of what lies on the strip
    bool watched = false;            // counted in its thread's focus watch
};

// A fitted window's state is one of its properties, from FitControls until the window goes.
const wchar_t kStateProperty[] = L"Dialpass.FitState";

FitState* Find(HWND window)
{
    return window ? static_cast<FitState*>(GetPropW(window, kStateProperty)) : nullptr;
}

// Keyboard focus that moves to a control scrolled out of sight brings it into view: one hook per
// thread that has fitted windows with a scroll bar tells the window which control got the focus.
// Only while one scrolls: a thread's hook makes every window it creates, activates or focuses call
// it, which costs a trip to the server each under Wine.
struct FocusWatch {
    DWORD thread;
    HHOOK hook;
    int windows;
};
std::vector<FocusWatch> watches;
UINT focusMessage = 0;

LRESULT CALLBACK FocusHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SETFOCUS) {
        // The control or, for a combo box's edit, its parent, whose window is a fitted one.
        HWND control = reinterpret_cast<HWND>(wParam);
        for (int depth = 0; control && depth < 3; ++depth) {
            HWND parent = GetParent(control);
            if (parent && Find(parent)) {
                PostMessageW(parent, focusMessage, 0, reinterpret_cast<LPARAM>(control));
                break;
            }
            control = parent;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Watch(FitState& state)
{
    if (!focusMessage)
        focusMessage = RegisterWindowMessageW(L"Dialpass fitted window: focus moved");
    state.thread = GetCurrentThreadId();
    for (FocusWatch& watch : watches) {
        if (watch.thread == state.thread) {
            ++watch.windows;
            state.watched = true;
            return;
        }
    }
    if (HHOOK hook = SetWindowsHookExW(WH_CBT, FocusHook, nullptr, state.thread)) {
        watches.push_back(FocusWatch{state.thread, hook, 1});
        state.watched = true;
    }
}

void Unwatch(FitState& state)
{
    if (!state.watched)
        return;
    state.watched = false;
    for (auto watch = watches.begin(); watch != watches.end(); ++watch) {
        if (watch->thread == state.thread) {
            if (--watch->windows == 0) {
                UnhookWindowsHookEx(watch->hook);
                watches.erase(watch);
            }
            return;
        }
    }
}

LRESULT CALLBACK ForgetOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR);

// The window's state goes with it: at its WM_DESTROY through FitMessage, or at its last message for
// a window whose procedure does not pass messages on to FitMessage.
void Forget(HWND window)
{
    FitState* state = Find(window);
    if (!state)
        return;
    RemovePropW(window, kStateProperty);
    RemoveWindowSubclass(window, ForgetOnDestroy, 0);
    Unwatch(*state);
    if (state->stripShown)
        DeleteObject(state->stripShown);
    delete state;
}

LRESULT CALLBACK ForgetOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCDESTROY)
        Forget(window);
    return DefSubclassProc(window, message, wParam, lParam);
}

int Width(const RECT& r)
{
    return r.right - r.left;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

Box Capture(HWND window, HWND control, int dpi)
{
    Box box{control, RectInClient(window, control), 0, Kind::Plain, Caption::None, 0};
    box.sizingHeight = Height(box.design);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    if (ClassIs(control, L"ComboBox")) {
        RECT dropped{};
        if (SendMessageW(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
            box.sizingHeight = std::max(box.sizingHeight, int(Height(dropped)));
    } else if (ClassIs(control, L"Static")) {
        int type = style & SS_TYPEMASK;
        if (type == SS_BITMAP && box.design.left <= 0)
            box.kind = Kind::Strip;
        else if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            box.caption = Caption::Wraps;
    } else if (ClassIs(control, L"Button")) {
        switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
            // The mark and the gap after it, or a push button's edges.
            box.caption = (style & BS_PUSHLIKE) ? Caption::Push : Caption::Mark;
            box.captionIndent = MulDiv((style & BS_PUSHLIKE) ? 4 : 13 + 4, dpi, 96);
            break;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            box.caption = Caption::Push;
            box.captionIndent = MulDiv(4, dpi, 96);
            break;
        default:
            break;
        }
    }
    return box;
}

void Take(FitState& state)
{
    int dpi = state.dpi = WindowDpi(state.window);
    for (HWND child = GetWindow(state.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        state.boxes.push_back(Capture(state.window, child, dpi));

    RECT strip{};
    for (const Box& box : state.boxes)
        if (box.kind == Kind::Strip) {
            UnionRect(&strip, &strip, &box.design);
            if (!state.stripPicture)
                state.stripPicture = reinterpret_cast<HBITMAP>(SendMessageW(box.control, STM_GETIMAGE, IMAGE_BITMAP, 0));
        }
    state.margin = INT_MAX;
    for (Box& box : state.boxes) {
        RECT common;
        if (box.kind == Kind::Plain && IntersectRect(&common, &box.design, &strip)) {
            box.kind = Kind::OnStrip;
            state.stripCovered = std::max(state.stripCovered, int(box.design.right));
        }
        if (box.kind == Kind::Plain)
            state.margin = std::min(state.margin, std::max(0, int(box.design.left)));
    }
    if (state.margin == INT_MAX)
        state.margin = 0;

    // Rows: plain boxes whose heights overlap, top to bottom.
    std::vector<int> order;
    for (int i = 0; i < int(state.boxes.size()); ++i)
        if (state.boxes[i].kind == Kind::Plain)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return state.boxes[a].design.top < state.boxes[b].design.top; });
    int rowBottom = INT_MIN;
    for (int i : order) {
        const RECT& r = state.boxes[i].design;
        if (state.rows.empty() || r.top >= rowBottom) {
            state.rows.emplace_back();
            rowBottom = r.bottom;
        }
        state.rows.back().push_back(i);
        rowBottom = std::max(rowBottom, int(r.bottom));
    }
}

// The columns of one row for width: the row's span is mapped onto its new span, each control's edges
// in proportion, so controls sharing the row share the width as they did in the design.
void PlaceRow(const FitState& state, const std::vector<int>& row, int width, std::vector<RECT>& rects)
{
    int left = INT_MAX, right = INT_MIN;
    for (int i : row) {
        left = std::min(left, int(state.boxes[i].design.left));
        right = std::max(right, int(state.boxes[i].design.right));
    }
    int margin = state.margin;
    int marginLeft = left, marginRight = state.designWidth - right, span = right - left;
    int toLeft = left, toRight = right;
    if (marginRight <= margin + 1) {
        // Reaches the edge: follows it, stretched from the left margin or, starting further in, moved.
        toRight = width - marginRight;
        if (marginLeft > margin + 1)
            toLeft = toRight - span;
    } else if (marginLeft > margin + 1 && std::abs(marginLeft - marginRight) <= 2 * margin) {
        toLeft = (width - span) / 2;    // centred: stays centred
        toRight = toLeft + span;
    }
    // Never across the edges: squeezed into the margins instead.
    if (toLeft < std::min(left, margin))
        toLeft = std::min(left, margin);
    if (toRight > width - std::min(marginRight, margin))
        toRight = width - std::min(marginRight, margin);
    if (toRight <= toLeft)
        toRight = toLeft + 1;
    for (int i : row) {
        const RECT& d = state.boxes[i].design;
        RECT& r = rects[i];
        r.left = span ? toLeft + MulDiv(d.left - left, toRight - toLeft, span) : toLeft;
        r.right = span ? toLeft + MulDiv(d.right - left, toRight - toLeft, span) : toRight;
        r.top = d.top;
        r.bottom = d.bottom;
    }
}

// Fits box's caption to its place r: a caption longer than the place first takes room up to limit
// (the last control of a row may grow towards the margin), then wraps at words. Returns the height
// the caption needs and sets multiline when a button's caption takes more than one line. dc: a
// memory DC of the screen (a control's own DC costs a trip to the server to get and to release).
int FitCaption(HDC dc, const Box& box, RECT& r, int limit, bool& multiline)
{
    multiline = false;
    int height = Height(box.design);
    wchar_t text[512] = L"";
    if (!dc || box.caption == Caption::None ||
        !SendMessageW(box.control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text)))
        return height;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(box.control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    RECT line = {0, 0, 0, 0};
    DrawTextW(dc, text, -1, &line, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    int needed = Width(line) + box.captionIndent;
    if (needed > Width(r) && limit > r.right)
        r.right = std::min(int(r.left) + needed, limit);
    int room = std::max(1, int(Width(r)) - box.captionIndent);
    if (Width(line) > room) {
        RECT lines = {0, 0, room, 0};
        DrawTextW(dc, text, -1, &lines, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        if (box.caption != Caption::Wraps) {
            multiline = true;
            // A button of common controls 6 draws its text inside its text margin and, themed, inside the
            // theme's border as well (about two pixels a side): a wrapped caption needs that height too.
            RECT margin = {};
            int frame = SendMessageW(box.control, BCM_GETTEXTMARGIN, 0, reinterpret_cast<LPARAM>(&margin))
                            ? int(margin.top + margin.bottom) + 4
                            : 0;
            height = std::max(height, int(Height(lines)) + 4 + frame);
        } else {
            height = std::max(height, int(Height(lines)));
        }
    }
    SelectObject(dc, old);
    return height;
}

// Everything the window shows at width: columns by rows, captions measured, then the rows moved
// down by what the wrapped captions above them added.
Plan MakePlan(const FitState& state, int width)
{
    Plan plan;
    size_t count = state.boxes.size();
    plan.rects.assign(count, RECT{});
    plan.multiline.assign(count, false);
    for (const std::vector<int>& row : state.rows)
        PlaceRow(state, row, width, plan.rects);

    BITMAP picture{};
    int pictureWidth = state.stripPicture && GetObjectW(state.stripPicture, sizeof(picture), &picture)
                           ? int(picture.bmWidth) : 0;
    int covered = std::min(state.stripCovered, pictureWidth);
    // The logo (the picture right of what lies on it) stays whole; the part under the title gives way.
    plan.stripKeep = pictureWidth ? std::max(0, std::min(covered, width - (pictureWidth - covered)))
                                  : width - state.margin;
    for (size_t i = 0; i < count; ++i) {
        const Box& box = state.boxes[i];
        RECT& r = plan.rects[i];
        if (box.kind == Kind::Strip) {
            r = {0, box.design.top, width, box.design.bottom};
        } else if (box.kind == Kind::OnStrip) {
            r = box.design;
            r.right = std::max(int(r.left) + 1, std::min(int(r.right), plan.stripKeep));
        }
    }

    HDC measure = CreateCompatibleDC(nullptr);
    int shift = 0;
    for (const std::vector<int>& row : state.rows) {
        int grown = 0, pushGrown = 0, last = row.front();
        for (int i : row)
            if (plan.rects[i].right > plan.rects[last].right)
                last = i;
        for (int i : row) {
            bool multiline = false;
            int limit = i == last ? std::max(int(plan.rects[i].right), width - state.margin) : int(plan.rects[i].right);
            int height = FitCaption(measure, state.boxes[i], plan.rects[i], limit, multiline);
            plan.multiline[i] = multiline;
            plan.rects[i].top += shift;
            plan.rects[i].bottom = plan.rects[i].top + height;
            int more = height - int(Height(state.boxes[i].design));
            grown = std::max(grown, more);
            if (state.boxes[i].caption == Caption::Push)
                pushGrown = std::max(pushGrown, more);
        }
        for (int i : row)
            if (state.boxes[i].caption == Caption::Push)
                plan.rects[i].bottom = plan.rects[i].top + Height(state.boxes[i].design) + pushGrown;
        shift += grown;
    }
    if (measure)
        DeleteDC(measure);
    for (size_t i = 0; i < count; ++i)
        plan.bottom = std::max(plan.bottom, int(plan.rects[i].bottom));
    plan.bottom += state.margin;
    return plan;
}

// The strip's picture for width: its left part up to keep, then its right end against the right
// edge; a wider strip repeats the column where the two meet.
HBITMAP ComposeStrip(HBITMAP picture, int width, int covered, int keep)
{
    BITMAP source{};
    if (!picture || !GetObjectW(picture, sizeof(source), &source) || width <= 0)
        return nullptr;
    int s = source.bmWidth, h = source.bmHeight;
    int from = std::max(0, std::min(covered, s));  // first column of the right end
    int rightPart = std::min(s - from, width);
    from = s - rightPart;
    keep = std::max(0, std::min(keep, width - rightPart));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP shown = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC to = CreateCompatibleDC(nullptr), in = CreateCompatibleDC(nullptr);
    if (shown && to && in) {
        HGDIOBJ oldTo = SelectObject(to, shown), oldIn = SelectObject(in, picture);
        BitBlt(to, 0, 0, keep, h, in, 0, 0, SRCCOPY);
        int gap = width - rightPart - keep;
        if (gap > 0)
            StretchBlt(to, keep, 0, gap, h, in, std::min(keep, s - 1), 0, 1, h, SRCCOPY);
        BitBlt(to, width - rightPart, 0, rightPart, h, in, from, 0, SRCCOPY);
        SelectObject(in, oldIn);
        SelectObject(to, oldTo);
    }
    if (to)
        DeleteDC(to);
    if (in)
        DeleteDC(in);
    return shown;
}

void SetMultiline(HWND button, bool multiline)
{
    LONG style = GetWindowLongW(button, GWL_STYLE);
    LONG wanted = multiline ? (style | BS_MULTILINE) : (style & ~BS_MULTILINE);
    if (wanted != style)
        SetWindowLongW(button, GWL_STYLE, wanted);
}

// Moves every box to the plan's place less the scroll position, in one batch.
void Place(FitState& state)
{
    // A window not shown yet (a page being set up) is painted whole when it shows.
    bool shown = IsWindowVisible(state.window) != FALSE;
    HDWP moves = BeginDeferWindowPos(int(state.boxes.size()));
    for (size_t i = 0; i < state.boxes.size() && moves; ++i) {
        const Box& box = state.boxes[i];
        const RECT& r = state.plan.rects[i];
        int height = box.sizingHeight + (Height(r) - Height(box.design));
        // A control already in its place is left alone: every move is a trip to the server and a
        // round of messages.
        RECT now = RectInClient(state.window, box.control);
        if (now.left == r.left && now.top == r.top - state.position && Width(now) == Width(r) && Height(now) == height)
            continue;
        moves = DeferWindowPos(moves, box.control, nullptr, r.left, r.top - state.position, Width(r), height,
                               SWP_NOZORDER | SWP_NOACTIVATE | (shown ? 0 : SWP_NOREDRAW));
    }
    if (moves)
        EndDeferWindowPos(moves);
    if (shown)
        RedrawWindow(state.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void SetScrollBar(const FitState& state, int page)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = state.plan.bottom - 1;
    info.nPage = UINT(std::max(page, 0));
    info.nPos = state.position;
    SetScrollInfo(state.window, SB_VERT, &info, TRUE);
}

void Lay(FitState& state)
{
    RECT client;
    GetClientRect(state.window, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    int bar = GetSystemMetrics(SM_CXVSCROLL);
    bool hadBar = (GetWindowLongW(state.window, GWL_STYLE) & WS_VSCROLL) != 0;
    int width = client.right + (hadBar ? bar : 0);
    Plan plan = MakePlan(state, width);
    bool needBar = plan.bottom > client.bottom;
    if (needBar)
        plan = MakePlan(state, width - bar);

    state.busy = true;
    state.plan = plan;
    state.position = needBar ? std::max(0, std::min(state.position, plan.bottom - int(client.bottom))) : 0;
    if (needBar != hadBar)
        ShowScrollBar(state.window, SB_VERT, needBar);
    if (needBar && !state.watched)
        Watch(state);
    else if (!needBar)
        Unwatch(state);
    if (needBar)
        SetScrollBar(state, client.bottom);
    for (size_t i = 0; i < state.boxes.size(); ++i) {
        const Box& box = state.boxes[i];
        if (box.caption == Caption::Mark || box.caption == Caption::Push)
            SetMultiline(box.control, plan.multiline[i]);
        if (box.kind == Kind::Strip && state.stripPicture) {
            HBITMAP shown = ComposeStrip(state.stripPicture, Width(plan.rects[i]), state.stripCovered, plan.stripKeep);
            if (shown) {
                SendMessageW(box.control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown));
                if (state.stripShown)
                    DeleteObject(state.stripShown);
                state.stripShown = shown;
            }
        }
    }
    Place(state);
    state.busy = false;
}

void ScrollTo(FitState& state, int now)
{
    RECT client;
    GetClientRect(state.window, &client);
    now = std::max(0, std::min(now, state.plan.bottom - int(client.bottom)));
    if (now == state.position)
        return;
    state.position = now;
    SetScrollPos(state.window, SB_VERT, now, TRUE);
    Place(state);
}

void Scroll(FitState& state, int code)
{
    RECT client;
    GetClientRect(state.window, &client);
    int maximum = std::max(0, state.plan.bottom - int(client.bottom));
    int now = state.position;
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        SCROLLINFO track{};
        track.cbSize = sizeof track;
        track.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(state.window, SB_VERT, &track))
            now = track.nTrackPos;
    } else {
        now = ScrollStep(code, now, 0, maximum, client.bottom);
    }
    ScrollTo(state, now);
}

// Scrolls so that control, which has the focus, lies inside the client area.
void ShowControl(FitState& state, HWND control)
{
    if (!(GetWindowLongW(state.window, GWL_STYLE) & WS_VSCROLL))
        return;
    RECT client;
    GetClientRect(state.window, &client);
    for (size_t i = 0; i < state.boxes.size(); ++i) {
        if (state.boxes[i].control != control)
            continue;
        const RECT& r = state.plan.rects[i];
        int now = state.position;
        if (r.bottom - now > client.bottom)
            now = r.bottom + state.margin - client.bottom;
        if (r.top - now < 0)
            now = r.top - state.margin;
        ScrollTo(state, now);
    }
}

// The window is now drawn for dpi: the design taken at the old one scales, and is laid out again.
void Rescale(FitState& state, int dpi)
{
    if (dpi <= 0 || dpi == state.dpi)
        return;
    auto scale = [&](int length) { return MulDiv(length, dpi, state.dpi); };
    for (Box& box : state.boxes) {
        RECT& d = box.design;
        d = {scale(d.left), scale(d.top), scale(d.right), scale(d.bottom)};
        box.sizingHeight = scale(box.sizingHeight);
        box.captionIndent = scale(box.captionIndent);
    }
    state.designWidth = scale(state.designWidth);
    state.margin = scale(state.margin);
    state.stripCovered = scale(state.stripCovered);
    state.position = 0;
    state.dpi = dpi;
    Lay(state);
}

bool FillsWorkArea(HWND window)
{
    RECT work, now;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &now);
    return EqualRect(&work, &now) != FALSE;
}

} // namespace

void FitControls(HWND window, int designWidth, bool fullScreen)
{
    if (!IsWindow(window))
        return;
    FitState* state = Find(window);
    if (!state) {
        state = new FitState;
        if (!SetPropW(window, kStateProperty, state)) {
            delete state;
            return;
        }
        SetWindowSubclass(window, ForgetOnDestroy, 0, 0);
        state->window = window;
        state->designWidth = designWidth;
        state->fullScreen = fullScreen;
        Take(*state);
    }
    Lay(*state);
}

bool FitMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    FitState* state = Find(window);
    if (!state)
        return false;
    if (focusMessage && message == focusMessage) {
        ShowControl(*state, reinterpret_cast<HWND>(lParam));
        return true;
    }
    switch (message) {
    case WM_SIZE:
        if (!state->busy && wParam != SIZE_MINIMIZED)
            Lay(*state);
        return false;
    case kDpiChanged:
        Rescale(*state, LOWORD(wParam));
        [[fallthrough]];  // a full-screen window takes the work area it has at the new DPI
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
        // A phone turned sideways: the work area changed under a full-screen window.
        if (state->fullScreen && !FillsWorkArea(window)) {
            RECT work;
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            SetWindowPos(window, nullptr, work.left, work.top, Width(work), Height(work), SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return false;
    case kDpiChangedAfterParent:
        Rescale(*state, WindowDpi(window));
        return false;
    case WM_VSCROLL:
        // The window's own bar (not a scroll bar control), which only the fit shows.
        if (lParam || !(GetWindowLongW(window, GWL_STYLE) & WS_VSCROLL))
            return false;
        Scroll(*state, LOWORD(wParam));
        return true;
    case WM_MOUSEWHEEL: {
        // On the desktop the wheel scrolls as the bar's arrows do, three lines a notch.
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_VSCROLL))
            return false;
        int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        for (int i = 0; i < 3 * std::abs(notches); ++i)
            Scroll(*state, notches > 0 ? SB_LINEUP : SB_LINEDOWN);
        return true;
    }
    case WM_DESTROY:
        Forget(window);
        return false;
    default:
        return false;
    }
}

bool IsFitted(HWND window)
{
    return Find(window) != nullptr;
}

void FitStripPicture(HWND window, HBITMAP picture)
{
    FitState* state = Find(window);
    if (!state)
        return;
    state->stripPicture = picture;
    if (!picture) {
        for (const Box& box : state->boxes)
            if (box.kind == Kind::Strip)
                SendMessageW(box.control, STM_SETIMAGE, IMAGE_BITMAP, 0);
        if (state->stripShown)
            DeleteObject(state->stripShown);
        state->stripShown = nullptr;
    }
    Lay(*state);
}
