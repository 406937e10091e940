// The dialing sequence editor, "Wait for" and "Specify digits", run modally and played through messages.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pages/dlgcard.h"
#include "platform/shell.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"

namespace {

using Lines = std::vector<std::wstring>;

std::string Hex(const BYTE* bytes, unsigned length)
{
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        char byte[4];
        snprintf(byte, sizeof(byte), i ? " %02X" : "%02X", bytes[i]);
        text += byte;
    }
    return text;
}

// "01 00 06 02 30 30" into the editor's input.
void Store(CDlgCard& card, const std::string& hex)
{
    unsigned length = 0;
    for (size_t i = 0; i + 2 <= hex.size() && length < 128; i += 3)
        card.sequence[length++] = BYTE(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    card.sequenceLength = uint16_t(hex.empty() ? 0 : length);
}

std::string Result(const CDlgCard& card) { return Hex(card.sequence, card.sequenceLength); }

// Steps that take `bytes` bytes: a 15-digit step (17 bytes) when the count is odd, then account steps.
std::string StepsOf(unsigned bytes)
{
    std::string hex = bytes % 2 ? "06 0F 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35" : "";
    for (unsigned n = bytes % 2 ? 17 : 0; n + 2 <= bytes; n += 2)
        hex += hex.empty() ? "02 00" : " 02 00";
    return hex;
}

// Plays "Wait for" opened from the editor: a dial tone (ups < 0) or a timed wait after `ups` up-arrow clicks.
void PlayWaitFor(const ModalDialog& editor, int ups)
{
    editor.PostClick(IDC_CARD_ADD_WAIT);
    HWND wait = editor.Find(L"Wait for");
    ASSERT_NE(wait, nullptr);
    if (ups >= 0)
        SendMessageW(GetDlgItem(wait, IDC_WAIT_TIME), BM_CLICK, 0, 0);
    HWND spin = GetDlgItem(wait, IDC_WAIT_SPIN);
    for (int i = 0; i < ups; ++i) {
        SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));
        SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
    }
    PostMessageW(GetDlgItem(wait, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(wait); }));
}

void PlayDigits(const ModalDialog& editor, const wchar_t* digits, int button = IDOK)
{
    editor.PostClick(IDC_CARD_ADD_DIGITS);
    HWND dialog = editor.Find(L"Specify digits");
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_DIGITS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(digits));
    PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
}

// A user's step: an append button, a wait (ups as in PlayWaitFor) or digits typed into "Specify digits".
struct Step {
    int button;
    int ups;
    const wchar_t* digits;
};
const Step kAccess{IDC_CARD_ADD_ACCESS, 0, nullptr}, kAccount{IDC_CARD_ADD_ACCOUNT, 0, nullptr},
    kPin{IDC_CARD_ADD_PIN, 0, nullptr}, kDestination{IDC_CARD_ADD_DESTINATION, 0, nullptr};
Step Wait(int ups) { return {IDC_CARD_ADD_WAIT, ups, nullptr}; }
Step Digits(const wchar_t* digits) { return {IDC_CARD_ADD_DIGITS, 0, digits}; }

void Play(const ModalDialog& editor, const Step& step)
{
    if (step.button == IDC_CARD_ADD_WAIT)
        PlayWaitFor(editor, step.ups);
    else if (step.button == IDC_CARD_ADD_DIGITS)
        PlayDigits(editor, step.digits);
    else
        editor.Click(step.button);
}

