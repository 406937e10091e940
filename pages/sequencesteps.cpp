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

bool FormatSequenceStep(CString& text, BYTE code, BYTE param, const char* digits, unsigned digitCount)
{
    switch (code) {
    case kStepAccessNumber:
        text.LoadResource(moduleInstance, IDS_STEP_ACCESS_NUMBER);
        return true;
    case kStepAccountNumber:
        text.LoadResource(moduleInstance, IDS_STEP_ACCOUNT_NUMBER);
        return true;
    case kStepPin:
        text.LoadResource(moduleInstance, IDS_STEP_PIN);
        return true;
    case kStepDestination:
        text.LoadResource(moduleInstance, IDS_STEP_DESTINATION);
        return true;
    case kStepWait:
        if (param == 0)
            text.LoadResource(moduleInstance, IDS_STEP_DIAL_TONE);
        else
            text.Format(L"%s %d %s", LoadText(IDS_STEP_WAIT_FOR).Text(), 2 * int(param),
                        LoadText(IDS_STEP_SECONDS).Text());
        return true;
    case kStepDigits: {
        wchar_t wide[16] = {};
        int count = digitCount < 15 ? int(digitCount) : 15;
        if (digits && count)
            MultiByteToWideChar(CP_ACP, 0, digits, count, wide, 15);
        text.Format(L"%s %s", LoadText(IDS_STEP_DIAL).Text(), wide);
        return true;
    }
    default:
        return false;
    }
}

CString* SequenceStepText(BYTE code, BYTE param, const char* digits, unsigned digitCount)
{
    CString text;
    if (!FormatSequenceStep(text, code, param, digits, digitCount))
        return nullptr;
    return TempCopy(text);
}
