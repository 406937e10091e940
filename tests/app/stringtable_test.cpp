// The product's texts, exactly as the dialer's users see them.
#include <gtest/gtest.h>

#include "base/cstring.h"
#include "resources/resource.h"

namespace {

TEST(StringTableTest, HoldsEveryTextOfTheProduct)
{
    struct Case {
        UINT id;
        const wchar_t* text;
    } cases[] = {
        {101, L"General;Card settings;Phone settings;Update;About"},
        {102, L"Kestrova Dialpass"},
        {103, L"Settings of the Dialpass"},
        {104, L"Dial the access number"},
        {105, L"Dial the account number"},
        {106, L"Dial PIN"},
        {107, L"Dial the destination number"},
        {108, L"Wait for dial tone"},
        {109, L"Wait for"},
        {110, L"seconds"},
        {111, L"Dial"},
        {112, L"Too many card settings !"},
        {113, L"Data corrupted"},
        {114, L"Update tool terminated by user !"},
        {116, L"Unable to start update service"},
        {117, L"An error occured\n\nWould you like to see log file ?"},
        {118, L"Data were updated successfully"},
        {119, L"No new data available"},
        {121, L"You should add a dialpass before editing provider\nTap button New..."},
        {1054, L"Unable to load file !"},
        {1055, L"Unable to open file !"},
        {1056, L"Unable to read file !"},
        {1057, L"You should specify card provider in profile settings. "},
        {1058, L"Autodetection failed !"},
    };
    for (const Case& c : cases) {
        CString text;
        text.LoadResource(GetModuleHandleW(nullptr), c.id);
        EXPECT_STREQ(text.Text(), c.text) << "string " << c.id;
    }
}

} // namespace
