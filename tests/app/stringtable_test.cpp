// The product's texts, exactly as the dialer's users see them.
#include <gtest/gtest.h>

#include "base/cstring.h"
#include "resources/resource.h"

namespace {

TEST(StringTableTest, HoldsEveryTextOfTheProduct)
{
    struct Case { UINT id; const wchar_t* text; } cases[] = {
        {IDS_TAB_TITLES, L"General;Card settings;Phone settings;Update;About"},
        {IDS_APP_NAME, L"Kestrova Dialpass"},
        {IDS_APP_DESCRIPTION, L"Settings of the Dialpass"},
        {IDS_STEP_ACCESS_NUMBER, L"Dial the access number"},
        {IDS_STEP_ACCOUNT_NUMBER, L"Dial the account number"},
        {IDS_STEP_PIN, L"Dial PIN"},
        {IDS_STEP_DESTINATION, L"Dial the destination number"},
        {IDS_STEP_DIAL_TONE, L"Wait for dial tone"},
        {IDS_STEP_WAIT_FOR, L"Wait for"},
        {IDS_STEP_SECONDS, L"seconds"},
        {IDS_STEP_DIAL, L"Dial"},
        {IDS_TOO_MANY_SETTINGS, L"Too many card settings !"},
        {IDS_DATA_CORRUPTED, L"Data corrupted"},
        {IDS_UPDATE_TERMINATED, L"Update tool terminated by user !"},
        {IDS_UPDATE_NOT_STARTED, L"Unable to start update service"},
        {IDS_UPDATE_FAILED, L"An error occured\n\nWould you like to see log file ?"},
        {IDS_UPDATE_DONE, L"Data were updated successfully"},
        {IDS_UPDATE_NOTHING_NEW, L"No new data available"},
        {IDS_ADD_PROFILE_FIRST, L"You should add a dialpass before editing provider\nTap button New..."},
        {IDS_TABLE_CORRUPT, L"Unable to load file !"},
        {IDS_TABLE_OPEN_FAILED, L"Unable to open file !"},
        {IDS_TABLE_READ_FAILED, L"Unable to read file !"},
        {IDS_NO_CARD_PROVIDER, L"You should specify card provider in profile settings. "},
        {IDS_AUTODETECT_FAILED, L"Autodetection failed !"},
    };
    for (const Case& c : cases) {
        CString text;
        text.LoadResource(GetModuleHandleW(nullptr), c.id);
        EXPECT_STREQ(text.Text(), c.text) << "string " << c.id;
    }
}

} // namespace
