// One step of the forms' scrolling, shared by the forms and the fitted windows.
#pragma once
#include <windows.h>

#include <algorithm>

// Where a line, page, top or bottom code (SB_*) moves the position now, kept between minimum and
// maximum, with a page of page pixels and a line of a thirtieth of it. Other codes leave it.
inline int ScrollStep(int code, int now, int minimum, int maximum, int page)
{
    const int linesPerPage = 30;
    switch (code) {
    case SB_LINEUP:
        return std::max(now - page / linesPerPage, minimum);
    case SB_LINEDOWN:
        return std::min(now + page / linesPerPage, maximum);
    case SB_PAGEUP:
        return std::max(now - page, minimum);
    case SB_PAGEDOWN:
        return std::min(now + page, maximum);
    case SB_TOP:
        return minimum;
    case SB_BOTTOM:
        return maximum;
    default:
        return now;
    }
}
