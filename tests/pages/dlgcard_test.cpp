// The dialing sequence editor, "Wait for" and "Specify digits", run modally and played through messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "pages/dlgcard.h"
#include "platform/shell.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"

namespace {

using Lines = std::vector<std::wstring>;

// The editor's input from hex text ("01 00 06 02 30 30"), and its output as hex text.
void Store(CDlgCard& card, const std::string& hex)
{
    card.sequenceLength = 0;
    for (size_t i = 0; i + 2 <= hex.size() && card.sequenceLength < 128; i += 3)
        card.sequence[card.sequenceLength++] = BYTE(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
}

std::string Result(const CDlgCard& card)
{
    std::string text;
    for (unsigned i = 0; i < card.sequenceLength; ++i)
        text += std::string(i ? " " : "") + "0123456789ABCDEF"[card.sequence[i] >> 4] + "0123456789ABCDEF"[card.sequence[i] & 15];
    return text;
}

// Steps of `bytes` bytes: a 15-digit step (17 bytes) when the count is odd, then account steps.
std::string StepsOf(unsigned bytes)
{
    std::string hex = bytes % 2 ? "06 0F 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35" : "";
    for (unsigned n = bytes % 2 ? 17 : 0; n + 2 <= bytes; n += 2)
        hex += hex.empty() ? "02 00" : " 02 00";
    return hex;
}

// What the user does in the editor: a button (append, move, delete); for "Wait for" a dial tone
// (ups < 0), a timed wait after `ups` up-arrow clicks or Cancel (ups = kCancel); for "Specify digits"
// the digits typed, then OK or Cancel (ups = kCancel); with no button, line `ups` selected (-1: none).
struct Step {
    int button, ups = 0;
    const wchar_t* digits = nullptr;
};
const int kCancel = 1000;
const Step kAccess{IDC_CARD_ADD_ACCESS}, kAccount{IDC_CARD_ADD_ACCOUNT}, kPin{IDC_CARD_ADD_PIN},
    kDestination{IDC_CARD_ADD_DESTINATION}, kUp{IDC_CARD_UP}, kDown{IDC_CARD_DOWN}, kDelete{IDC_CARD_DELETE};
Step Wait(int ups) { return {IDC_CARD_ADD_WAIT, ups, nullptr}; }
Step Digits(const wchar_t* digits, int ups = 0) { return {IDC_CARD_ADD_DIGITS, ups, digits}; }
Step Select(int line) { return {0, line, nullptr}; }

void Play(const ModalDialog& editor, const Step& step)
{
    if (!step.button)
        return void(SendMessageW(editor.Item(IDC_CARD_STEPS), LB_SETCURSEL, WPARAM(step.ups), 0));
    if (step.button != IDC_CARD_ADD_WAIT && step.button != IDC_CARD_ADD_DIGITS)
        return editor.Click(step.button);
    editor.PostClick(step.button);
    HWND dialog = editor.Find(step.digits ? L"Specify digits" : L"Wait for");
    // The time can be set only once "Wait for" is switched to a timed wait.
    bool timed = !step.digits && step.ups >= 0 && step.ups != kCancel;
    if (step.digits) {
        EXPECT_EQ(LastSipPreference(), SIP_UP);
        SendMessageW(GetDlgItem(dialog, IDC_DIGITS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.digits));
    } else {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_WAIT_SECONDS)));
    }
    if (timed)
        SendMessageW(GetDlgItem(dialog, IDC_WAIT_TIME), BM_CLICK, 0, 0);
    HWND spin = GetDlgItem(dialog, IDC_WAIT_SPIN);
    EXPECT_EQ(IsWindowEnabled(spin) != 0, timed);
    for (int i = 0; timed && i < step.ups; ++i) {
        SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));  // the upper arrow
        SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
    }
    PostMessageW(GetDlgItem(dialog, step.ups == kCancel ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    if (step.digits) {
        EXPECT_EQ(LastSipPreference(), SIP_DOWN) << "the input panel stays up";
    }
}

// Stored steps are shown and kept through OK (a destination's parameter too), or cut at the first corrupt
// step; appended steps go to the end and leave no line selected; up, down and delete move the selected
// step with its record.
TEST(SequenceEditor, ShowsStoredAndEditedStepsAndEncodesThemOnOk)
{
    const Lines three{L"Dial the access number", L"Dial the account number", L"Dial 7"};
    const char* stored = "01 00 02 00 06 01 37";  // the three
    const struct {
        // the stored bytes, what the user does, the lines then shown, whether "Data corrupted" was said,
        // the line selected at the end, the bytes after OK
        const char* stored; std::vector<Step> steps; Lines lines; bool corrupted; int selected; const char* bytes;
    } cases[] = {
        {"", {kAccess, kAccount, kPin, kDestination, Wait(-1)},
         {L"Dial the access number", L"Dial the account number", L"Dial PIN", L"Dial the destination number",
          L"Wait for dial tone"}, false, -1, "01 00 02 00 03 00 04 00 05 00"},
        {"", {Wait(4), Wait(0), Wait(130), Wait(kCancel)},  // 2 s steps up to 254 s
         {L"Wait for 10 seconds", L"Wait for 2 seconds", L"Wait for 254 seconds"}, false, -1, "05 05 05 01 05 7F"},
        {"", {Digits(L"00"), Digits(L""), Digits(L"*31#0123456789ABC"), Digits(L"9", kCancel)},
         {L"Dial 00", L"Dial ", L"Dial *31#0123456789A"}, false, -1,
         "06 02 30 30 06 00 06 0F 2A 33 31 23 30 31 32 33 34 35 36 37 38 39 41"},
        {"04 07 01 09 02 05 03 01", {kPin},
         {L"Dial the destination number", L"Dial the access number", L"Dial the account number", L"Dial PIN",
          L"Dial PIN"}, false, -1, "04 07 01 00 02 00 03 00 03 00"},
        {"05 00 05 05 06 02 30 30", {}, {L"Wait for dial tone", L"Wait for 10 seconds", L"Dial 00"}, false, -1,
         "05 00 05 05 06 02 30 30"},
        {"01 00 09 00 02 00", {}, {L"Dial the access number"}, true, -1, "01 00"},   // unknown code
        {"06 10 31 32 33 34 35 36 37 38 39 30 31 32 33 34 35 36", {}, {}, true, -1, ""},  // 16 digits
        // A lone last code is read with the byte after it (zero here), so the step is kept.
        {"03 00 01", {kAccess}, {L"Dial PIN", L"Dial the access number", L"Dial the access number"}, false, -1,
         "03 00 01 00 01 00"},
        {"01 00 06", {}, {L"Dial the access number"}, true, -1, "01 00"},  // a lone digits code: its count lies past the length
        {stored, {Select(0), kUp}, three, false, 0, stored},
        {stored, {Select(2), kDown}, three, false, 2, stored},
        {stored, {Select(2), kUp}, {three[0], three[2], three[1]}, false, 1, "01 00 06 01 37 02 00"},
        {stored, {Select(0), kDown}, {three[1], three[0], three[2]}, false, 1, "02 00 01 00 06 01 37"},
        {stored, {Select(2), kDelete}, {three[0], three[1]}, false, 1, "01 00 02 00"},
        {stored, {Select(0), kDelete}, {three[1], three[2]}, false, 0, "02 00 06 01 37"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgCard card;
        Store(card, c.stored);
        ModalDialog editor(card, L"Dialog");
        EXPECT_EQ(AnswerMessage(editor, c.corrupted ? kWindowTimeout : 200), c.corrupted ? L"Data corrupted" : L"");
        EXPECT_EQ(LastSipPreference(), SIP_DOWN);
        for (const Step& step : c.steps)
            Play(editor, step);
        EXPECT_EQ(ListLines(editor.Item(IDC_CARD_STEPS)), c.lines);
        EXPECT_EQ(SendMessageW(editor.Item(IDC_CARD_STEPS), LB_GETCURSEL, 0, 0), c.selected);
        // The close box is the device's Done button: it confirms, as OK does.
        PostMessageW(editor.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(editor.result, IDOK);
        EXPECT_EQ(Result(card), c.bytes);
    }
}

// 127 bytes are the most; OK and Cancel both refuse more and keep the editor open until a step goes.
TEST(SequenceEditor, SequencesOf128BytesAreRefusedUntilAStepIsDeleted)
{
    const struct {
        unsigned stored; Step added; int key; unsigned handedBack;
    } cases[] = {
        {127, kPin, IDOK, 127},
        {118, Digits(L"123456789"), IDOK, 118},  // 11 bytes more
        {128, {}, IDCANCEL, 126},                // stored too long: cannot be confirmed unchanged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " bytes");
        CDlgCard card;
        Store(card, StepsOf(c.stored));
        ModalDialog editor(card, L"Dialog");
        HWND steps = editor.Item(IDC_CARD_STEPS);
        if (c.added.button)
            Play(editor, c.added);
        Lines before = ListLines(steps);
        editor.SoftKey(c.key);
        EXPECT_EQ(AnswerMessage(editor), L"Too many card settings !");
        EXPECT_EQ(ListLines(steps), before);
        SendMessageW(steps, LB_SETCURSEL, WPARAM(before.size() - 1), 0);
        editor.Click(IDC_CARD_DELETE);
        editor.SoftKey(c.key);
        ASSERT_TRUE(editor.Ended());
        EXPECT_EQ(editor.result, c.key);
        EXPECT_EQ(Result(card), StepsOf(c.handedBack));
    }
}

TEST(SequenceEditor, AccessNumberBoxOffersTheCountrysNumbersAndKeepsTheNumberAlone)
{
    AccessNumberTable numbers;
    // The longest entry: 19 characters of number, " (", 63 of description, ")": 85 in all.
    const std::string longest = "1234567890123456789 (" + std::string(63, 'd') + ")";
    const std::string lines = "49;08001234567; (toll free)\r49;12345; (Central)\r44;0808;\r49;0699;\r43;" +
                              longest.substr(0, 19) + ";" + longest.substr(19) + "\r";
    numbers.ParseBuffer(lines.data(), uint32_t(lines.size()));
    const Lines german{L"08001234567 (toll free)", L"12345 (Central)", L"0699"};
    const std::wstring longestShown(longest.begin(), longest.end());
    const struct {
        uint32_t code; bool table; const wchar_t* stored; Lines entries;
        const wchar_t* shown;  // the box's text at opening
        int pick;              // entry chosen, or -1
        const wchar_t* typed;  // typed instead, or null
        const wchar_t* result;
    } cases[] = {
        {49, true, L"", german, L"08001234567 (toll free)", -1, nullptr, L"08001234567"},
        {49, true, L"555", german, L"555", 1, nullptr, L"12345"},
        {43, true, L"", {longestShown}, longestShown.c_str(), -1, nullptr, L"1234567890123456789"},
        {0, true, L"777", {}, L"777", -1, nullptr, L"777"},
        {49, false, L"777", {}, L"777", -1, nullptr, L"777"},
        {49, true, L"", german, german[0].c_str(), -1, L"01234567890123456789012", L"0123456789012345678"},
        {49, true, L"", german, german[0].c_str(), -1, L"(0)800", L""},  // no number before the bracket
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CDlgCard card;
        card.countryCode = c.code;
        card.accessNumbers = c.table ? &numbers : nullptr;
        lstrcpynW(card.accessNumber, c.stored, 20);
        ModalDialog editor(card, L"Dialog");
        HWND box = editor.Item(IDC_CARD_ACCESS_NUMBER);
        EXPECT_EQ(ComboEntries(box), c.entries);
        EXPECT_EQ(WindowText(box), c.shown);
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

} // namespace
