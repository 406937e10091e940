// Message boxes on a phone-sized screen. The system lays a message box out for a desktop: Wine makes
// it as wide as its text's widest line, so on a 240-pixel screen a box with a path or a sentence of
// reason is cut off at both sides. While a CMessageBoxFit lives on a thread, each message box the
// thread shows that is wider than its monitor's work area is narrowed to it: the text wraps at the new
// width (a word longer than a line, such as a path, breaks where it must), the box grows downwards to
// hold it, and the buttons stay centred under it. Boxes that fit are left as the system made them.
#pragma once
#include <windows.h>

// The static that holds a message box's text (the same id on Windows and under Wine).
const int kMessageBoxTextId = 0xFFFF;

class CMessageBoxFit {
public:
    // area: the rectangle to fit into instead of the box's monitor's work area (tests give a phone's).
    explicit CMessageBoxFit(const RECT* area = nullptr);
    ~CMessageBoxFit();
    CMessageBoxFit(const CMessageBoxFit&) = delete;
    CMessageBoxFit& operator=(const CMessageBoxFit&) = delete;
};

// Narrows box (a message box, laid out by the system) to area as above; whether it changed it.
bool FitMessageBox(HWND box, const RECT& area);
