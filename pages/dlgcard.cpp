#include "pages/dlgcard.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "base/cstring.h"
#include "base/module.h"
#include "pages/dlgdigits.h"
#include "pages/dlgutils.h"
#include "pages/dlgwaitfor.h"
#include "pages/sequencesteps.h"
#include "resources/resource.h"

namespace {

const unsigned kMaxDigits = 15;
// The editor hands back at most this many bytes; the buffer keeps one more.
const unsigned kSequenceBuffer = 128;

CString LoadText(UINT id)
{
    CString text;
    text.LoadResource(moduleInstance, id);
    return text;
}

// The bytes one step takes in the stored encoding: 2, or 2 and its digits.
unsigned EncodedSize(const SequenceStep& step)
{
    return 2u + (step.code == kStepDigits ? (step.param < kMaxDigits ? step.param : kMaxDigits) : 0u);
}

}  // namespace

CDlgCard::CDlgCard() : CDialog(IDD_CARD) {}

HWND CDlgCard::Steps() const
{
    return GetDlgItem(window, IDC_CARD_STEPS);
}

INT_PTR CDlgCard::OnInitDialog(WPARAM wParam, LPARAM lParam)
{
    InitFullScreenDialog(window);
    DecodeSequence();
    FillAccessNumbers();
    return CDialog::OnInitDialog(wParam, lParam);
}

LRESULT CDlgCard::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        ReleaseSteps();
    return CDialog::WindowProc(message, wParam, lParam);
}

// A step whose code is unknown, whose digits lie past the length, or that claims more than 15
// digits, is corrupt: the steps before it are shown, nothing after it is read.
void CDlgCard::DecodeSequence()
{
    unsigned length = sequenceLength < kSequenceBuffer ? sequenceLength : kSequenceBuffer;
    for (unsigned p = 0; p < length;) {
        SequenceStep step{};
        step.code = sequence[p];
        // While a code byte remains it is read with the byte after it, even past the length (the
        // buffer holds it): a lone last step of codes 1 to 5 is kept. Digits must lie within the length.
        bool known = step.code >= kStepAccessNumber && step.code <= kStepDigits;
        if (known) {
            step.param = p + 1 < kSequenceBuffer ? sequence[p + 1] : 0;
            if (step.code == kStepDigits)
                known = step.param <= kMaxDigits && p + 2 + step.param <= length;
        }
        if (!known) {
            ShowMessage(window, IDS_DATA_CORRUPTED);
            return;
        }
        if (step.code <= kStepPin)
            step.param = 0;  // these steps have no parameter of their own
        if (step.code == kStepDigits)
            memcpy(step.digits, sequence + p + 2, step.param);
        AddStep(step);
        p += EncodedSize(step);
    }
}

void CDlgCard::FillAccessNumbers()
{
    HWND box = GetDlgItem(window, IDC_CARD_ACCESS_NUMBER);
    wchar_t current[20] = {};
    lstrcpynW(current, accessNumber, 20);
    if (!accessNumbers || !countryCode) {
        SetWindowTextW(box, current);
        return;
    }
    for (AccessNumberRecord* record = accessNumbers->Next(true); record; record = accessNumbers->Next(false)) {
        if (record->code != countryCode)
            continue;
        char entry[86];  // 19 of number, " (", 63 of description, ")"
        if (record->description)
            wsprintfA(entry, "%.19s (%.63s)", record->number, record->description);
        else
            wsprintfA(entry, "%.19s", record->number);
        wchar_t wide[86] = {};  // 85 characters and the terminator
        MultiByteToWideChar(CP_ACP, 0, entry, -1, wide, 86);
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide));
    }
    if (!current[0])
        SendMessageW(box, CB_SETCURSEL, 0, 0);
    else
        SetWindowTextW(box, current);
}

void CDlgCard::AddStep(const SequenceStep& step, const wchar_t* text)
{
    SequenceStep* record = new (std::nothrow) SequenceStep(step);
    if (!record)
        return;
    HWND list = Steps();
    LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index < 0) {
        delete record;
        return;
    }
    SendMessageW(list, LB_SETITEMDATA, WPARAM(index), reinterpret_cast<LPARAM>(record));
}

void CDlgCard::AddStep(const SequenceStep& step)
{
    CString text;
    if (FormatSequenceStep(text, step.code, step.param, step.digits, step.param))
        AddStep(step, text.Text());
}

void CDlgCard::MoveSelected(int offset)
{
    HWND list = Steps();
    LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    LRESULT target = index + offset;
    if (index < 0 || target < 0 || target >= count)
        return;
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, WPARAM(index), 0);
    CString text;
    if (length < 0 || !text.Allocate(unsigned(length)))
        return;
    SendMessageW(list, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.Buffer()));
    LRESULT record = SendMessageW(list, LB_GETITEMDATA, WPARAM(index), 0);
    SendMessageW(list, LB_DELETESTRING, WPARAM(index), 0);
    SendMessageW(list, LB_INSERTSTRING, WPARAM(target), reinterpret_cast<LPARAM>(text.Text()));
    SendMessageW(list, LB_SETITEMDATA, WPARAM(target), record);
    SendMessageW(list, LB_SETCURSEL, WPARAM(target), 0);
}

