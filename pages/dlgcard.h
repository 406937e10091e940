// The dialing sequence editor; it adds a wait step through "Wait for" (pages/dlgwaitfor.h) and a
// fixed-digits step through "Specify digits" (pages/dlgdigits.h).
//
// A stored sequence is a run of steps, each a code byte and a parameter byte; a digits step (6) is
// followed by its digits (the parameter is their count, 0..15). Waits (5) store 2-second units,
// 0 meaning "wait for a dial tone". The editor hands back at most 127 bytes.
#pragma once
#include <windows.h>
#include <cstdint>

#include "data/records.h"
#include "framework/dialog.h"

// The record behind one line of the step list (its item data), owned by the editor.
struct SequenceStep {
    BYTE code;
    BYTE param;       // for code 6 the digit count
    char digits[16];  // for code 6 the digits and a zero byte, else a zero byte
};
static_assert(sizeof(SequenceStep) == 18, "a step record is 18 bytes");

class CDlgCard : public CDialog {
public:
    CDlgCard();
    ~CDlgCard() override = default;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Releases the step records with the window, however the dialog ends.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Menu bar and full screen, the steps of `sequence`, the access numbers of `countryCode`.
    INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;

    // In: set by the caller before DoModal. Out: written when the editor ends (with OK or Cancel).
    BYTE sequence[128] = {};
    uint16_t sequenceLength = 0;
    wchar_t accessNumber[20] = {};
    // In only: the current location's country code (0: none) and the provider's access numbers
    // (not owned; none: the box offers no entries).
    uint32_t countryCode = 0;
    AccessNumberTable* accessNumbers = nullptr;

private:
    void DecodeSequence();
    void FillAccessNumbers();
    void AddStep(const SequenceStep& step, const wchar_t* text);
    void AddStep(const SequenceStep& step);
    void MoveSelected(int offset);
    void DeleteSelected();
    // The end path of OK and Cancel: false (and a message) when the steps do not fit.
    bool End(int command);
    void ReleaseSteps();
    HWND Steps() const;
};
