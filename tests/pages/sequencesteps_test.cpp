// Step sizes and step texts of stored dialing sequences.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "pages/sequencesteps.h"

namespace {

TEST(SequenceStepsTest, TextsComeFromTheStringTable)
{
    struct Case {
        BYTE code, param;
        const char* digits;
        const wchar_t* expected;
    } cases[] = {
        {1, 0, "", L"Dial the access number"},
        {2, 0, "", L"Dial the account number"},
        {3, 0, "", L"Dial PIN"},
        {4, 7, "", L"Dial the destination number"},
        {5, 0, "", L"Wait for dial tone"},
        {5, 5, "", L"Wait for 10 seconds"},
        {5, 127, "", L"Wait for 254 seconds"},
        {6, 2, "00", L"Dial 00"},
        {6, 0, "", L"Dial "},
        {6, 3, "*31#", L"Dial *31"},  // only the counted digits
    };
    for (const Case& c : cases) {
        CString* text = SequenceStepText(c.code, c.param, c.digits, c.code == 6 ? c.param : 0);
        ASSERT_NE(text, nullptr) << "code " << int(c.code);
        EXPECT_EQ(std::wstring(text->Text()), c.expected) << "code " << int(c.code) << " param " << int(c.param);
    }
}

TEST(SequenceStepsTest, UnknownCodesHaveNoText)
{
    for (BYTE code : {BYTE(0), BYTE(7), BYTE(255)})
        EXPECT_EQ(SequenceStepText(code, 0, nullptr, 0), nullptr) << int(code);
}

TEST(SequenceStepsTest, StepSizesStayInsideTheLength)
{
    const BYTE sequence[] = {1, 0, 5, 5, 6, 2, '0', '0', 4, 0, 9, 0};
    struct Case {
        unsigned length, offset, expected;
    } cases[] = {
        {10, 0, 2}, {10, 2, 2}, {10, 4, 4}, {10, 8, 2},
        {7, 4, 0},   // digits cut off by the length
        {9, 8, 0},   // half a step
        {12, 10, 0}, // unknown code
        {10, 10, 0}, // at the end
    };
    for (const Case& c : cases)
        EXPECT_EQ(SequenceStepSize(sequence, c.length, c.offset), c.expected)
            << "length " << c.length << " offset " << c.offset;
}

}  // namespace
