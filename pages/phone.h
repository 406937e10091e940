// "Phone settings": which calls go through the card, kept in "PhoneSettings".
#pragma once
#include "pages/frmutils.h"

// Bits of "PhoneSettings"; a missing value reads as kPhoneDefault.
enum : DWORD {
    kPhoneAskFirst = 1,        // ask before dialing through the card
    kPhoneAllCalls = 2,        // every outgoing call, not only international and home calls abroad
    kPhoneCustomDialer = 4,    // the customised dialer (shown, not changeable)
    kPhoneDefault = kPhoneAskFirst | kPhoneAllCalls,
};

class CFrmPhone : public CFrmPage {
public:
    CFrmPhone();

    // OK (through the page's version, which saves) ends the page with 1 once saved; Cancel ends it
    // with 2 and writes nothing.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    // The controls from the registry.
    void OnInitPage() override;
    // "PhoneSettings" from the controls; a value that cannot be written is shown, and the sheet stays open.
    bool OnApply() override;

private:
    void Load();
    // The system's code of a failed write, or ERROR_SUCCESS.
    LONG Save();
};
