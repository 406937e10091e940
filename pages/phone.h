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

    // OK saves the controls and ends the page with 1; Cancel ends it with 2 and writes nothing.
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    // The controls from the registry.
    void OnInitPage() override;

private:
    void Load();
    void Save();
};
