#include "pages/sequencesteps.h"

#include "base/module.h"
#include "resources/resource.h"

namespace {

CString LoadText(UINT id)
{
    CString text;
    text.LoadResource(moduleInstance, id);
    return text;
}

}  // namespace

unsigned SequenceStepSize(const BYTE* sequence, unsigned length, unsigned offset)
{
    if (!sequence || offset + 2 > length)
        return 0;
    BYTE code = sequence[offset];
    if (code < kStepAccessNumber || code > kStepDigits)
        return 0;
    unsigned size = code == kStepDigits ? 2u + sequence[offset + 1] : 2u;
    return offset + size <= length ? size : 0;
}

CString* SequenceStepText(BYTE code, BYTE param, const char* digits, unsigned digitCount)
{
    switch (code) {
    case kStepAccessNumber:
        return TempResourceString(IDS_STEP_ACCESS_NUMBER);
    case kStepAccountNumber:
        return TempResourceString(IDS_STEP_ACCOUNT_NUMBER);
    case kStepPin:
        return TempResourceString(IDS_STEP_PIN);
    case kStepDestination:
        return TempResourceString(IDS_STEP_DESTINATION);
    case kStepWait: {
        if (param == 0)
            return TempResourceString(IDS_STEP_DIAL_TONE);
        CString* text = TempString(L"");
        if (text)
            text->Format(L"%s %d %s", LoadText(IDS_STEP_WAIT_FOR).Text(), 2 * int(param),
                         LoadText(IDS_STEP_SECONDS).Text());
        return text;
    }
    case kStepDigits: {
        wchar_t wide[16] = {};
        int count = digitCount < 15 ? int(digitCount) : 15;
        if (digits && count)
            MultiByteToWideChar(CP_ACP, 0, digits, count, wide, 15);
        CString* text = TempString(L"");
        if (text)
            text->Format(L"%s %s", LoadText(IDS_STEP_DIAL).Text(), wide);
        return text;
    }
    default:
        return nullptr;
    }
}