TEST(SequenceEditor, AppendedStepsShowTheirTextsAndEncodeOnOk)
{
    const struct {
        std::vector<Step> steps;
        Lines lines;
        const char* bytes;
    } cases[] = {
        {{}, {}, ""},
        {{kAccess, kAccount, kPin, kDestination, Wait(-1)},
         {L"Dial the access number", L"Dial the account number", L"Dial PIN", L"Dial the destination number",
          L"Wait for dial tone"},
         "01 00 02 00 03 00 04 00 05 00"},
        {{Wait(4), Wait(0), Wait(126)}, {L"Wait for 10 seconds", L"Wait for 2 seconds", L"Wait for 254 seconds"},
         "05 05 05 01 05 7F"},
        {{Digits(L"00"), Digits(L"")}, {L"Dial 00", L"Dial "}, "06 02 30 30 06 00"},
        {{Digits(L"1234567890123456")}, {L"Dial 123456789012345"},
         "06 0F 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgCard card;
        ModalDialog editor(card, L"Dialog");
        ASSERT_NE(editor.Window(), nullptr);
        for (const Step& step : c.steps)
            Play(editor, step);
        EXPECT_EQ(ListLines(editor.Item(IDC_CARD_STEPS)), c.lines);
        EXPECT_EQ(SendMessageW(editor.Item(IDC_CARD_STEPS), LB_GETCURSEL, 0, 0), LB_ERR) << "adding selects nothing";
        editor.SoftKey(IDOK);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(editor.result, IDOK);
        EXPECT_EQ(Result(card), c.bytes);
    }
}

// Stored steps are shown, kept through OK (a destination's parameter too) or cut at the first corrupt step.
TEST(SequenceEditor, StoredSequencesDecodeOrStopAtTheFirstCorruptStep)
{
    const struct {
        const char* stored;
        Lines lines;
        bool corrupted;
        const char* afterOk;
    } cases[] = {
        {"04 07 01 09 02 05 03 01", {L"Dial the destination number", L"Dial the access number",
                                     L"Dial the account number", L"Dial PIN"}, false, "04 07 01 00 02 00 03 00"},
        {"05 00 05 05 05 7F", {L"Wait for dial tone", L"Wait for 10 seconds", L"Wait for 254 seconds"}, false,
         "05 00 05 05 05 7F"},
        {"06 02 30 30 06 00", {L"Dial 00", L"Dial "}, false, "06 02 30 30 06 00"},
        {"01 00 09 00 02 00", {L"Dial the access number"}, true, "01 00"},        // unknown code
        {"02 00 06 05 31 32", {L"Dial the account number"}, true, "02 00"},       // digits past the length
        {"06 10 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35 36", {}, true, ""},  // 16 digits
        {"03 00 01", {L"Dial PIN"}, true, "03 00"},                               // no parameter byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        CDlgCard card;
        Store(card, c.stored);
        ModalDialog editor(card, L"Dialog");
        ASSERT_NE(editor.Window(), nullptr);
        EXPECT_EQ(AnswerMessage(editor, c.corrupted ? kWindowTimeout : 300), c.corrupted ? L"Data corrupted" : L"");
        EXPECT_EQ(ListLines(editor.Item(IDC_CARD_STEPS)), c.lines);
        editor.SoftKey(IDOK);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(Result(card), c.afterOk);
    }
}

// 127 bytes are the most; OK and Cancel both refuse more and keep the editor open until a step goes.
TEST(SequenceEditor, SequencesOf128BytesAreRefusedUntilAStepIsDeleted)
{
    const struct {
        unsigned stored;
        Step added;
        int key;
    } cases[] = {
        {127, kPin, IDOK},
        {118, Digits(L"123456789"), IDOK},  // 118 + 11 bytes
        {128, {0, 0, nullptr}, IDCANCEL},   // stored too long: cannot be confirmed unchanged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " bytes");
        CDlgCard card;
        Store(card, StepsOf(c.stored));
        ModalDialog editor(card, L"Dialog");
        ASSERT_NE(editor.Window(), nullptr);
        HWND steps = editor.Item(IDC_CARD_STEPS);
        if (c.added.button)
            Play(editor, c.added);
        Lines before = ListLines(steps);
        editor.SoftKey(c.key);
        EXPECT_EQ(AnswerMessage(editor), L"Too many card settings !");
        EXPECT_FALSE(editor.Ended(200));
        EXPECT_EQ(ListLines(steps), before);
        SendMessageW(steps, LB_SETCURSEL, WPARAM(before.size() - 1), 0);
        editor.Click(IDC_CARD_DELETE);
        editor.SoftKey(c.key);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(editor.result, c.key);
        unsigned expected = c.stored == 128 ? 126 : c.stored;
        EXPECT_EQ(Result(card), StepsOf(expected));
    }
}

TEST(SequenceEditor, UpDownAndDeleteMoveTheSelectedStepWithItsRecord)
{
    const struct {
        int selected, button;
        const char* bytes;  // after OK
        int selectedAfter;
    } cases[] = {
        {0, IDC_CARD_UP, "01 00 02 00 06 01 37", 0},
        {2, IDC_CARD_DOWN, "01 00 02 00 06 01 37", 2},
        {2, IDC_CARD_UP, "01 00 06 01 37 02 00", 1},
        {0, IDC_CARD_DOWN, "02 00 01 00 06 01 37", 1},
        {2, IDC_CARD_DELETE, "01 00 02 00", 1},
        {0, IDC_CARD_DELETE, "02 00 06 01 37", 0},
        {-1, IDC_CARD_DELETE, "01 00 02 00 06 01 37", -1},
        {-1, IDC_CARD_UP, "01 00 02 00 06 01 37", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgCard card;
        Store(card, "01 00 02 00 06 01 37");
        ModalDialog editor(card, L"Dialog");
        ASSERT_NE(editor.Window(), nullptr);
        HWND steps = editor.Item(IDC_CARD_STEPS);
        SendMessageW(steps, LB_SETCURSEL, WPARAM(c.selected), 0);
        editor.Click(c.button);
        EXPECT_EQ(SendMessageW(steps, LB_GETCURSEL, 0, 0), c.selectedAfter);
        editor.SoftKey(IDOK);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(Result(card), c.bytes);
    }
    CDlgCard single;
    Store(single, "03 00");
    ModalDialog editor(single, L"Dialog");
    ASSERT_NE(editor.Window(), nullptr);
    SendMessageW(editor.Item(IDC_CARD_STEPS), LB_SETCURSEL, 0, 0);
    editor.Click(IDC_CARD_DELETE);
    EXPECT_EQ(SendMessageW(editor.Item(IDC_CARD_STEPS), LB_GETCURSEL, 0, 0), LB_ERR) << "an emptied list";
}

TEST(SequenceEditor, AccessNumberBoxOffersTheCountrysNumbersAndKeepsTheNumberAlone)
{
    AccessNumberTable numbers;
    const char lines[] = "49;08001234567; (toll free)\r49;12345; (Central)\r44;0808;\r49;0699;\r";
    numbers.ParseBuffer(lines, sizeof(lines) - 1);
    const Lines german{L"08001234567 (toll free)", L"12345 (Central)", L"0699"};
    const struct {
        uint32_t code;
        bool table;
        const wchar_t* stored;
        Lines entries;
        const wchar_t* shown;
        int pick;              // entry chosen, or -1
        const wchar_t* typed;  // typed instead, or null
        const wchar_t* result;
    } cases[] = {
        {49, true, L"", german, L"08001234567 (toll free)", -1, nullptr, L"08001234567"},
        {49, true, L"555", german, L"555", 1, nullptr, L"12345"},
        {49, true, L"555", german, L"555", -1, nullptr, L"555"},
        {44, true, L"", {L"0808"}, L"0808", -1, nullptr, L"0808"},
        {0, true, L"777", {}, L"777", -1, nullptr, L"777"},
        {49, false, L"777", {}, L"777", -1, nullptr, L"777"},
        {49, true, L"", german, nullptr, -1, L"01234567890123456789012", L"0123456789012345678"},
        {49, true, L"", german, nullptr, -1, L"0800 (x", L"0800"},
        {49, true, L"", german, nullptr, -1, L"(0)800", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgCard card;
        card.countryCode = c.code;
        card.accessNumbers = c.table ? &numbers : nullptr;
        lstrcpynW(card.accessNumber, c.stored, 20);
        ModalDialog editor(card, L"Dialog");
        ASSERT_NE(editor.Window(), nullptr);
        HWND box = editor.Item(IDC_CARD_ACCESS_NUMBER);
        EXPECT_EQ(ComboEntries(box), c.entries);
        if (c.shown) {
            EXPECT_EQ(WindowText(box), c.shown);
        }
        if (c.pick >= 0)
            SendMessageW(box, CB_SETCURSEL, WPARAM(c.pick), 0);
        if (c.typed)
            SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed));
        editor.SoftKey(IDCANCEL);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(editor.result, IDCANCEL);
        EXPECT_STREQ(card.accessNumber, c.result);
    }
}

TEST(SequenceEditor, OpensFullScreenWithTheSoftKeys)
{
    CDlgCard card;
    ModalDialog editor(card, L"Dialog");
    ASSERT_NE(editor.Window(), nullptr);
    RECT work{}, rect{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(editor.Window(), &rect);
    EXPECT_EQ(rect.right - rect.left, work.right - work.left);
    EXPECT_EQ(rect.bottom - rect.top, work.bottom - work.top);
    HMENU bar = GetMenu(editor.Window());
    wchar_t text[16] = L"";
    GetMenuStringW(bar, 0, text, 16, MF_BYPOSITION);
    EXPECT_STREQ(text, L"OK");
    GetMenuStringW(bar, 1, text, 16, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Cancel");
    EXPECT_EQ(LastSipPreference(), SIP_DOWN);
}

// The up-down runs from position 127 (2 s) to 1 (254 s); the up arrow lengthens the wait.
TEST(WaitForDialog, ArrowsStepTwoSecondsBetween2And254)
{
    const struct {
        int initial;
        bool timed;
        int ups;
        int button;
        const wchar_t* shown;
        INT_PTR result;
    } cases[] = {
        {0, false, 0, IDOK, L"2", 0},
        {0, true, 0, IDOK, L"2", 2},
        {0, true, 1, IDOK, L"4", 4},
        {0, true, 130, IDOK, L"254", 254},
        {0, true, 3, IDCANCEL, L"8", -1},
        {30, false, 0, IDOK, L"30", 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgWaitFor wait(c.initial);
        ModalDialog dialog(wait, L"Wait for");
        ASSERT_NE(dialog.Window(), nullptr);
        EXPECT_EQ(IsWindowEnabled(dialog.Item(IDC_WAIT_SECONDS)) != 0, c.initial != 0);
        if (c.timed)
            dialog.Click(IDC_WAIT_TIME);
        EXPECT_EQ(IsWindowEnabled(dialog.Item(IDC_WAIT_SPIN)) != 0, c.timed || c.initial != 0);
        for (int i = 0; i < c.ups; ++i) {
            SendMessageW(dialog.Item(IDC_WAIT_SPIN), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));
            SendMessageW(dialog.Item(IDC_WAIT_SPIN), WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
        }
        EXPECT_EQ(WindowText(dialog.Item(IDC_WAIT_SECONDS)), c.shown);
        dialog.PostClick(c.button);
        ASSERT_TRUE(dialog.Ended());
        EXPECT_EQ(dialog.result, c.result);
    }
}

TEST(DigitsDialog, KeepsFifteenCharactersAndRaisesThenLowersTheInputPanel)
{
    for (int button : {IDOK, IDCANCEL}) {
        CDlgDigits digits;
        ModalDialog dialog(digits, L"Specify digits");
        ASSERT_NE(dialog.Window(), nullptr);
        EXPECT_EQ(LastSipPreference(), SIP_UP);
        SendMessageW(dialog.Item(IDC_DIGITS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"*31#0123456789ABC"));
        dialog.PostClick(button);
        ASSERT_TRUE(dialog.Ended());
        EXPECT_EQ(dialog.result, button);
        EXPECT_STREQ(digits.digits, button == IDOK ? L"*31#0123456789A" : L"");
        EXPECT_EQ(LastSipPreference(), SIP_DOWN);
    }
}

} // namespace