void CDlgCard::DeleteSelected()
{
    HWND list = Steps();
    LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index < 0)
        return;
    LRESULT record = SendMessageW(list, LB_GETITEMDATA, WPARAM(index), 0);
    if (record != LB_ERR)
        delete reinterpret_cast<SequenceStep*>(record);
    SendMessageW(list, LB_DELETESTRING, WPARAM(index), 0);
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    SendMessageW(list, LB_SETCURSEL, WPARAM(index < count ? index : index - 1), 0);
}

bool CDlgCard::End(int command)
{
    // Encoded apart first: a list that does not fit hands nothing back and stays as it is.
    BYTE encoded[kSequenceBuffer];
    memcpy(encoded, sequence, sizeof(encoded));
    unsigned length = 0;
    HWND list = Steps();
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT data = SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0);
        if (!data || data == LB_ERR)
            continue;
        const SequenceStep& step = *reinterpret_cast<const SequenceStep*>(data);
        unsigned size = EncodedSize(step);
        if (length + size >= kSequenceBuffer) {
            ShowMessage(window, IDS_TOO_MANY_SETTINGS);
            return false;
        }
        encoded[length] = step.code;
        encoded[length + 1] = step.param;
        memcpy(encoded + length + 2, step.digits, size - 2);
        length += size;
        if (step.code == kStepDigits)
            encoded[length] = 0;  // not counted; the next step overwrites it
    }

    // A number taken from the list reads "NUMBER (DESCRIPTION)": the blank before the first "("
    // ends it. A text that starts with "(" has no number before it and leaves none.
    wchar_t number[20] = {};
    GetDlgItemTextW(window, IDC_CARD_ACCESS_NUMBER, number, 20);
    if (wchar_t* bracket = wcschr(number, L'('))
        *(bracket > number ? bracket - 1 : bracket) = L'\0';

    memcpy(sequence, encoded, sizeof(sequence));
    sequenceLength = uint16_t(length);
    memcpy(accessNumber, number, sizeof(accessNumber));
    ReleaseSteps();
    EndDialog(window, command);
    return true;
}

void CDlgCard::ReleaseSteps()
{
    HWND list = Steps();
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT data = SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0);
        if (data && data != LB_ERR)
            delete reinterpret_cast<SequenceStep*>(data);
        SendMessageW(list, LB_SETITEMDATA, WPARAM(i), 0);
    }
}

LRESULT CDlgCard::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDC_CARD_ADD_ACCESS:
        AddStep(SequenceStep{kStepAccessNumber, 0, {}});
        break;
    case IDC_CARD_ADD_ACCOUNT:
        AddStep(SequenceStep{kStepAccountNumber, 0, {}});
        break;
    case IDC_CARD_ADD_PIN:
        AddStep(SequenceStep{kStepPin, 0, {}});
        break;
    case IDC_CARD_ADD_DESTINATION:
        AddStep(SequenceStep{kStepDestination, 0, {}});
        break;
    case IDC_CARD_ADD_WAIT: {
        CDlgWaitFor wait(0);
        INT_PTR seconds = wait.DoModal(this);
        if (seconds == 0) {
            AddStep(SequenceStep{kStepWait, 0, {}});
        } else if (seconds > 0) {
            CString text;
            text.Format(L"%s %d %s", LoadText(IDS_STEP_WAIT_FOR).Text(), int(seconds),
                        LoadText(IDS_STEP_SECONDS).Text());
            AddStep(SequenceStep{kStepWait, BYTE(seconds / 2), {}}, text.Text());
        }
        break;
    }
    case IDC_CARD_ADD_DIGITS: {
        CDlgDigits digits;
        if (digits.DoModal(this) != IDOK)
            break;
        size_t count = wcsnlen(digits.digits, kMaxDigits);
        SequenceStep step{kStepDigits, BYTE(count), {}};
        if (count)
            WideCharToMultiByte(CP_ACP, 0, digits.digits, int(count), step.digits, kMaxDigits, nullptr, nullptr);
        CString text;
        text.Format(L"%s %s", LoadText(IDS_STEP_DIAL).Text(), digits.digits);
        AddStep(step, text.Text());
        break;
    }
    case IDC_CARD_UP:
        MoveSelected(-1);
        break;
    case IDC_CARD_DOWN:
        MoveSelected(1);
        break;
    case IDC_CARD_DELETE:
        DeleteSelected();
        break;
    case IDOK:
    case IDCANCEL:
        End(LOWORD(wParam));
        break;
    }
    return CDialog::OnCommand(wParam, lParam);
}
